// PNG pictures through libspng (see png.h).
//
// Written: IHDR, PLTE and tRNS (indexed) as given, IDAT compressed by zlib at
// level 1 with no row filter (the fastest that still makes the pictures
// smaller than a BMP and its mask), IEND; no time or text chunk, so the same
// picture always makes the same bytes, on every build.
#include "pictures/png.h"

#include <algorithm>
#include <cstring>
#include <map>

#include <spng.h>

#include "common/report.h"
#include "pictures/bmp.h"

namespace {


spng_ctx* encoderOf(const PngWriter& png)
{
    return static_cast<spng_ctx*>(png.encoder);
}

int writeToOutput(spng_ctx*, void* user, void* data, size_t length)
{
    OutputFile& out = *static_cast<OutputFile*>(user);
    return writeOutput(out, data, length) ? 0 : SPNG_IO_ERROR;
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
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    png.encoder = ctx;
    png.out = &out;
    if (!ctx)
        return false;
    spng_ihdr ihdr{};
    ihdr.width = uint32_t(width);                       // at least 1
    ihdr.height = uint32_t(height);                     // at least 1
    ihdr.bit_depth = uint8_t(indexed ? bits : 8);       // 8 or 4 indexed, 8 a channel
    ihdr.color_type = indexed ? SPNG_COLOR_TYPE_INDEXED : SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    ihdr.compression_method = 0;                        // deflate
    ihdr.filter_method = 0;                             // the adaptive filters (none chosen, below)
    ihdr.interlace_method = SPNG_INTERLACE_NONE;
    png.rowBytes = indexed ? (size_t(width) * size_t(bits) + 7) / 8 : size_t(width) * 4;
    bool ok = spng_set_png_stream(ctx, writeToOutput, &out) == 0 && spng_set_ihdr(ctx, &ihdr) == 0 &&
              spng_set_option(ctx, SPNG_FILTER_CHOICE, SPNG_DISABLE_FILTERING) == 0 &&
              spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, 1) == 0 &&
              spng_set_option(ctx, SPNG_IMG_COMPRESSION_STRATEGY, 0) == 0;  // zlib's default strategy
    if (ok && indexed) {
        spng_plte plte{};
        plte.n_entries = uint32_t(entries);
        for (int i = 0; i < entries; i++)  // the table holds blue, green, red, 0
            plte.entries[i] = spng_plte_entry{table[4 * i + 2], table[4 * i + 1], table[4 * i], 255};
        ok = spng_set_plte(ctx, &plte) == 0;
        if (ok && alpha) {
            spng_trns trns{};
            trns.n_type3_entries = uint32_t(entries);
            std::memcpy(trns.type3_alpha, alpha, size_t(entries));
            ok = spng_set_trns(ctx, &trns) == 0;
        }
    }
    return ok && spng_encode_image(ctx, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE) == 0;
}

bool writePngRow(PngWriter& png, const uint8_t* row)
{
    const int result = spng_encode_row(encoderOf(png), row, png.rowBytes);
    return result == 0 || result == SPNG_EOI;  // the last row ends the image
}

void endPng(PngWriter& png)
{
    spng_ctx_free(encoderOf(png));
    png.encoder = nullptr;
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
