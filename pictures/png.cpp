// PNG pictures (see png.h): written chunk by chunk here, read through libspng.
//
// Written: the signature, IHDR, PLTE and tRNS (indexed) as given, one IDAT
// with no row filter, IEND; no time or text chunk, so the same picture
// always makes the same bytes, on every build. The rows are compressed
// whole by libdeflate at level 1 (three times zlib's speed at its fastest
// here, and no larger); a picture too large to hold whole is compressed as
// it goes by zlib at level 1.
#include "pictures/png.h"

#include <algorithm>
#include <cstring>
#include <map>

#include <libdeflate.h>
#include <spng.h>
#include <zlib.h>

#include "common/report.h"
#include "pictures/bmp.h"

namespace {


// Rows up to this many bytes are compressed whole; larger pictures as they go.
constexpr size_t kWholeRows = size_t(64) << 20;

void putBigEndian(uint8_t* at, uint32_t v)
{
    at[0] = uint8_t(v >> 24);
    at[1] = uint8_t(v >> 16);
    at[2] = uint8_t(v >> 8);
    at[3] = uint8_t(v);
}

// One chunk: its length, type, data and the CRC of type and data.
bool writeChunk(OutputFile& out, const char* type, const uint8_t* data, size_t size)
{
    uint8_t head[8];
    putBigEndian(head, uint32_t(size));
    std::memcpy(head + 4, type, 4);
    uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    if (size)
        crc = libdeflate_crc32(crc, data, size);
    uint8_t tail[4];
    putBigEndian(tail, crc);
    return writeOutput(out, head, 8) && writeOutput(out, data, size) && writeOutput(out, tail, 4);
}

// A picture too large to hold whole: zlib's stream, an IDAT chunk each time
// its buffer fills.
struct Streamed {
    z_stream z{};
    std::vector<uint8_t> chunk = std::vector<uint8_t>(size_t(1) << 20);
};

bool drain(PngWriter& png, Streamed& s, int flush)
{
    int result;
    do {
        s.z.next_out = s.chunk.data();
        s.z.avail_out = uInt(s.chunk.size());
        result = deflate(&s.z, flush);
        const size_t made = s.chunk.size() - s.z.avail_out;
        if (result == Z_STREAM_ERROR || (made && !writeChunk(*png.out, "IDAT", s.chunk.data(), made)))
            return false;
    } while (s.z.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    return true;
}

// The decoder's limits: a picture no larger than a BMP may be, chunks no
// larger than the file, and what the decoder keeps of ancillary chunks
// (an editor's colour profile, texts) at most 16 MiB.
bool limitDecoder(spng_ctx* ctx, size_t fileSize)
{
    return spng_set_image_limits(ctx, 0x7FFFFFFF, 0x7FFFFFFF) == 0 &&
           spng_set_chunk_limits(ctx, fileSize, std::max<size_t>(fileSize, size_t(16) << 20)) == 0;
}

}  // namespace

PictureFormat pictureFormat()
{
    const OutputPlace* place = currentPlace();
    return place ? place->picture : currentRun().choices.picture;
}

bool pictureFormatNamed(const std::string& word, PictureFormat& format)
{
    if (word == "bmp" || word == "png") {
        format = word == "png" ? PictureFormat::Png : PictureFormat::Bmp;
        return true;
    }
    return false;
}

bool beginPng(PngWriter& png, OutputFile& out, int32_t width, int32_t height, bool indexed, int bits,
              const uint8_t* table, int entries, const uint8_t* alpha)
{
    png.out = &out;
    png.rowBytes = indexed ? (size_t(width) * size_t(bits) + 7) / 8 : size_t(width) * 4;
    static const uint8_t signature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    uint8_t ihdr[13];
    putBigEndian(ihdr, uint32_t(width));       // at least 1
    putBigEndian(ihdr + 4, uint32_t(height));  // at least 1
    ihdr[8] = uint8_t(indexed ? bits : 8);     // 8 or 4 indexed, 8 a channel
    ihdr[9] = indexed ? 3 : 6;                 // indexed, or red, green, blue and alpha
    ihdr[10] = 0;                              // deflate
    ihdr[11] = 0;                              // the adaptive filters (none chosen, below)
    ihdr[12] = 0;                              // not interlaced
    bool ok = writeOutput(out, signature, 8) && writeChunk(out, "IHDR", ihdr, 13);
    if (ok && indexed) {
        uint8_t plte[768];
        for (int i = 0; i < entries; i++) {  // the table holds blue, green, red, 0
            plte[3 * i] = table[4 * i + 2];
            plte[3 * i + 1] = table[4 * i + 1];
            plte[3 * i + 2] = table[4 * i];
        }
        ok = writeChunk(out, "PLTE", plte, size_t(3 * entries)) && (!alpha || writeChunk(out, "tRNS", alpha, size_t(entries)));
    }
    const uint64_t total = uint64_t(png.rowBytes + 1) * uint64_t(height);
    if (ok && total <= kWholeRows) {
        png.rows.reserve(size_t(total));
    } else if (ok) {
        Streamed* s = new Streamed;
        png.stream = s;
        ok = deflateInit(&s->z, 1) == Z_OK;
    }
    return ok;
}

bool writePngRow(PngWriter& png, const uint8_t* row)
{
    static const uint8_t none = 0;  // the row's filter: none
    if (!png.stream) {
        png.rows.push_back(none);
        png.rows.insert(png.rows.end(), row, row + png.rowBytes);
        return true;
    }
    Streamed& s = *static_cast<Streamed*>(png.stream);
    for (const auto& [bytes, size] : {std::pair<const uint8_t*, size_t>{&none, 1}, {row, png.rowBytes}}) {
        s.z.next_in = const_cast<uint8_t*>(bytes);
        s.z.avail_in = uInt(size);
        if (!drain(png, s, Z_NO_FLUSH))
            return false;
    }
    return true;
}

bool endPng(PngWriter& png)
{
    bool ok;
    if (Streamed* s = static_cast<Streamed*>(png.stream)) {
        ok = drain(png, *s, Z_FINISH);
        deflateEnd(&s->z);
        delete s;
        png.stream = nullptr;
    } else {
        libdeflate_compressor* compressor = libdeflate_alloc_compressor(1);
        std::vector<uint8_t> packed(compressor ? libdeflate_zlib_compress_bound(compressor, png.rows.size()) : 0);
        const size_t size = compressor ? libdeflate_zlib_compress(compressor, png.rows.data(), png.rows.size(),
                                                                  packed.data(), packed.size())
                                       : 0;
        libdeflate_free_compressor(compressor);
        ok = size > 0 && writeChunk(*png.out, "IDAT", packed.data(), size);
        png.rows = std::vector<uint8_t>();
    }
    return ok && writeChunk(*png.out, "IEND", nullptr, 0);
}

bool isPng(const uint8_t* data, size_t size)
{
    static const uint8_t signature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    return size >= 8 && std::memcmp(data, signature, 8) == 0;
}

bool readPng(Source& source, BmpPicture& picture, std::vector<uint8_t>& alpha, std::string& why)
{
    alpha.clear();
    const uint8_t* bytes = view(source, 0, size_t(source.size));
    if (!bytes) {
        why = "cannot be read: " + readFailure(source);
        return false;
    }
    struct Context {
        spng_ctx* ctx = spng_ctx_new(0);
        ~Context() { spng_ctx_free(ctx); }
    } decoder;
    spng_ctx* ctx = decoder.ctx;
    spng_ihdr ihdr{};
    int error = !ctx ? SPNG_EMEM : !limitDecoder(ctx, size_t(source.size)) ? SPNG_EMEM
                                                                          : spng_set_png_buffer(ctx, bytes, size_t(source.size));
    if (!error)
        error = spng_get_ihdr(ctx, &ihdr);
    if (!error && int64_t(rowStride(int32_t(ihdr.width))) * ihdr.height > kMaxImageSize)
        error = SPNG_EOVERFLOW;
    if (error) {
        why = std::string("not a PNG picture this tool can read: ") + spng_strerror(error);
        return false;
    }
    // Deflate expands its data at most 1032 times: a picture whose rows need
    // more than that is not what the file can hold, and is not allocated.
    static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
    const uint64_t rowBits = uint64_t(ihdr.width) * ihdr.bit_depth * uint64_t(channels[ihdr.color_type % 7]);
    if (uint64_t(ihdr.height) * (1 + (rowBits + 7) / 8) > uint64_t(source.size) * 1032 + 1024) {
        why = formatted("a PNG picture of %u x %u pixels, more than its %lld bytes can hold", ihdr.width, ihdr.height,
                        (long long)source.size);
        return false;
    }
    picture.width = int32_t(ihdr.width);
    picture.height = int32_t(ihdr.height);
    const size_t pixels = size_t(ihdr.width) * ihdr.height;
    picture.pixels.assign(pixels, 0);
    picture.colours.fill(0);

    if (ihdr.color_type == SPNG_COLOR_TYPE_INDEXED) {
        spng_plte plte{};
        spng_trns trns{};
        size_t size = 0;
        error = spng_get_plte(ctx, &plte);
        const bool hasTrns = !error && spng_get_trns(ctx, &trns) == 0;
        std::vector<uint8_t> packed;
        if (!error)
            error = spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size);
        if (!error) {
            packed.resize(size);
            error = spng_decode_image(ctx, packed.data(), size, SPNG_FMT_PNG, 0);
        }
        if (error) {
            why = std::string("a PNG picture that cannot be decoded: ") + spng_strerror(error);
            return false;
        }
        // Rows of 1, 2, 4 or 8 bits a pixel, high bits first, each row whole bytes.
        const size_t rowBytes = (size_t(ihdr.width) * ihdr.bit_depth + 7) / 8;
        const int bits = ihdr.bit_depth, perByte = 8 / bits;
        for (size_t y = 0; y < ihdr.height; y++)
            for (size_t x = 0; x < ihdr.width; x++) {
                const uint8_t b = packed[y * rowBytes + x / size_t(perByte)];
                const int shift = 8 - bits * int(x % size_t(perByte) + 1);
                picture.pixels[y * ihdr.width + x] = uint8_t((b >> shift) & ((1 << bits) - 1));
            }
        picture.colourCount = int32_t(plte.n_entries);
        picture.bitsPerPixel = bits;
        for (uint32_t i = 0; i < plte.n_entries; i++) {
            picture.colours[4 * i] = plte.entries[i].blue;
            picture.colours[4 * i + 1] = plte.entries[i].green;
            picture.colours[4 * i + 2] = plte.entries[i].red;
        }
        for (uint8_t p : picture.pixels)
            if (p >= plte.n_entries) {
                why = "a PNG picture whose pixels use entries its palette does not have";
                return false;
            }
        if (hasTrns) {
            alpha.resize(pixels);
            for (size_t k = 0; k < pixels; k++) {
                const uint8_t a = picture.pixels[k] < trns.n_type3_entries ? trns.type3_alpha[picture.pixels[k]] : 255;
                alpha[k] = a == 0 ? 0 : a == 255 ? 255 : 127;
            }
        }
        return true;
    }

