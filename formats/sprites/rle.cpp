// RLE sprite: one 256-colour sprite with run-length coded rows.
//
//   0     54    BMP-like header: "BM", data offset (10), 40 (14), width (18),
//               height (22), 1 (26), 8 (28), compression 4 (30)
//   54    1024  colour table, copied unchanged into the image
//   1078  12    not read
//   1090  4*h   row table: 24-bit offset into the run data per row, top row first
//   1090+4h     run data, coded rows:
//               c 0..253  literal run: c bytes follow (mask 255)
//               c 254     grey run: count n, n bytes follow (mask 127)
//               c 255     transparent run: count n; n pixels of index 255 (mask 0)
//
// Rows are decoded one at a time straight from the file, in BMP order, so
// memory follows the row, not the picture: every row is walked once to
// validate before the output folder is made, then again as it is written.
#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_map>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/sprites/sprites.h"
#include "back/edits.h"
#include "store/names.h"

namespace {
constexpr int64_t kMinFileSize = 1095;  // header, colour table, 12 bytes and something more
constexpr int64_t kRowTableAt = 1090;
}  // namespace

std::optional<RleHeaderInfo> checkRleHeader(const uint8_t* header)
{
    // Only the lowest byte of each tested field counts.
    if (header[0] != 66 || header[1] != 77 || header[14] != 40 || header[26] != 1 || header[28] != 8 ||
        header[30] != 4)
        return std::nullopt;
    RleHeaderInfo info;
    info.offset = toInt(header[10], header[11]);
    info.width = toInt(header[18], header[19]);
    info.height = toInt(header[22], header[23]);
    info.spaces = get_spaces(info.width);
    if (info.offset != 1090 + 4 * info.height)
        return std::nullopt;
    return info;
}

std::vector<uint32_t> readRowTable(const uint8_t* table, int32_t height)
{
    std::vector<uint32_t> offsets(static_cast<size_t>(height));
    for (size_t r = 0; r < offsets.size(); r++)
        offsets[r] = uint32_t(toInt(table[4 * r], table[4 * r + 1], table[4 * r + 2]));  // fourth byte not read
    return offsets;
}

bool decodeRleRow(RunData& run, uint32_t offset, int32_t width, uint8_t* image, uint8_t* mask)
{
    Source& src = *run.source;
    const int64_t base = run.base, size = run.size;
    // An empty code: 0 (a literal run of nothing), or 254 or 255 with a count of 0.
    auto emptyCode = [&](int64_t p) -> int64_t {
        if (p >= size)
            return 0;
        const uint8_t* c = view(src, base + p, 1);
        if (!c)
            return 0;
        if (c[0] == 0)
            return 1;
        if (c[0] < 254 || p + 1 >= size)
            return 0;
        const uint8_t* n = view(src, base + p, 2);
        return n && n[1] == 0 ? 2 : 0;
    };
    int64_t p = offset;
    int32_t x = 0;
    while (x < width) {
        if (p >= size)
            return false;
        const uint8_t* at = view(src, base + p, 1);
        if (!at)
            return false;
        uint8_t c = at[0];
        if (c == 0 || (c >= 254 && emptyCode(p))) {
            p = skipEmptyCodes(run.empty, p, emptyCode);
            continue;
        }
        p++;
        size_t n = c;
        if (c >= 254) {
            if (p >= size || !(at = view(src, base + p, 1)))
                return false;
            n = at[0];
            p++;
        }
        const size_t shown = std::min(n, size_t(width - x));
        if (c == 255) {
            if (image)
                std::memset(image + x, 255, shown);  // the mask row is already 0
        } else {
            if (int64_t(n) > size - p)
                return false;
            if (image) {
                if (!(at = view(src, base + p, n)))
                    return false;
                std::memcpy(image + x, at, shown);
                std::memset(mask + x, c == 254 ? 127 : 255, shown);
            }
            p += int64_t(n);
        }
        x += int32_t(n);
    }
    return true;
}

bool decodeRleRows(Source& source, int64_t base, int64_t size, const std::vector<uint32_t>& rowOffsets,
                   int32_t width, int32_t height, int32_t spaces, SpritePlanes& planes)
{
    const size_t stride = size_t(width) + size_t(spaces);
    if (int64_t(stride) * height > kMaxImageSize)
        return false;
    planes.imagePlane.assign(stride * size_t(height), 0);
    planes.maskPlane.assign(stride * size_t(height), 0);
    RunData run{&source, base, size, {}};
    for (int32_t r = 0; r < height; r++) {
        // The table's first row is the picture's top row, stored last.
        const size_t at = size_t(height - 1 - r) * stride;
        if (!decodeRleRow(run, rowOffsets[size_t(r)], width, &planes.imagePlane[at], &planes.maskPlane[at]))
            return false;
    }
    return true;
}

int32_t firstBadRleRow(RunData& run, const std::vector<uint32_t>& rowOffsets, int32_t width)
{
    // Rows that share their codes are walked once.
    std::vector<uint32_t> distinct = rowOffsets;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    for (uint32_t offset : distinct)
        if (!decodeRleRow(run, offset, width, nullptr, nullptr))
            return int32_t(std::find(rowOffsets.begin(), rowOffsets.end(), offset) - rowOffsets.begin());
    return -1;
}

