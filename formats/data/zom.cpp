// ZOM picture set: palettised pictures, then a table of typed entries.
//
//   0   2   first header value     2  2  not read
//   4   2   entry count            6  2  not read
//   8   1   image count            9  3  not read
//   12  ... image records: width, height (int32), two floats, a 512-byte
//           RGB565 palette, width * height pixels, top row first
//   then the entry table, entries back to back, the first byte their type:
//           1: 20 bytes, skipped
//           3: 52 bytes, value (16 bits) at 4; only the first one counts
//           other: ends the table; value at 4 and second value at 20
//
// Images and entries are walked once before anything is written: a file that
// ends before an image or before a byte the entry walk reads, or has a
// negative size, is refused with nothing made. A walk that visits its entry
// count without an ending entry is the format's own failure: its outputs stay.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "common/report.h"
#include "common/source.h"
#include "formats/data/data.h"
#include "pictures/bmp.h"
#include "back/edits.h"
#include "store/names.h"
#include "pictures/palette.h"

namespace {

constexpr int64_t kMinFileSize = 540;  // header and one image record without pixels
constexpr int64_t kImageHead = 16;
constexpr int64_t kPaletteSize = 512;

struct ZomImage {
    int32_t width, height;
    float first, second;
    int64_t paletteAt;
    int64_t pixelsAt;
};

enum class Walk { Ended, Exhausted, Truncated };

// Where the values that INFO.TXT's lines 3 and 4 show lie in the file (-1:
// the table has no such entry), and the entries' numbers the lines show.
struct EntryValues {
    int64_t valueAt = -1;  // the first type 3 entry's value, 16 bits
    int32_t valueRow = 0;
    int64_t endAt = -1;    // the ending entry: line 4 shows its value at 4 plus its value at 20
    int32_t endRow = 0;
};

// The float pair of image i; an image the file does not have prints as zeros.
void imageFloats(const std::vector<ZomImage>& images, size_t i, double& first, double& second)
{
    first = i < images.size() ? double(images[i].first) : 0.0;
    second = i < images.size() ? double(images[i].second) : 0.0;
}

// Visits at most entryCount entries from tableAt, reading only the bytes an
// entry's type uses; writes lines 3 and 4 when info is given.
Walk walkEntries(Source& in, int64_t tableAt, int32_t entryCount, const std::vector<ZomImage>& images,
                 OutputFile* info, EntryValues* at = nullptr)
{
    bool typeThreeSeen = false;
    double first, second;
    int64_t q = tableAt;
    for (int32_t r = 0; r < entryCount; r++) {
        const uint8_t* type = view(in, q, 1);
        if (!type)
            return Walk::Truncated;
        if (type[0] == 1) {
            q += 20;
        } else if (type[0] == 3) {
            if (!typeThreeSeen) {
                const uint8_t* value = view(in, q + 4, 2);
                if (!value)
                    return Walk::Truncated;
                imageFloats(images, 1, first, second);
                if (at) {
                    at->valueAt = q + 4;
                    at->valueRow = r;
                }
                if (info)
                    printOutput(*info, "%d %d %f %f%c%c", toInt(value[0], value[1]), r, first, second, 13, 10);
            }
            typeThreeSeen = true;
            q += 52;
        } else {
            const uint8_t* entry = view(in, q, 22);
            if (!entry)
                return Walk::Truncated;
            imageFloats(images, 2, first, second);
            if (at) {
                at->endAt = q;
                at->endRow = r;
            }
            if (info)
                printOutput(*info, "%d %d %f %f%c%c", toInt(entry[4], entry[5]) + toInt(entry[20], entry[21]), r,
                            first, second, 13, 10);
            return Walk::Ended;
        }
    }
    return Walk::Exhausted;
}

// A picture's rows, bottom row first, copied from the file a piece at a time:
// a single row may be as wide as the file.
bool writePicture(const std::string& path, Source& in, const std::string& imagePath, const ZomImage& image)
{
    const size_t stride = rowStride(image.width);
    const uint8_t* palette = view(in, image.paletteAt, size_t(kPaletteSize));
    if (!palette)
        return endsBefore(path, in, "a picture's palette is complete");
    const ColourTable colours = pal2to3(palette);
    const BmpHeader header = getBmpHeader(image.width, image.height, int32_t(stride * size_t(image.height)));
    if (pictureFormat() == PictureFormat::Png)  // rows whole, as the encoder takes them
        return writeImage(imagePath, header, colours.data(), colours.size(), stride, image.height,
                          [&](int32_t r, uint8_t* row) {
                              const int32_t stored = image.height - 1 - r;  // stored top row first
                              const uint8_t* pixels = view(in, image.pixelsAt + int64_t(stored) * image.width,
                                                           size_t(image.width));
                              if (!pixels)
                                  return endsBefore(path, in, "picture row %d is complete", stored);
                              std::copy_n(pixels, image.width, row);
                              return true;
                          });
    OutputFile out;
    openOutput(out, imagePath);
    writeOutput(out, header.data(), header.size());
    writeOutput(out, colours.data(), colours.size());
    static const uint8_t pad[3] = {0, 0, 0};
    for (int32_t r = image.height - 1; r >= 0 && stride && !out.error; r--) {  // no rows to walk when they are empty
        const int64_t rowAt = image.pixelsAt + int64_t(r) * image.width;
        for (int64_t done = 0; done < image.width && !out.error;) {
            const size_t piece = size_t(std::min<int64_t>(image.width - done, 1 << 20));
            const uint8_t* pixels = view(in, rowAt + done, piece);
            if (!pixels)
                return endsBefore(path, in, "picture row %d is complete", r);
            writeOutput(out, pixels, piece);
            done += int64_t(piece);
        }
        writeOutput(out, pad, stride - size_t(image.width));
    }
    return placeOutputs({&out});
}

}  // namespace

