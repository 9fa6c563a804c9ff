// Output names: the fixed parts, portable names from stored ones, and the plan of a folder.
#include "store/names.h"

#include <map>

#include "common/bytes.h"
#include "pictures/png.h"
#include "platform/platform.h"

const char* const extracted = ".FILES";
const char* const btmp = ".BMP";
const char* const pngEnding = ".PNG";
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
    return OutputName{stem, stem + (ending[0] == '.' ? ending : "." + ending), "", true};
}
}  // namespace

std::string getName(const std::string& path)
{
    size_t at = path.size();
    while (at > 0 && !isPathSeparator(path[at - 1]))
        at--;
    return path.substr(at);
}

std::string createFile(const std::string& name, const std::string& dir)
{
    return dir + kPathSeparator + name;
}

const char* pictureEnding()
{
    return pictureFormat() == PictureFormat::Png ? pngEnding : btmp;
}

std::string withEnding(const std::string& name, const char* ending)
{
    return cutTail(name, 4) + ending;
}

std::string createBitmap(const std::string& name, const std::string& dir)
{
    return createFile(cutTail(name, 4), dir) + pictureEnding();
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
    // A small letter would share the name of the capital 32 codes below it.
    const bool smallLetter = (code >= 'a' && code <= 'z') || (code >= 0xE0 && code <= 0xFE && code != 0xF7);
    if (code > 255 || badNameByte(static_cast<unsigned char>(code)) || smallLetter)
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
    return OutputName{stem, stem + ending, "", false};
}

std::vector<OutputName> planNames(const std::vector<NameRequest>& requests)
{
    const size_t n = requests.size();
    std::vector<OutputName> names(n);
    std::vector<bool> yields(n, false);
    std::map<std::string, size_t> taken;  // folded name -> the record that has it
    auto maskOf = [](const std::string& stem) { return stem + mask; };
    for (size_t i = 0; i < n; i++) {
        const NameRequest& r = requests[i];
        if (!r.wanted)
            continue;
        names[i] = storedOutputName(r.stored, r.cut, r.ending, r.number);
        yields[i] = names[i].substituted;  // a name that cannot stand anywhere
    }
    // Masks first: a name a mask asks for is never taken from it by an image.
    for (size_t i = n; i-- > 0;)
        if (requests[i].wanted && requests[i].withMask && !yields[i] &&
            !taken.emplace(foldedName(maskOf(names[i].stem)), i).second)
            yields[i] = true;
    // Then images, the later record first.
    for (size_t i = n; i-- > 0;) {
        if (!requests[i].wanted || yields[i])
            continue;
        if (taken.emplace(foldedName(names[i].file), i).second)
            continue;
        yields[i] = true;
        auto own = taken.find(foldedName(maskOf(names[i].stem)));
        if (requests[i].withMask && own != taken.end() && own->second == i)
            taken.erase(own);  // the pair yields together
    }
    // Substitutes, in record order, each free of every name decided so far.
    for (size_t i = 0; i < n; i++) {
        const NameRequest& r = requests[i];
        if (!r.wanted || !yields[i])
            continue;
        const OutputName base = substitute(r.stored, r.cut, r.ending, r.number);
        const std::string ending = base.file.substr(base.stem.size());
        for (int k = 1;; k++) {
            const std::string stem = k == 1 ? base.stem : base.stem + "~" + std::to_string(k);
            const std::string file = foldedName(stem + ending), maskFile = foldedName(maskOf(stem));
            if (taken.count(file) || (r.withMask && taken.count(maskFile)))
                continue;
            taken.emplace(file, i);
            if (r.withMask)
                taken.emplace(maskFile, i);
            names[i] = OutputName{stem, stem + ending, "", true};
            break;
        }
    }
    for (size_t i = 0; i < n; i++) {
        if (requests[i].wanted && requests[i].withMask)
            names[i].maskFile = maskOf(names[i].stem);
        // Pictures are planned as BMPs, so that a folder's names are the same
        // in either format; a PNG takes the same stem.
        if (requests[i].wanted && requests[i].ending == std::string(btmp) && pictureFormat() == PictureFormat::Png)
            names[i].file = withEnding(names[i].file, pngEnding);
    }
    return names;
}

std::vector<OutputName> glyphNames(const std::vector<int32_t>& codes, bool withMasks)
{
    std::vector<NameRequest> requests;
    for (size_t j = 0; j < codes.size(); j++)
        requests.push_back({glyphImageName(codes[j]), 4, btmp, int(j), withMasks});
    return planNames(requests);
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