void encodeRleRow(const uint8_t* image, const uint8_t* mask, int32_t width, std::vector<uint8_t>& out)
{
    for (int32_t x = 0; x < width;) {
        // A run of one mask value, cut at its code's limit.
        const uint8_t value = mask[x];
        const int32_t limit = value == 0 || value == 127 ? 255 : 253;
        int32_t n = 1;
        while (x + n < width && n < limit && mask[x + n] == value)
            n++;
        if (value == 0) {
            out.insert(out.end(), {255, uint8_t(n)});
        } else {
            if (value == 127)
                out.insert(out.end(), {254, uint8_t(n)});
            else
                out.push_back(uint8_t(n));
            out.insert(out.end(), image + x, image + x + n);
        }
        x += n;
    }
}

std::vector<uint32_t> packRleRows(RunData& original, const std::vector<uint32_t>& originalOffsets,
                                  int32_t originalWidth, const SpriteEdit& edit, int64_t end,
                                  std::vector<uint8_t>& appended)
{
    const size_t w = size_t(edit.width);
    std::vector<uint32_t> offsets(size_t(edit.height));
    std::vector<uint8_t> image(w), mask(w), codes;
    std::unordered_map<std::string, uint32_t> written;  // rows already appended, by their codes
    for (int32_t r = 0; r < edit.height; r++) {
        const uint8_t* editImage = edit.image.data() + size_t(r) * w;
        const uint8_t* editMask = edit.mask.data() + size_t(r) * w;
        if (r < int32_t(originalOffsets.size()) && edit.width == originalWidth) {
            std::fill(mask.begin(), mask.end(), uint8_t(0));
            if (decodeRleRow(original, originalOffsets[size_t(r)], edit.width, image.data(), mask.data()) &&
                std::equal(image.begin(), image.end(), editImage) && std::equal(mask.begin(), mask.end(), editMask)) {
                offsets[size_t(r)] = originalOffsets[size_t(r)];  // unchanged: the original codes stay
                continue;
            }
        }
        codes.clear();
        encodeRleRow(editImage, editMask, edit.width, codes);
        auto [it, added] = written.emplace(std::string(codes.begin(), codes.end()), uint32_t(end + int64_t(appended.size())));
        if (added)
            appended.insert(appended.end(), codes.begin(), codes.end());
        offsets[size_t(r)] = it->second;
    }
    return offsets;
}

namespace {
// What extraction and packing both check before they use an RLE sprite.
struct RleSprite {
    RleHeaderInfo info;
    ColourTable table;
    std::vector<uint32_t> rowOffsets;
};

bool readRleSprite(const std::string& path, Source& in, RleSprite& sprite)
{
    if (in.size < kMinFileSize)
        return tooShort(path, in, "an RLE sprite", kMinFileSize);
    const uint8_t* head = view(in, 0, size_t(kRowTableAt));
    if (!head)
        return endsBefore(path, in, "the header is complete");
    std::optional<RleHeaderInfo> info = checkRleHeader(head);
    if (!info)
        return refuse(path, "not an RLE sprite: the header is not that of a run-length coded 8-bit sprite "
                            "with its data behind the row table");
    sprite.info = *info;
    std::memcpy(sprite.table.data(), head + 54, sprite.table.size());
    const int32_t width = info->width, height = info->height;
    const size_t stride = size_t(width) + size_t(info->spaces);
    if (int64_t(stride) * height > kMaxImageSize)
        return refuse(path, "the picture, %d x %d, is too large for a BMP file", width, height);
    const uint8_t* rowTable = view(in, kRowTableAt, 4 * size_t(height));
    if (!rowTable)
        return endsBefore(path, in, "the row table's %d rows", height);
    sprite.rowOffsets = readRowTable(rowTable, height);
    RunData run{&in, info->offset, in.size - info->offset, {}};
    if (int32_t bad = firstBadRleRow(run, sprite.rowOffsets, width); bad >= 0)
        return endsBefore(path, in, "row %d is complete (its codes start at %u)", bad,
                          unsigned(sprite.rowOffsets[size_t(bad)]));
    return true;
}
}  // namespace

bool extract_RLE(const std::string& path)
{
    Source in;
    RleSprite sprite;
    if (!openInput(path, in) || !readRleSprite(path, in, sprite))
        return false;
    const int32_t width = sprite.info.width, height = sprite.info.height;
    const size_t stride = size_t(width) + size_t(sprite.info.spaces);
    RunData run{&in, sprite.info.offset, in.size - sprite.info.offset, {}};

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    std::string imagePath = createBitmap(getName(path), dir);
    std::string maskPath = createMask(getName(path), dir, imagePath);
    BmpHeader header = getBmpHeader(width, height, int32_t(stride * size_t(height)));
    return writeSprite(imagePath, maskPath, header, sprite.table, stride, height, [&](int32_t r, uint8_t* image, uint8_t* mask) {
        const int32_t row = height - 1 - r;  // bottom row first
        return decodeRleRow(run, sprite.rowOffsets[size_t(row)], width, image, mask) ||
               endsBefore(path, in, "row %d is complete", row);
    });
}

