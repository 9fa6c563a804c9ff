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
#include <cstring>

#include "common/report.h"
#include "formats/sprites/sprites.h"
#include "output/names.h"

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

bool extract_RLE(const std::string& path)
{
    Source in;
    if (!openInput(path, in))
        return false;
    if (in.size < kMinFileSize)
        return refuse(path, "too short for an RLE sprite: %lld bytes, at least %lld needed", (long long)in.size,
                      (long long)kMinFileSize);
    const uint8_t* head = view(in, 0, size_t(kRowTableAt));
    if (!head)
        return endsBefore(path, in, "the header is complete");
    std::optional<RleHeaderInfo> info = checkRleHeader(head);
    if (!info)
        return refuse(path, "not an RLE sprite: the header is not that of a run-length coded 8-bit sprite "
                            "with its data behind the row table");
    ColourTable table;
    std::memcpy(table.data(), head + 54, table.size());
    const int32_t width = info->width, height = info->height;
    const size_t stride = size_t(width) + size_t(info->spaces);
    if (int64_t(stride) * height > kMaxImageSize)
        return refuse(path, "the picture, %d x %d, is too large for a BMP file", width, height);
    const uint8_t* rowTable = view(in, kRowTableAt, 4 * size_t(height));
    if (!rowTable)
        return endsBefore(path, in, "the row table's %d rows", height);
    const std::vector<uint32_t> rowOffsets = readRowTable(rowTable, height);
    RunData run{&in, info->offset, in.size - info->offset, {}};
    if (int32_t bad = firstBadRleRow(run, rowOffsets, width); bad >= 0)
        return endsBefore(path, in, "row %d is complete (its codes start at %u)", bad, unsigned(rowOffsets[size_t(bad)]));

    std::string dir;
    if (!makeOutputDir(path, dir))
        return false;
    std::string imagePath = createBitmap(getName(path), dir);
    std::string maskPath = createMask(getName(path), dir, imagePath);
    BmpHeader header = getBmpHeader(width, height, int32_t(stride * size_t(height)));
    return writeSprite(imagePath, maskPath, header, table, stride, height, [&](int32_t r, uint8_t* image, uint8_t* mask) {
        const int32_t row = height - 1 - r;  // bottom row first
        return decodeRleRow(run, rowOffsets[size_t(row)], width, image, mask) ||
               endsBefore(path, in, "row %d is complete: the file changed while it was read", row);
    });
}
