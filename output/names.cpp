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

bool badNameByte(unsigned char c)
{
    return c < 32 || std::string("<>:\"/\\|?*").find(char(c)) != std::string::npos;
}

// Windows opens a device for a device name with any extension and ignores
// trailing spaces: "NUL.BMP" or "COM1 .PAL" never reach a file.
bool isDeviceName(const std::string& name)
{
    std::string stem = name.substr(0, name.find('.'));
    stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
    for (char& c : stem)
        c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (stem == device)
            return true;
    bool numbered = stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0);
    return numbered && stem[3] >= '1' && stem[3] <= '9';
}

OutputName substitute(const std::string& stored, size_t cut, const std::string& ending, int number)
{
    std::string stem = stored.size() >= cut ? cutTail(stored, cut) : stored;
    for (char& c : stem)
        if (badNameByte(static_cast<unsigned char>(c)))
            c = '_';
    // The number goes before the extension's dot: "CON~3.BMP", "AUX~5.PAL".
    if (!stem.empty() && stem.back() == '.')
        stem.pop_back();
    stem = storedText(stem) + "~" + std::to_string(number);
    return OutputName{stem, stem + (ending[0] == '.' ? ending : "." + ending), true};
}
}  // namespace

std::string getName(const std::string& path)
{
    size_t at = path.size();
    while (at > 0 && !isPathSeparator(path[at - 1]))
        at--;
    return path.substr(at);
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
    // The cut counts on the joined text, as the stored names expect; names
    // shorter than three characters are given a substitute before they get here.
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
    const int code = 48 + index;
    if (code > 255 || badNameByte(static_cast<unsigned char>(code)))
        return "ZOM" + std::to_string(index) + btmp;
    return "ZOM" + storedText(std::string(1, char(code))) + btmp;
}

std::string storedText(const std::string& bytes)
{
    std::string text;
    for (char c : bytes) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 128) {
            text += c;
        } else {
            text += char(0xC0 | (u >> 6));
            text += char(0x80 | (u & 0x3F));
        }
    }
    return text;
}

OutputName storedOutputName(const std::string& stored, size_t cut, const std::string& ending, int number)
{
    if (stored.size() < cut)
        return substitute(stored, cut, ending, number);
    std::string stem = cutTail(stored, cut);
    for (char c : stem)
        if (badNameByte(static_cast<unsigned char>(c)))
            return substitute(stored, cut, ending, number);
    if (isDeviceName(stem + ending))
        return substitute(stored, cut, ending, number);
    stem = storedText(stem);
    return OutputName{stem, stem + ending, false};
}

OutputName numberedOutputName(const std::string& stored, size_t cut, const std::string& ending, int number)
{
    return substitute(stored, cut, ending, number);
}

std::string foldedName(const std::string& utf8Name)
{
    std::string folded = utf8Name;
    for (size_t i = 0; i < folded.size(); i++) {
        unsigned char c = static_cast<unsigned char>(folded[i]);
        if (c >= 'a' && c <= 'z') {
            folded[i] = char(c - 32);
        } else if (c == 0xC3 && i + 1 < folded.size()) {
            // Latin-1 small letters U+00E0..U+00FE (but the division sign) fold to capitals.
            unsigned char next = static_cast<unsigned char>(folded[i + 1]);
            if (next >= 0xA0 && next <= 0xBE && next != 0xB7)
                folded[i + 1] = char(next - 0x20);
            i++;
        }
    }
    return folded;
}