namespace {
// The header values and every picture, walked before anything is written,
// and where the entry table starts.
struct ZomLayout {
    int32_t firstValue, entryCount, imageCount;
    std::vector<ZomImage> images;
    int64_t tableAt;
    EntryValues entries;
};

bool readZomLayout(const std::string& path, Source& in, ZomLayout& zom)
{
    if (in.size < kMinFileSize)
        return tooShort(path, in, "a ZOM file", kMinFileSize);
    const uint8_t* header = view(in, 0, 12);
    if (!header)
        return endsBefore(path, in, "the header is complete");
    zom.firstValue = toInt(header[0], header[1]);
    /* 2 bytes not read */
    zom.entryCount = toInt(header[4], header[5]);
    /* 2 bytes not read */
    zom.imageCount = toInt(header[8]);
    /* 3 bytes not read */

    int64_t pos = 12;
    for (int32_t i = 0; i < zom.imageCount; i++) {
        const uint8_t* head = view(in, pos, size_t(kImageHead));
        if (!head)
            return endsBefore(path, in, "the head of picture %d of %d", i, zom.imageCount);
        ZomImage image;
        image.width = toInt(head, 0);
        image.height = toInt(head, 4);
        image.first = toFloat(head, 8);
        image.second = toFloat(head, 12);
        image.paletteAt = pos + kImageHead;
        image.pixelsAt = image.paletteAt + kPaletteSize;
        if (image.width < 0 || image.height < 0)
            return refuse(path, "picture %d has a negative size, %d x %d", i, image.width, image.height);
        if (int64_t(rowStride(image.width)) * image.height > kMaxImageSize)
            return refuse(path, "picture %d, %d x %d, is too large for a BMP file", i, image.width, image.height);
        const uint64_t pixels = uint64_t(image.width) * uint64_t(image.height);
        if (!holds(in, image.paletteAt, uint64_t(kPaletteSize) + pixels))
            return endsBefore(path, in, "picture %d (%d x %d) is complete", i, image.width, image.height);
        zom.images.push_back(image);
        pos = image.pixelsAt + int64_t(pixels);
    }
    zom.tableAt = pos;
    if (walkEntries(in, zom.tableAt, zom.entryCount, zom.images, nullptr, &zom.entries) == Walk::Truncated)
        return endsBefore(path, in, "the entry table reaches its ending entry or its %d entries", zom.entryCount);
    return true;
}
}  // namespace