bool pack_RLE(const std::string& path)
{
    Source in;
    RleSprite sprite;
    if (!openInput(path, in) || !readRleSprite(path, in, sprite))
        return false;
    const int32_t width = sprite.info.width, height = sprite.info.height;
    RunData run{&in, sprite.info.offset, in.size - sprite.info.offset, {}};
    SpriteEdit edit;
    PictureTable table;
    table.colours = sprite.table;
    table.own = true;
    if (!readSpriteFolder(path, width, height,
                          [&](int32_t r, uint8_t* image, uint8_t* maskRow) {
                              return decodeRleRow(run, sprite.rowOffsets[size_t(r)], width, image, maskRow);
                          },
                          table, edit))
        return false;
    noteColours(edit.imagePath, edit.colours, kFullTable, "");
    // The data offset is a 16-bit field behind the row table; row offsets are 24-bit.
    const int32_t kMaxHeight = (65535 - int32_t(kRowTableAt)) / 4;
    if (edit.width > 65535 || edit.height > kMaxHeight)
        return refuse(edit.imagePath, "%d x %d is larger than an RLE sprite holds (%d x %d at most)", edit.width,
                      edit.height, 65535, kMaxHeight);
    std::vector<uint8_t> appended;
    const int64_t runSize = in.size - sprite.info.offset;
    const std::vector<uint32_t> offsets = packRleRows(run, sprite.rowOffsets, width, edit, runSize, appended);
    if (runSize + int64_t(appended.size()) > (int64_t(1) << 24))
        return refuse(path, "the rebuilt rows need more than the 16 MiB a row offset can reach");

    const uint8_t* head = view(in, 0, size_t(kRowTableAt));
    const uint8_t* oldTable = view(in, kRowTableAt, 4 * size_t(height));
    if (!head || !oldTable)
        return endsBefore(path, in, "the header is complete");
    std::vector<uint8_t> front(head, head + kRowTableAt);
    const int32_t dataAt = int32_t(kRowTableAt) + 4 * edit.height;
    const int64_t newSize = dataAt + runSize + int64_t(appended.size());
    // A file-size field that was true stays true; any other is kept as it was.
    if (toInt(head, 2) == in.size && newSize <= INT32_MAX)
        put32(&front[2], uint32_t(newSize));
    put16(&front[10], uint32_t(dataAt));  // data offset (16 bits read)
    put16(&front[18], uint32_t(edit.width));  // width (16 bits read)
    put16(&front[22], uint32_t(edit.height));  // height (16 bits read)
    std::memcpy(&front[54], edit.colours.table.data(), edit.colours.table.size());  // the original's, unless recoloured
    std::vector<uint8_t> rowTable(4 * size_t(edit.height));
    for (size_t r = 0; r < offsets.size(); r++) {
        put24(&rowTable[4 * r], offsets[r]);
        rowTable[4 * r + 3] = r < size_t(height) ? oldTable[4 * r + 3] : 0;  // not read; kept
    }

    OutputFile out;
    openRebuilt(out, path);
    writeOutput(out, front.data(), front.size());
    writeOutput(out, rowTable.data(), rowTable.size());
    copyOriginal(out, in, sprite.info.offset, runSize);  // every original row, and what follows them
    writeOutput(out, appended.data(), appended.size());
    return placeOutputs({&out});
}

bool listSprite(Listing& listing, int32_t width, int32_t height,
                const std::function<bool(int32_t, uint8_t*, uint8_t*)>& row)
{
    ListedItem item;
    item.kind = "sprite";
    item.width = width;
    item.height = height;
    if (!listing.quick) {
        std::vector<uint8_t> image(static_cast<size_t>(width)), mask(static_cast<size_t>(width));
        bool used[256] = {};
        for (int32_t r = 0; r < height; r++) {
            std::fill(mask.begin(), mask.end(), uint8_t(0));
            if (!row(r, image.data(), mask.data()))
                return false;
            for (int32_t x = 0; x < width; x++)
                if (mask[size_t(x)])
                    used[image[size_t(x)]] = true;
        }
        item.count = std::count(std::begin(used), std::end(used), true);
        item.counted = "colours";
    }
    listing.items.push_back(item);
    return true;
}

bool list_RLE(const std::string& path, Listing& listing)
{
    Source in;
    RleSprite sprite;
    listing.type = "RLE";
    if (!openInput(path, in) || !readRleSprite(path, in, sprite))
        return false;
    listing.size = in.size;
    RunData run{&in, sprite.info.offset, in.size - sprite.info.offset, {}};
    return listSprite(listing, sprite.info.width, sprite.info.height, [&](int32_t r, uint8_t* image, uint8_t* mask) {
        return decodeRleRow(run, sprite.rowOffsets[size_t(r)], sprite.info.width, image, mask) ||
               endsBefore(path, in, "row %d is complete", r);
    });
}
