// Builders of input files of every format from named fields (see fixtures.h).
#include "support/fixtures.h"

#include <algorithm>
#include <numeric>

ByteList rleLiteral(const ByteList& pixels)
{
    return Bytes().u8(unsigned(pixels.size())).raw(pixels).data;
}

ByteList rleGrey(const ByteList& pixels)
{
    return Bytes().u8(254).u8(unsigned(pixels.size())).raw(pixels).data;
}

ByteList rleTransparent(unsigned count)
{
    return {255, uint8_t(count)};
}

ByteList concat(const std::vector<ByteList>& parts)
{
    ByteList all;
    for (const ByteList& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

namespace {
// Splits a row into runs of equal mask class: 0 transparent, 1 grey, 2 literal.
template <typename Emit>
void forEachRun(const ByteList& maskValues, Emit emit)
{
    size_t x = 0;
    while (x < maskValues.size()) {
        auto kind = [&](size_t i) { return maskValues[i] == 0 ? 0 : maskValues[i] == 127 ? 1 : 2; };
        size_t end = x;
        while (end < maskValues.size() && kind(end) == kind(x))
            end++;
        emit(kind(x), x, end);
        x = end;
    }
}
}  // namespace

ByteList rleEncodeRow(const ByteList& pixels, const ByteList& maskValues)
{
    ByteList out;
    forEachRun(maskValues, [&](int kind, size_t from, size_t to) {
        size_t limit = kind == 2 ? 253 : 255;
        for (size_t at = from; at < to; at += limit) {
            size_t n = std::min(limit, to - at);
            ByteList part(pixels.begin() + long(at), pixels.begin() + long(at + n));
            ByteList code = kind == 0 ? rleTransparent(unsigned(n)) : kind == 1 ? rleGrey(part) : rleLiteral(part);
            out.insert(out.end(), code.begin(), code.end());
        }
    });
    return out;
}

ByteList sampleColourTable()
{
    ByteList table;
    for (int i = 0; i < 256; i++)
        table.insert(table.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0});
    return table;
}

ByteList rgb565Palette(uint16_t (*colour)(int))
{
    Bytes b;
    for (int i = 0; i < 256; i++)
        b.u16(colour(i));
    return b.data;
}

ByteList rampPalette565()
{
    return rgb565Palette([](int i) { return uint16_t((i / 8) << 11 | (i / 4) << 5 | (31 - i / 8)); });
}

ByteList rleFile(int width, int height, const std::vector<ByteList>& rows, const ByteList& colourTable,
                 const std::vector<int>& storeOrder)
{
    std::vector<int> order = storeOrder;
    if (order.empty()) {
        order.resize(rows.size());
        std::iota(order.begin(), order.end(), 0);
    }
    std::vector<uint32_t> offsets(rows.size(), 0);
    ByteList runData;
    for (int r : order) {
        offsets[size_t(r)] = uint32_t(runData.size());
        runData.insert(runData.end(), rows[size_t(r)].begin(), rows[size_t(r)].end());
    }
    Bytes b;
    b.text("BM").u32(0).u32(0);             // type, file size, reserved (not read)
    b.u32(1090 + 4 * uint32_t(height));     // data offset
    b.u32(40).u32(uint32_t(width)).u32(uint32_t(height));
    b.u16(1).u16(8).u32(4);                 // planes, bits per pixel, compression 4
    b.padTo(54).raw(colourTable).padTo(1078).zeros(12);
    for (size_t r = 0; r < rows.size(); r++)
        b.u32(offsets[r]);
    b.raw(runData);
    return b.data;
}

ByteList rlcPair(unsigned skip, const ByteList& copy)
{
    return Bytes().u8(skip).u8(unsigned(copy.size())).raw(copy).data;
}

ByteList rlcFile(int width, int height, const std::vector<ByteList>& rowPairs, const ByteList& palette565)
{
    Bytes b;
    b.text("rlc ").u16(unsigned(width)).u16(0).u16(unsigned(height)).u16(0).raw(palette565);
    for (const ByteList& row : rowPairs)
        b.u16(0).raw(row);  // the two prefix bytes, then the pairs
    return b.data;
}

ByteList rlcEncodeRow(const ByteList& pixels, const ByteList& opaque)
{
    ByteList out;
    size_t x = 0;
    while (x < pixels.size()) {
        size_t skip = 0;
        while (x + skip < pixels.size() && !opaque[x + skip] && skip < 255)
            skip++;
        size_t copy = 0;
        while (x + skip + copy < pixels.size() && opaque[x + skip + copy] && copy < 255)
            copy++;
        ByteList literal(pixels.begin() + long(x + skip), pixels.begin() + long(x + skip + copy));
        ByteList pair = rlcPair(unsigned(skip), literal);
        out.insert(out.end(), pair.begin(), pair.end());
        x += skip + copy;
    }
    return out;
}

ByteList arlcFile(int width, int height, const std::string& magic)
{
    Bytes b;
    b.field(magic, 4).u16(unsigned(width)).u16(0).u16(unsigned(height)).u16(0).u32(0);
    b.zeros(size_t(width) * size_t(height));
    return b.data;
}

ByteList wadEntry(const WadEntry& e)
{
    Bytes b;
    b.field(e.name, 32);
    ByteList body;
    std::vector<uint32_t> offsets;
    for (const ByteList& row : e.rows) {
        offsets.push_back(uint32_t(body.size()));
        body.insert(body.end(), row.begin(), row.end());
        if (!e.runLength)
            body.insert(body.end(), {0, 0});  // raw rows lie width + 2 apart
    }
    if (!e.runLength && !body.empty())
        body.resize(body.size() - 2);  // the last row needs only its width
    b.u24(uint32_t(body.size())).zeros(13).u16(unsigned(e.height)).zeros(2).u16(unsigned(e.width)).zeros(10);
    b.raw(body);
    if (e.runLength) {
        b.zeros(16);
        for (uint32_t offset : offsets)
            b.u32(offset);
    }
    b.u16(e.paletteIndex).zeros(2);
    return b.data;
}

ByteList wadFile(const std::vector<WadPalette>& palettes, const std::vector<WadEntry>& entries)
{
    Bytes b;
    b.zeros(400).u16(unsigned(palettes.size())).zeros(2);
    for (const WadPalette& p : palettes)
        b.raw(p.colours).field(p.name, 13);
    b.u16(unsigned(entries.size())).zeros(2);
    for (const WadEntry& e : entries)
        b.raw(wadEntry(e));
    return b.data;
}

ByteList fntFile(const std::vector<FntGlyph>& glyphs)
{
    Bytes b;
    b.u8(0x10).u8(0x00);
    for (const FntGlyph& g : glyphs) {
        b.u16(unsigned(g.width)).zeros(2).u16(unsigned(g.height)).zeros(2);
        b.i16(g.metric1).zeros(2).i16(g.metric2).zeros(2).i16(g.metric3).zeros(2);
        b.u8(g.code).zeros(3).raw(g.pixels);
    }
    return b.data;
}

std::vector<FntGlyph> fntFullSet(const std::vector<FntGlyph>& glyphs)
{
    std::vector<FntGlyph> all = glyphs;
    while (all.size() < 224) {
        FntGlyph empty;
        empty.code = 255;  // one shared image for every filler glyph
        all.push_back(empty);
    }
    return all;
}

ByteList glyphSetFile(const GlyphSetSpec& layout)
{
    Bytes b;
    b.zeros(4);
    ByteList list;
    for (const FontGlyph& g : layout.glyphs)
        list.push_back(uint8_t(g.code));
    b.raw(list).padTo(260).zeros(8).i32(layout.fontHeight);
    if (layout.variant == 3)
        b.i8(layout.extraValue).zeros(3);
    for (const FontGlyph& g : layout.glyphs)
        b.i8(g.width).zeros(3).i8(g.height).zeros(3).i8(g.value).zeros(7);
    if (layout.glyphs.empty())
        b.zeros(16);  // the first record's value is read even without glyphs
    uint32_t offset = 4 + uint32_t(layout.palette.size());
    for (const FontGlyph& g : layout.glyphs) {
        b.u32(offset);
        offset += uint32_t(g.data.size());
    }
    b.zeros(4).raw(layout.palette);
    for (const FontGlyph& g : layout.glyphs)
        b.raw(g.data);
    return b.data;
}

ByteList fncGlyphData(const std::vector<ByteList>& rowRuns)
{
    Bytes b;
    b.zeros(4);
    uint32_t offset = 0;
    for (const ByteList& row : rowRuns) {
        b.u32(offset);
        offset += uint32_t(row.size());
    }
    for (const ByteList& row : rowRuns)
        b.raw(row);
    return b.data;
}

ByteList fncEncodeRow(const ByteList& pixels, const ByteList& maskValues)
{
    // The cycle is transparent, grey, literal, grey; a kind with no pixels
    // here gets a run of 0.
    static const uint8_t cycle[4] = {0, 127, 255, 127};
    ByteList out;
    size_t x = 0;
    for (int kind = 0; x < pixels.size(); kind = (kind + 1) % 4) {
        size_t n = 0;
        while (x + n < pixels.size() && maskValues[x + n] == cycle[kind] && n < 127)
            n++;
        out.push_back(uint8_t(n));
        if (kind != 0)
            out.insert(out.end(), pixels.begin() + long(x), pixels.begin() + long(x + n));
        x += n;
    }
    return out;
}

ByteList anmShort(int code, const std::vector<int>& slots)
{
    Bytes b;
    b.u8(0).zeros(2).i8(code).zeros(4);
    for (int v : slots)
        b.i32(v);
    return b.data;
}

ByteList anmLong(int code, const std::vector<int>& slots, const ByteList& area)
{
    Bytes b;
    b.u8(unsigned(area.size())).zeros(2).i8(code).zeros(8);
    for (int v : slots)
        b.i32(v);
    b.raw(area);
    return b.data;
}

ByteList anmEnd()
{
    return anmShort(127, {});
}

ByteList anmFile(const std::vector<ByteList>& tokens)
{
    Bytes b;
    b.text("BNM ");
    for (const ByteList& t : tokens)
        b.raw(t);
    return b.data;
}

ByteList textArea(const std::string& text, size_t length)
{
    return Bytes().field(text, length).data;
}

ByteList zomFile(unsigned firstValue, unsigned entryCount, const std::vector<ZomImage>& images,
                 const ByteList& entryTable)
{
    Bytes b;
    b.u16(firstValue).zeros(2).u16(entryCount).zeros(2).u8(unsigned(images.size())).zeros(3);
    for (const ZomImage& image : images)
        b.i32(image.width).i32(image.height).f32(image.first).f32(image.second).raw(image.palette).raw(image.pixels);
    b.raw(entryTable);
    return b.data;
}

ByteList zomEntry(int type, unsigned value, unsigned secondValue)
{
    Bytes b;
    b.u8(unsigned(type)).zeros(3).u16(value);
    if (type == 1)
        return b.padTo(20).data;
    if (type == 3)
        return b.padTo(52).data;
    return b.padTo(20).u16(secondValue).padTo(24).data;
}

ByteList secFile(const SecSpec& layout)
{
    Bytes b;
    b.text("NIBS").i32(int32_t(layout.points.size()));
    for (auto [x, y] : layout.points)
        b.f32(x).f32(y);
    for (const auto* table : {&layout.firstTable, &layout.secondTable}) {
        b.i32(int32_t(table->size()));
        for (const SecElement& e : *table) {
            b.i32(int32_t(e.values.size())).f32(e.x).f32(e.y).f32(e.z);
            for (int32_t a : e.attributes)
                b.i32(a);
            b.i32(int32_t(e.extra.size())).raw(e.extra);
            for (int32_t v : e.values)
                b.i32(v);
        }
    }
    b.i32(int32_t(layout.lists.size()));
    for (const SecList& list : layout.lists) {
        int32_t length = list.nameLength ? list.nameLength : int32_t(list.name.size() + 1);
        b.i32(int32_t(list.pairs.size())).i32(length).field(list.name, size_t(length));
        for (auto [a, c] : list.pairs)
            b.i32(a).i32(c);
    }
    b.i32(int32_t(layout.pairs.size()));
    for (auto [a, c] : layout.pairs)
        b.i32(a).i32(c);
    return b.data;
}

ZomImage zomImage(int32_t width, int32_t height, float first, float second, ByteList pixels)
{
    ZomImage image;
    image.width = width;
    image.height = height;
    image.first = first;
    image.second = second;
    image.palette = rampPalette565();
    image.pixels = std::move(pixels);
    return image;
}

ByteList rerunArchive(bool withA, uint8_t shadeA)
{
    auto entry = [](const std::string& name, uint8_t shade) {
        WadEntry e;
        e.name = name;
        e.width = e.height = 4;
        e.rows.assign(4, ByteList(4, shade));
        return e;
    };
    std::vector<WadEntry> entries;
    if (withA)
        entries.push_back(entry("A.PIC", shadeA));
    entries.push_back(entry("B.PIC", 9));
    return wadFile({{"P.PAL", rampPalette565()}}, entries);
}