bool extract_ZOM(const std::string& path)
{
    Source in;
    ZomLayout zom;
    if (!openInput(path, in) || !readZomLayout(path, in, zom))
        return false;
    const int32_t firstValue = zom.firstValue, entryCount = zom.entryCount, imageCount = zom.imageCount;
    const std::vector<ZomImage>& images = zom.images;
    const int64_t tableAt = zom.tableAt;

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    OutputFile info;
    openOutput(info, createFile("INFO.TXT", dir));
    printOutput(info, "%d %d %d %s%c%c", firstValue, entryCount, imageCount, "ZOM", 13, 10);
    bool whole = true;
    for (size_t i = 0; i < images.size(); i++) {
        showing("picture " + std::to_string(i));
        whole = writePicture(path, in, createBitmap(zomImageName(int(i)), dir), images[i]) && whole;
    }
    double first, second;
    imageFloats(images, 0, first, second);
    printOutput(info, "%d %d %f %f%c%c", 0, 0, first, second, 13, 10);
    const Walk walk = walkEntries(in, tableAt, entryCount, images, &info);
    if (walk == Walk::Truncated)
        return endsBefore(path, in, "the entry table is complete");
    whole = placeOutputs({&info}) && whole;
    if (walk == Walk::Exhausted)
        return refuse(path, "the entry table has no ending entry among its %d entries", entryCount);
    return whole;
}

namespace {

// What an edited INFO.TXT changes: the header's first value, the floats of
// the first three pictures and the two entry values the lines show.
struct ZomInfo {
    int32_t firstValue;
    std::vector<std::array<float, 2>> floats;  // one pair a picture
    std::vector<std::array<bool, 2>> edited;   // which of them INFO.TXT changed (the others keep their bytes)
    int32_t value = 0;     // the first type 3 entry's
    int32_t endValue = 0;  // the ending entry's value at 4 (the one at 20 is kept)
};

// Picture i's floats that INFO.TXT changed, into its record's head (at 8 and 12).
void putFloats(uint8_t* head, const ZomInfo& info, size_t i)
{
    for (size_t k = 0; k < 2; k++)
        if (info.edited[i][k]) {
            uint32_t bits;
            std::memcpy(&bits, &info.floats[i][k], 4);
            put32(head + 8 + 4 * k, bits);
        }
}

std::vector<std::string> tokens(const std::string& line)
{
    std::vector<std::string> out;
    size_t at = 0;
    while ((at = line.find_first_not_of(" \t", at)) != std::string::npos) {
        const size_t end = line.find_first_of(" \t", at);
        out.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end;
    }
    return out;
}

// Reads INFO.TXT's values into info, where they differ from what the
// original shows; false, having said why, for a value the file cannot take.
bool readZomInfo(const std::string& infoPath, Source& in, const ZomLayout& zom, ZomInfo& info)
{
    std::string text;
    switch (readEditedText(infoPath, text)) {
    case Edited::Refused:
        return false;
    case Edited::Missing:
        noteKept(infoPath, "values are");
        return true;
    case Edited::Read:
        break;
    }
    // The lines as the conversion wrote them, token by token.
    const EntryValues& e = zom.entries;
    const uint8_t* value = e.valueAt >= 0 ? view(in, e.valueAt, 2) : nullptr;
    const int32_t originalValue = value ? toInt(value[0], value[1]) : 0;
    const uint8_t* ending = e.endAt >= 0 ? view(in, e.endAt, 22) : nullptr;
    const int32_t endFirst = ending ? toInt(ending[4], ending[5]) : 0, endSecond = ending ? toInt(ending[20], ending[21]) : 0;
    if ((e.valueAt >= 0 && !value) || (e.endAt >= 0 && !ending))
        return endsBefore(in.path, in, "the entry table is complete");
    double f[3][2];
    for (size_t i = 0; i < 3; i++)
        imageFloats(zom.images, i, f[i][0], f[i][1]);
    std::vector<std::string> original = {
        formatted("%d %d %d %s", zom.firstValue, zom.entryCount, zom.imageCount, "ZOM"),
        formatted("%d %d %f %f", 0, 0, f[0][0], f[0][1])};
    if (e.valueAt >= 0)
        original.push_back(formatted("%d %d %f %f", originalValue, e.valueRow, f[1][0], f[1][1]));
    if (e.endAt >= 0)
        original.push_back(formatted("%d %d %f %f", endFirst + endSecond, e.endRow, f[2][0], f[2][1]));
    std::vector<std::string> lines = splitLines(text);
    while (!lines.empty() && tokens(lines.back()).empty())
        lines.pop_back();
    if (lines.size() != original.size())
        return refuse(infoPath, "%zu lines; this picture set's has %zu, as assetdump wrote them", lines.size(),
                      original.size());
    info.value = originalValue;
    info.endValue = endFirst;
    for (size_t n = 0; n < lines.size(); n++) {
        const std::vector<std::string> was = tokens(original[n]), now = tokens(lines[n]);
        if (now.size() != was.size())
            return refuse(infoPath, "line %zu: %zu values; expected %zu", n + 1, now.size(), was.size());
        // Line 3 shows the type 3 entry, line 4 the ending one; without a type 3 entry line 3 is the ending one's.
        const bool endingLine = n == 3 || (n == 2 && e.valueAt < 0);
        const size_t picture = n == 1 ? 0 : endingLine ? 2 : 1;
        for (size_t t = 0; t < now.size(); t++) {
            if (now[t] == was[t])
                continue;
            char* end = nullptr;
            const char* s = now[t].c_str();
            if (n == 0 && t == 0) {
                const long v = std::strtol(s, &end, 10);
                if (*end || v < 0 || v > 65535)
                    return refuse(infoPath, "line 1: the first value is a whole number from 0 to 65535, not %s", s);
                info.firstValue = int32_t(v);
            } else if (n > 0 && t >= 2) {
                const double v = std::strtod(s, &end);
                if (*end || !std::isfinite(v) || std::fabs(v) > 3.4e38)
                    return refuse(infoPath, "line %zu: value %zu is a number with a point (a float), not %s", n + 1,
                                  t + 1, s);
                if (picture >= info.floats.size())
                    return refuse(infoPath, "line %zu: value %zu belongs to picture %zu, which the set does not have; "
                                            "it cannot change", n + 1, t + 1, picture);
                info.floats[picture][t - 2] = float(v);
                info.edited[picture][t - 2] = true;
            } else if (n >= 2 && t == 0) {
                const long v = std::strtol(s, &end, 10);
                const long first = endingLine ? v - endSecond : v;
                if (*end || first < 0 || first > 65535)
                    return endingLine ? refuse(infoPath, "line %zu: %s cannot be stored: the ending entry's value is "
                                                         "its value at 4 plus %d (kept), and the first must lie from "
                                                         "0 to 65535", n + 1, s, endSecond)
                                      : refuse(infoPath, "line %zu: %s is not a whole number from 0 to 65535", n + 1, s);
                (endingLine ? info.endValue : info.value) = int32_t(first);
            } else {
                static const char* const fixed[] = {"", "the entry count", "the picture count", "the type"};
                return refuse(infoPath, "line %zu: %s cannot change (it is %s)", n + 1,
                              n == 0 ? fixed[t] : n == 1 ? "the first two values" : "the entry number",
                              was[t].c_str());
            }
        }
    }
    return true;
}

}  // namespace

