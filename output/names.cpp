#include "output/names.h"

#include "common/bytes.h"
#include "platform/platform.h"

const char* const extracted = ".FILES";
const char* const btmp = ".BMP";
const char* const mask = ".MASK.BMP";

namespace {
// The text less its last n characters; a shorter text loses all of them.
std::string cutTail(const std::string& text, size_t n)
{
    return text.substr(0, text.size() > n ? text.size() - n : 0);
}
}  // namespace

std::string getName(const std::string& path)
{
    size_t slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string createDir(const std::string& path)
{
    std::string dir = path + extracted;
    makeDirectory(dir);
    return dir;
}

std::string createFile(const std::string& name, const std::string& dir)
{
    return dir + kPathSeparator + name;
}

std::string createPal(const std::string& name, const std::string& dir)
{
    // The cut counts on the joined text, as the stored names expect; a name
    // shorter than three characters never reaches here from a converter.
    return cutTail(createFile(name, dir), 3) + "PAL";
}

std::string createBitmap(const std::string& name, const std::string& dir)
{
    return createFile(cutTail(name, 4), dir) + btmp;
}

std::string createMask(const std::string& /*name*/, const std::string& /*dir*/, const std::string& bitmapPath)
{
    return cutTail(bitmapPath, 4) + mask;
}

std::string glyphImageName(int code)
{
    std::string name;
    if (code >= 100)
        name += toChar(code, 2);
    name += toChar(code, 1);
    name += toChar(code, 0);
    return name + btmp;
}

std::string zomImageName(int index)
{
    // Character codes run from '0' up to 255 (index 207); later images, which
    // no character is left for, take their decimal index instead.
    if (index <= 207)
        return std::string("ZOM") + toChar(index) + btmp;
    return "ZOM" + std::to_string(index) + btmp;
}

bool storedNameIsSafe(const std::string& name, size_t minLength)
{
    if (name.size() < minLength || name == "." || name == ".." || name.find_first_of("/\\:") != std::string::npos)
        return false;
    // Windows opens a device for a device name with any extension, and
    // ignores trailing spaces: "NUL.BMP" or "COM1 .PAL" never reach a file.
    std::string stem = cutTail(name, minLength);
    stem = stem.substr(0, stem.find('.'));
    stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
    for (char& c : stem)
        c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : devices)
        if (stem == device)
            return false;
    bool numbered = stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0);
    return !(numbered && stem[3] >= '1' && stem[3] <= '9');
}