    // Greyscale and RGB, with or without alpha, any depth: 8-bit RGBA, a row
    // at a time (an interlaced picture whole), then an indexed picture of
    // its colours.
    const bool interlaced = ihdr.interlace_method != SPNG_INTERLACE_NONE;
    const size_t rowLength = size_t(ihdr.width) * 4;
    std::vector<uint8_t> rgba(interlaced ? pixels * 4 : rowLength);
    error = spng_decode_image(ctx, interlaced ? rgba.data() : nullptr, interlaced ? rgba.size() : 0, SPNG_FMT_RGBA8,
                              SPNG_DECODE_TRNS | (interlaced ? 0 : SPNG_DECODE_PROGRESSIVE));
    std::map<uint32_t, uint8_t> index;
    bool transparent = false;
    std::vector<uint8_t> opacity(pixels);
    for (size_t k = 0; k < pixels && !error; k++) {
        if (!interlaced && k % ihdr.width == 0) {
            const int result = spng_decode_row(ctx, rgba.data(), rowLength);
            error = result == SPNG_EOI ? 0 : result;
            if (error)
                break;
        }
        const uint8_t* p = &rgba[4 * (interlaced ? k : k % ihdr.width)];
        const uint32_t colour = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        auto [at, added] = index.emplace(colour, uint8_t(index.size()));
        if (added && index.size() > 256) {
            why = "a PNG picture of more than 256 colours: save it with a palette (indexed), as it was written";
            return false;
        }
        if (added) {
            picture.colours[4 * size_t(at->second)] = p[2];
            picture.colours[4 * size_t(at->second) + 1] = p[1];
            picture.colours[4 * size_t(at->second) + 2] = p[0];
        }
        picture.pixels[k] = at->second;
        opacity[k] = p[3] == 0 ? 0 : p[3] == 255 ? 255 : 127;
        transparent = transparent || p[3] != 255;
    }
    if (error) {
        why = std::string("a PNG picture that cannot be decoded: ") + spng_strerror(error);
        return false;
    }
    picture.colourCount = int32_t(index.size());
    picture.bitsPerPixel = 8;
    if (transparent)
        alpha = std::move(opacity);
    return true;
}