bool pack_ZOM(const std::string& path)
{
    Source in;
    ZomLayout zom;
    if (!openInput(path, in) || !readZomLayout(path, in, zom))
        return false;
    const std::string dir = editsFolderOf(path);
    ZomInfo info;
    info.firstValue = zom.firstValue;
    for (const ZomImage& image : zom.images) {
        info.floats.push_back({image.first, image.second});
        info.edited.push_back({false, false});
    }
    if (!readZomInfo(createFile("INFO.TXT", dir), in, zom, info))
        return false;
    std::vector<std::string> known = {"INFO.TXT"};
    for (size_t i = 0; i < zom.images.size(); i++)
        known.push_back(getName(createBitmap(zomImageName(int(i)), dir)));
    noteUnreadFiles(dir, known, "a picture set's pictures are read by their numbers; adding pictures is not "
                                "supported yet");
    OutputFile out;
    openRebuilt(out, path);
    const uint8_t* header = view(in, 0, 12);
    if (!header)
        return endsBefore(path, in, "the header is complete");
    std::vector<uint8_t> head12(header, header + 12);
    putLE(head12.data(), uint32_t(info.firstValue), 2);  // the first value, 16 bits; the picture count stays
    writeOutput(out, head12.data(), head12.size());
    for (size_t i = 0; i < zom.images.size(); i++) {
        const ZomImage& image = zom.images[i];
        const int64_t recordAt = image.paletteAt - kImageHead;
        const int64_t recordSize = kImageHead + kPaletteSize + int64_t(image.width) * image.height;
        std::string imagePath = createBitmap(zomImageName(int(i)), dir);
        BmpPicture picture;
        const Edited read = readEditedImage(imagePath, picture, nullptr, nullptr, true, "picture sets have no transparency");
        if (read == Edited::Refused)
            return false;
        if (read == Edited::Missing) {
            noteKept(imagePath, "picture");
            const uint8_t* kept = view(in, recordAt, size_t(kImageHead));
            if (!kept)
                return endsBefore(path, in, "picture %zu is complete", i);
            std::vector<uint8_t> keptHead(kept, kept + kImageHead);
            putFloats(keptHead.data(), info, i);
            writeOutput(out, keptHead.data(), keptHead.size());
            copyOriginal(out, in, recordAt + kImageHead, recordSize - kImageHead);
            continue;
        }
        const uint8_t* record = view(in, recordAt, size_t(kImageHead + kPaletteSize));
        if (!record)
            return endsBefore(path, in, "picture %zu is complete", i);
        std::vector<uint8_t> head(record, record + kImageHead + kPaletteSize);
        put32(&head[0], uint32_t(picture.width));  // width
        put32(&head[4], uint32_t(picture.height));  // height
        putFloats(head.data(), info, i);            // the two floats, as INFO.TXT gives them
        // Colours by colour, against the palette the picture was made with.
        // (record may move with the read window: only head is used from here on)
        const std::vector<uint8_t> storedPalette(head.begin() + kImageHead, head.end());
        PictureTable table;
        table.colours = pal2to3(storedPalette.data());
        table.own = true;
        const bool sameSize = picture.width == image.width && picture.height == image.height;
        const uint8_t* original = sameSize ? view(in, image.pixelsAt, picture.pixels.size()) : nullptr;
        if (sameSize && !original && !picture.pixels.empty())
            return endsBefore(path, in, "picture %zu is complete", i);
        const std::vector<uint8_t> was = original ? std::vector<uint8_t>(original, original + picture.pixels.size())
                                                  : std::vector<uint8_t>();
        ColourRead colours;
        readColours(picture, was.empty() ? nullptr : was.data(), nullptr, table, colours);
        noteColours(imagePath, colours, kFullTable, "");
        noteRounded(imagePath, pal3to2(colours.table, 256, storedPalette.data(), &head[kImageHead]));
        writeOutput(out, head.data(), head.size());
        writeOutput(out, colours.indexes.data(), colours.indexes.size());  // top row first, as stored
    }
    // The entry table and what follows, with the two values INFO.TXT shows.
    int64_t copied = zom.tableAt;
    const std::pair<int64_t, int32_t> values[2] = {{zom.entries.valueAt, info.value},
                                                   {zom.entries.endAt < 0 ? -1 : zom.entries.endAt + 4, info.endValue}};
    for (const auto& [at, v] : values) {
        if (at < 0)
            continue;
        copyOriginal(out, in, copied, at - copied);
        uint8_t bytes[2];
        putLE(bytes, uint32_t(v), 2);
        writeOutput(out, bytes, 2);
        copied = at + 2;
    }
    copyOriginal(out, in, copied, in.size - copied);
    return placeOutputs({&out});
}

bool list_ZOM(const std::string& path, Listing& listing)
{
    Source in;
    ZomLayout zom;
    listing.type = "ZOM";
    if (!openInput(path, in) || !readZomLayout(path, in, zom))
        return false;
    listing.size = in.size;
    ListedItem values;
    values.kind = "values";
    values.count = 3;
    values.counted = "values";
    values.detail = formatted("first value %d, %d entries, %d pictures", zom.firstValue, zom.entryCount,
                              zom.imageCount);
    listing.items.push_back(values);
    for (size_t i = 0; i < zom.images.size(); i++) {
        ListedItem item;
        item.kind = "picture";
        item.index = int64_t(i);
        item.width = zom.images[i].width;
        item.height = zom.images[i].height;
        listing.items.push_back(item);
    }
    const Walk walk = walkEntries(in, zom.tableAt, zom.entryCount, zom.images, nullptr);
    if (walk == Walk::Truncated)
        return endsBefore(path, in, "the entry table is complete");
    if (walk == Walk::Exhausted)
        return refuse(path, "the entry table has no ending entry among its %d entries", zom.entryCount);
    return true;
}
