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
#include <cstring>

#include "common/bytes.h"
#include "common/report.h"
#include "common/source.h"
#include "formats/data/data.h"
#include "output/bmp.h"
#include "output/edits.h"
#include "output/names.h"
#include "output/palette.h"

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

// The float pair of image i; an image the file does not have prints as zeros.
void imageFloats(const std::vector<ZomImage>& images, size_t i, double& first, double& second)
{
    first = i < images.size() ? double(images[i].first) : 0.0;
    second = i < images.size() ? double(images[i].second) : 0.0;
}

// Visits at most entryCount entries from tableAt, reading only the bytes an
// entry's type uses; writes lines 3 and 4 when info is given.
Walk walkEntries(Source& in, int64_t tableAt, int32_t entryCount, const std::vector<ZomImage>& images,
                 OutputFile* info)
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
    if (walkEntries(in, zom.tableAt, zom.entryCount, zom.images, nullptr) == Walk::Truncated)
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

bool pack_ZOM(const std::string& path)
{
    Source in;
    ZomLayout zom;
    if (!openInput(path, in) || !readZomLayout(path, in, zom))
        return false;
    const std::string dir = editsFolderOf(path);
    std::vector<std::string> known = {"INFO.TXT"};
    for (size_t i = 0; i < zom.images.size(); i++)
        known.push_back(getName(createBitmap(zomImageName(int(i)), dir)));
    noteUnreadFiles(dir, known, "a picture set's pictures are read by their numbers; adding pictures is not "
                                "supported yet");
    OutputFile out;
    openRebuilt(out, path);
    copyOriginal(out, in, 0, 12);  // the header: the picture count stays
    for (size_t i = 0; i < zom.images.size(); i++) {
        const ZomImage& image = zom.images[i];
        const int64_t recordAt = image.paletteAt - kImageHead;
        const int64_t recordSize = kImageHead + kPaletteSize + int64_t(image.width) * image.height;
        const std::string imagePath = createBitmap(zomImageName(int(i)), dir);
        BmpPicture picture;
        const Edited read = readEditedImage(imagePath, picture);
        if (read == Edited::Refused)
            return false;
        if (read == Edited::Missing) {
            noteKept(imagePath, "picture");
            copyOriginal(out, in, recordAt, recordSize);
            continue;
        }
        const uint8_t* record = view(in, recordAt, size_t(kImageHead + kPaletteSize));
        if (!record)
            return endsBefore(path, in, "picture %zu is complete", i);
        std::vector<uint8_t> head(record, record + kImageHead + kPaletteSize);
        put32(&head[0], uint32_t(picture.width));  // width
        put32(&head[4], uint32_t(picture.height));  // height; the two floats stay
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
    copyOriginal(out, in, zom.tableAt, in.size - zom.tableAt);  // the entry table and what follows
    return placeOutputs({&out});
}
