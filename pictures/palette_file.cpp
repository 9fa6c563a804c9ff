// Palette files in the formats editors open, written and read back (see
// palette.h for each layout).
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "common/report.h"
#include "pictures/palette.h"
#include "store/conversion.h"

namespace {


struct FormatName {
    const char* word;
    PaletteFormat format;
    const char* extension;
};
const FormatName kFormats[] = {
    {"raw", PaletteFormat::Raw, "PAL"},
    {"jasc", PaletteFormat::Jasc, "PAL"},
    {"gpl", PaletteFormat::Gpl, "gpl"},
    {"act", PaletteFormat::Act, "act"},
};

bool startsWith(const uint8_t* data, size_t size, const char* text)
{
    const size_t n = std::strlen(text);
    return size >= n && std::memcmp(data, text, n) == 0;
}

// The text's lines, without their line ends.
std::vector<std::string> textLines(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t k = 0; k < size; k++) {
        if (data[k] == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (data[k] != '\r') {
            line += char(data[k]);
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// "R G B" at the start of a line, spaces before it allowed (anything after
// the third number, a GIMP colour's name, is passed over); false unless
// three values of 0 to 255.
bool readRgb(const std::string& line, uint8_t rgb[3])
{
    const char* at = line.c_str();
    for (int c = 0; c < 3; c++) {
        char* end = nullptr;
        const long v = std::strtol(at, &end, 10);
        if (end == at || v < 0 || v > 255 || (*end && *end != ' ' && *end != '\t'))
            return false;
        rgb[c] = uint8_t(v);
        at = end;
    }
    return true;
}

void setEntry(ColourTable& table, int32_t i, uint8_t red, uint8_t green, uint8_t blue)
{
    table[size_t(4 * i)] = blue;
    table[size_t(4 * i + 1)] = green;
    table[size_t(4 * i + 2)] = red;
    table[size_t(4 * i + 3)] = 0;
}

bool readTextColours(const std::vector<std::string>& lines, size_t first, ColourTable& table, int32_t& count,
                     std::string& why)
{
    count = 0;
    for (size_t n = first; n < lines.size(); n++) {
        const std::string& line = lines[n];
        if (line.empty() || line[0] == '#')
            continue;
        uint8_t rgb[3];
        if (!readRgb(line, rgb)) {  // strtol passes over the spaces before each number
            why = formatted("line %zu: expected red, green and blue, each from 0 to 255", n + 1);
            return false;
        }
        if (count == 256) {
            why = "more than 256 colours";
            return false;
        }
        setEntry(table, count++, rgb[0], rgb[1], rgb[2]);
    }
    return true;
}

}  // namespace

bool paletteFormatNamed(const std::string& word, PaletteFormat& format)
{
    for (const FormatName& f : kFormats)
        if (word == f.word) {
            format = f.format;
            return true;
        }
    return false;
}

PaletteFormat paletteFormat()
{
    const OutputPlace* place = currentPlace();
    return place ? place->palette : currentRun().choices.palette;
}

const char* paletteExtension(PaletteFormat format)
{
    for (const FormatName& f : kFormats)
        if (f.format == format)
            return f.extension;
    return "PAL";
}

const char* paletteFormatName(PaletteFormat format)
{
    for (const FormatName& f : kFormats)
        if (f.format == format)
            return f.word;
    return "raw";
}

std::vector<std::string> paletteFileNames(const std::string& name)
{
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot + 1);
    std::vector<std::string> names = {name};
    for (const char* extension : {"PAL", "gpl", "act"})
        if (stem + extension != name)
            names.push_back(stem + extension);
    return names;
}

std::vector<uint8_t> encodePalette(PaletteFormat format, const ColourTable& table, const std::string& name)
{
    std::string text;
    switch (format) {
    case PaletteFormat::Raw:
        return std::vector<uint8_t>(table.begin(), table.end());
    case PaletteFormat::Act: {
        std::vector<uint8_t> act;
        for (size_t i = 0; i < 256; i++)
            act.insert(act.end(), {table[4 * i + 2], table[4 * i + 1], table[4 * i]});  // red, green, blue
        return act;
    }
    case PaletteFormat::Jasc:
        text = "JASC-PAL\r\n0100\r\n256\r\n";
        for (size_t i = 0; i < 256; i++)
            text += formatted("%d %d %d\r\n", table[4 * i + 2], table[4 * i + 1], table[4 * i]);
        break;
    case PaletteFormat::Gpl:
        text = "GIMP Palette\nName: " + escapeControls(name) + "\nColumns: 16\n#\n";
        for (size_t i = 0; i < 256; i++)
            text += formatted("%3d %3d %3d\tIndex %zu\n", table[4 * i + 2], table[4 * i + 1], table[4 * i], i);
        break;
    }
    return std::vector<uint8_t>(text.begin(), text.end());
}

bool decodePalette(const uint8_t* data, size_t size, ColourTable& table, int32_t& count, std::string& why)
{
    if (startsWith(data, size, "JASC-PAL")) {
        const std::vector<std::string> lines = textLines(data, size);
        if (lines.size() < 3 || lines[1] != "0100") {
            why = "a JASC palette without its version line 0100";
            return false;
        }
        if (!readTextColours(lines, 3, table, count, why))
            return false;
        if (std::strtol(lines[2].c_str(), nullptr, 10) != count) {
            why = formatted("a JASC palette whose count (line 3, %s) is not its %d colours", lines[2].c_str(), count);
            return false;
        }
        return true;
    }
    if (startsWith(data, size, "GIMP Palette")) {
        std::vector<std::string> lines = textLines(data, size);
        size_t first = 1;
        while (first < lines.size() && (lines[first].rfind("Name:", 0) == 0 || lines[first].rfind("Columns:", 0) == 0))
            first++;
        return readTextColours(lines, first, table, count, why);
    }
    if (startsWith(data, size, "RIFF")) {
        // "RIFF", length, "PAL ", then chunks; the "data" chunk holds a
        // version, a count and count entries of red, green, blue, flags.
        if (size < 12 || std::memcmp(data + 8, "PAL ", 4) != 0) {
            why = "a RIFF file that is not a palette";
            return false;
        }
        for (size_t at = 12; at + 8 <= size;) {
            const size_t length = uint32_t(toInt(data, at + 4));
            if (std::memcmp(data + at, "data", 4) == 0) {
                if (length < 4 || length > size - at - 8) {
                    why = "a RIFF palette whose data chunk is cut off";
                    return false;
                }
                count = toInt(data[at + 10], data[at + 11]);
                if (count > 256 || size_t(count) * 4 + 4 > length) {
                    why = formatted("a RIFF palette of %d colours in a data chunk of %zu bytes", count, length);
                    return false;
                }
                for (int32_t i = 0; i < count; i++) {
                    const uint8_t* e = data + at + 12 + 4 * size_t(i);
                    setEntry(table, i, e[0], e[1], e[2]);
                }
                return true;
            }
            if (length > size - at - 8)
                break;
            at += 8 + length + (length & 1);
        }
        why = "a RIFF palette without its data chunk";
        return false;
    }
    if (size == 1024) {
        std::memcpy(table.data(), data, 1024);
        count = 256;
        return true;
    }
    if (size == 768 || size == 772) {
        count = 256;
        if (size == 772) {  // the count of colours in use, big-endian; 0 or more than 256: all
            const int32_t used = data[768] << 8 | data[769];
            if (used > 0 && used <= 256)
                count = used;
        }
        for (int32_t i = 0; i < count; i++)
            setEntry(table, i, data[3 * i], data[3 * i + 1], data[3 * i + 2]);
        return true;
    }
    why = formatted("%zu bytes, and not a palette file: a raw table holds 1024 bytes (blue, green, red, 0), an "
                    "Adobe .act 768 or 772; JASC, GIMP and RIFF palettes start with JASC-PAL, GIMP Palette or RIFF",
                    size);
    return false;
}
