// Writes the bundled sample files, made from the test builders, and a list of
// the images the tool should make of them (for the independent decoder check).
//
//   assetdump_samples write DIR [LIST]  the sample files into DIR; with LIST,
//                                       the expected images as JSON there
//   assetdump_samples check DIR         exit 1 unless DIR holds exactly these samples
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "samples/letters.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace {

struct Picture {
    int width = 0, height = 0;
    ByteList pixels;  // top row first
    ByteList mask;    // 0 transparent, 127 grey, 255 opaque
    uint8_t& at(int x, int y) { return pixels[size_t(y * width + x)]; }
    uint8_t& maskAt(int x, int y) { return mask[size_t(y * width + x)]; }
};

Picture blank(int w, int h)
{
    return Picture{w, h, ByteList(size_t(w * h), 0), ByteList(size_t(w * h), 0)};
}

struct Expected {
    std::string path;  // relative to the folder of the samples, '/' separated
    int width, height, bitsPerPixel;
    ByteList colourTable;
    ByteList indexes;  // top row first
};

std::map<std::string, ByteList> files;
std::vector<Expected> expected;

// --- palettes -------------------------------------------------------------

ByteList widen565(const ByteList& palette565)
{
    ByteList table;
    for (size_t i = 0; i < 256; i++) {
        unsigned v = palette565[2 * i] | palette565[2 * i + 1] << 8;
        unsigned r = v >> 11, g = (v >> 5) & 63, b = v & 31;
        table.insert(table.end(), {uint8_t(b << 3 | b >> 2), uint8_t(g << 2 | g >> 4), uint8_t(r << 3 | r >> 2), 0});
    }
    return table;
}

ByteList maskTable()
{
    ByteList table;
    for (int i = 0; i < 256; i++) {
        uint8_t v = i == 0 ? 0 : i == 255 ? 255 : 127;
        table.insert(table.end(), {v, v, v, 0});
    }
    return table;
}

// A warm ramp (dark red to yellow) in 0..127, a cool one (navy to cyan) in 128..254.
uint16_t warmCool565(int i)
{
    if (i < 128)
        return uint16_t((8 + i * 23 / 127) << 11 | (i * 63 / 127) << 5 | 2);
    if (i < 255)
        return uint16_t(((i - 128) / 16) << 11 | ((i - 128) * 50 / 126) << 5 | (12 + (i - 128) * 19 / 126));
    return 0xF81F;  // magenta: the index of transparent pixels
}

ByteList warmCoolTable() { return widen565(rgb565Palette(warmCool565)); }

// --- pictures ---------------------------------------------------------------

// A shaded ball over a grey shadow, on a transparent ground.
Picture ball(int size)
{
    Picture p = blank(size, size);
    double c = size / 2.0 - 0.5, r = size * 0.38;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            double dx = x - c, dy = y - c + size * 0.06;
            double shadowX = (x - c) / (size * 0.42), shadowY = (y - size * 0.86) / (size * 0.1);
            if (dx * dx + dy * dy <= r * r) {
                double light = std::hypot(dx + r * 0.35, dy + r * 0.35) / (r * 1.4);
                p.at(x, y) = uint8_t(127 - std::min(127.0, light * 110));
                p.maskAt(x, y) = 255;
            } else if (shadowX * shadowX + shadowY * shadowY <= 1) {
                p.at(x, y) = 130;
                p.maskAt(x, y) = 127;
            }
        }
    return p;
}

// A diamond with a grey rim.
Picture gem(int size)
{
    Picture p = blank(size, size);
    int c = size / 2;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            int d = std::abs(x - c) + std::abs(y - c);
            if (d <= c - 2) {
                p.at(x, y) = uint8_t(140 + (x + y) * 100 / (2 * size));
                p.maskAt(x, y) = 255;
            } else if (d <= c) {
                p.at(x, y) = 250;
                p.maskAt(x, y) = 127;
            }
        }
    return p;
}

// A rocket pointing right: body, window and flame; no grey pixels (RLC has none).
Picture rocket(int w, int h)
{
    Picture p = blank(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int dy = std::abs(2 * y - (h - 1));
            bool body = x >= w / 5 && x < w * 3 / 4 && dy < h / 2;
            bool nose = x >= w * 3 / 4 && (w - 1 - x) * h > dy * (w / 4) * 2;
            bool flame = x < w / 5 && dy < (x * h) / (w / 5) / 2 && dy < h / 3;
            bool window = std::hypot(x - w * 0.55, y - (h - 1) / 2.0) < h / 6.0;
            if (window)
                p.at(x, y) = 200;
            else if (body || nose)
                p.at(x, y) = uint8_t(150 + dy * 40 / h);
            else if (flame)
                p.at(x, y) = uint8_t(90 + x * 30 / (w / 5));
            else
                continue;
            p.maskAt(x, y) = 255;
        }
    return p;
}

Picture checker(int w, int h, int cell, uint8_t a, uint8_t b)
{
    Picture p = blank(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            p.at(x, y) = ((x / cell + y / cell) % 2) ? a : b;
            p.maskAt(x, y) = 255;
        }
    return p;
}

Picture sky(int w, int h)
{
    Picture p = blank(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            p.at(x, y) = uint8_t(254 - y * 120 / h);
            p.maskAt(x, y) = 255;
        }
    return p;
}

// The image of a run-length sprite: transparent pixels carry index 255.
ByteList spriteIndexes(const Picture& p)
{
    ByteList out = p.pixels;
    for (size_t i = 0; i < out.size(); i++)
        if (p.mask[i] == 0)
            out[i] = 255;
    return out;
}

std::vector<ByteList> rleRows(const Picture& p)
{
    std::vector<ByteList> rows;
    for (int y = 0; y < p.height; y++)
        rows.push_back(rleEncodeRow(ByteList(p.pixels.begin() + y * p.width, p.pixels.begin() + (y + 1) * p.width),
                                    ByteList(p.mask.begin() + y * p.width, p.mask.begin() + (y + 1) * p.width)));
    return rows;
}

void expectSprite(const std::string& dir, const std::string& stem, const Picture& p, const ByteList& table)
{
    expected.push_back({dir + "/" + stem + ".BMP", p.width, p.height, 8, table, spriteIndexes(p)});
    expected.push_back({dir + "/" + stem + ".MASK.BMP", p.width, p.height, 8, maskTable(), p.mask});
}

// --- letters ---------------------------------------------------------------

// A letter in a 6 x 8 cell: ink 2, a shadow of level 1 down and to the right, paper 0.
Picture letterLevels(const Letter& letter)
{
    Picture p = blank(6, 8);
    for (int y = 0; y < 7; y++)
        for (int x = 0; x < 5; x++)
            if (letter.rows[y][x] == '#') {
                p.at(x, y) = 2;
                if (p.at(x + 1, y + 1) == 0)
                    p.at(x + 1, y + 1) = 1;
            }
    for (int y = 0; y < 8; y++)  // ink wins over a shadow drawn before it
        for (int x = 0; x < 5; x++)
            if (y < 7 && letter.rows[y][x] == '#')
                p.at(x, y) = 2;
    return p;
}

void addSprites()
{
    const ByteList table = warmCoolTable();
    Picture hero = ball(40);
    files["HERO.RLE"] = rleFile(hero.width, hero.height, rleRows(hero), table);
    expectSprite("HERO.RLE.FILES", "HERO", hero, table);

    // The same sprite cut short: shown as a file the tool refuses.
    ByteList damaged = files["HERO.RLE"];
    damaged.resize(damaged.size() - 300);
    files["DAMAGED.RLE"] = damaged;

    Picture ship = rocket(48, 20);
    std::vector<ByteList> records;
    for (int y = 0; y < ship.height; y++)
        records.push_back(rlcEncodeRow(ByteList(ship.pixels.begin() + y * ship.width, ship.pixels.begin() + (y + 1) * ship.width),
                                       ByteList(ship.mask.begin() + y * ship.width, ship.mask.begin() + (y + 1) * ship.width)));
    ByteList palette = rgb565Palette(warmCool565);
    files["SHIP.RLC"] = rlcFile(ship.width, ship.height, records, palette);
    expectSprite("SHIP.RLC.FILES", "SHIP", ship, widen565(palette));

    files["ICON.ARLC"] = arlcFile(4, 4);

    // An archive of three palettes (the second unnamed) and both entry kinds.
    ByteList sunset = rgb565Palette(warmCool565);
    ByteList sea = rgb565Palette([](int i) { return uint16_t((i / 32) << 11 | (i / 5) << 5 | (10 + i / 12)); });
    ByteList grey = rgb565Palette([](int i) { return uint16_t((i / 8) << 11 | (i / 4) << 5 | (i / 8)); });
    Picture gemPic = gem(25), ballPic = ball(24), tile = checker(20, 20, 5, 60, 200), skyPic = sky(33, 14);
    auto entry = [](const std::string& name, const Picture& p, unsigned pal, bool rle) {
        WadEntry e;
        e.name = name;
        e.width = p.width;
        e.height = p.height;
        e.paletteIndex = pal;
        e.runLength = rle;
        if (rle)
            e.rows = rleRows(p);
        else
            for (int y = 0; y < p.height; y++)
                e.rows.push_back(ByteList(p.pixels.begin() + y * p.width, p.pixels.begin() + (y + 1) * p.width));
        return e;
    };
    files["ARCHIVE.WAD"] = wadFile({{"SUNSET.ACT", sunset}, {"", sea}, {"STONE.ACT", grey}},
                                   {entry("GEM.RLE", gemPic, 0, true), entry("BALL.RLE", ballPic, 1, true),
                                    entry("TILE.BIN", tile, 2, false), entry("SKY.BIN", skyPic, 1, false)});
    expectSprite("ARCHIVE.WAD.FILES", "GEM", gemPic, widen565(sunset));
    expectSprite("ARCHIVE.WAD.FILES", "BALL", ballPic, widen565(sea));
    expected.push_back({"ARCHIVE.WAD.FILES/TILE.BMP", tile.width, tile.height, 8, widen565(grey), tile.pixels});
    expected.push_back({"ARCHIVE.WAD.FILES/SKY.BMP", skyPic.width, skyPic.height, 8, widen565(sea), skyPic.pixels});
}

std::string glyphName(unsigned code)
{
    char name[8];
    std::snprintf(name, sizeof name, code < 100 ? "%02u.BMP" : "%u.BMP", code);
    return name;
}

void addFonts()
{
    static const uint8_t shades[64] = {255, 255, 255, 0, 140, 182, 181, 0, 132, 170, 165, 0, 123, 158, 156, 0,
                                       115, 146, 140, 0, 99,  130, 132, 0, 90,  117, 115, 0, 82,  105, 99,  0,
                                       66,  89,  90,  0, 57,  77,  74,  0, 49,  65,  66,  0, 41,  52,  49,  0,
                                       24,  36,  33,  0, 16,  24,  24,  0, 8,   12,  8,   0, 0,   0,   0,   0};
    // FNT: codes 32..255 in order; letters and digits drawn, the rest blank
    // and 3 wide (odd and even widths mixed).
    std::vector<FntGlyph> fnt;
    for (unsigned code = 32; code < 256; code++) {
        FntGlyph g;
        g.code = code;
        g.height = 8;
        g.width = 3;
        for (const Letter& letter : kLetters)
            if (unsigned(letter.code) == code) {
                Picture p = letterLevels(letter);
                g.width = p.width;
                for (uint8_t level : p.pixels)
                    g.pixels.push_back(uint8_t(level == 2 ? 15 : level == 1 ? 6 : 0));
                g.metric1 = 1;
                g.metric2 = -7;
                g.metric3 = g.width;
            }
        if (g.pixels.empty())
            g.pixels.assign(size_t(g.width * g.height), 0);
        fnt.push_back(g);
        expected.push_back({"LETTERS.FNT.FILES/" + glyphName(code), g.width, g.height, 4,
                            ByteList(shades, shades + 64), g.pixels});
    }
    files["LETTERS.FNT"] = fntFile(fnt);

    // FNC: ink as literal pixels shaded by row, shadows as grey pixels.
    ByteList gold;
    for (int i = 0; i < 256; i++)
        gold.insert(gold.end(), {uint8_t(i / 4), uint8_t(80 + i * 2 / 3), uint8_t(120 + i / 2)});  // blue, green, red
    GlyphSetSpec fnc;
    fnc.fontHeight = 8;  // equals the first glyph's height: variant 2
    fnc.palette = gold;
    GlyphSetSpec fnm;
    fnm.variant = 3;
    fnm.fontHeight = 9;
    fnm.extraValue = -2;
    ByteList goldTable;
    for (int i = 0; i < 256; i++)
        goldTable.insert(goldTable.end(), {gold[size_t(3 * i)], gold[size_t(3 * i + 1)], gold[size_t(3 * i + 2)], 0});
    for (const Letter& letter : kLetters) {
        Picture levels = letterLevels(letter);
        Picture p = blank(levels.width, levels.height);
        std::vector<ByteList> rows;
        for (int y = 0; y < p.height; y++) {
            for (int x = 0; x < p.width; x++) {
                uint8_t level = levels.at(x, y);
                p.at(x, y) = level == 2 ? uint8_t(255 - y * 20) : level == 1 ? 30 : 0;
                p.maskAt(x, y) = level == 2 ? 255 : level == 1 ? 127 : 0;
            }
            rows.push_back(fncEncodeRow(ByteList(p.pixels.begin() + y * p.width, p.pixels.begin() + (y + 1) * p.width),
                                        ByteList(p.mask.begin() + y * p.width, p.mask.begin() + (y + 1) * p.width)));
        }
        unsigned code = uint8_t(letter.code);
        fnc.glyphs.push_back({code, p.width, p.height, 1, fncGlyphData(rows)});
        expected.push_back({"GOLD.FNC.FILES/" + glyphName(code), p.width, p.height, 8, goldTable, p.pixels});
        std::string maskName = glyphName(code);
        maskName.replace(maskName.size() - 4, 4, ".MASK.BMP");
        expected.push_back({"GOLD.FNC.FILES/" + maskName, p.width, p.height, 8, maskTable(), p.mask});

        fnm.glyphs.push_back({code, levels.width, levels.height, -1, levels.pixels});
        ByteList drawn;
        for (uint8_t level : levels.pixels)
            drawn.push_back(level == 0 ? 255 : level == 1 ? 127 : 0);
        expected.push_back({"INK.FNM.FILES/" + glyphName(code), levels.width, levels.height, 8, maskTable(), drawn});
    }
    files["GOLD.FNC"] = glyphSetFile(fnc);
    files["INK.FNM"] = glyphSetFile(fnm);
}

void addData()
{
    SecSpec sec;
    sec.points = {{0, 0}, {12.5f, -3.25f}, {100, 40}};
    SecElement door;
    door.x = 12.5f;
    door.y = 0;
    door.z = -3.75f;
    door.attributes[3] = 1;  // odd: decimals kept
    door.values = {3, 1, 4};
    SecElement lamp;
    lamp.x = 2.5f;
    lamp.y = 7.49f;
    lamp.z = 1;
    lamp.attributes[0] = 7;
    lamp.attributes[3] = 2;  // even: rounded
    lamp.extra = {0xDE, 0xAD, 0xBE, 0xEF};
    lamp.values = {-1};
    sec.firstTable = {door, lamp};
    sec.secondTable = {lamp};
    sec.lists = {{"PATROL", 0, {{0, 1}, {1, 2}, {2, 0}}}, {"EXIT", 8, {{2, 9}}}};
    sec.pairs = {{1, 2}, {-3, 4}};
    files["LEVEL.SEC"] = secFile(sec);

    std::vector<ZomImage> images;
    const std::pair<Picture, ByteList> pictures[] = {
        {sky(32, 16), rgb565Palette(warmCool565)},
        {checker(16, 16, 4, 10, 240), rgb565Palette(warmCool565)},
        {ball(21), rgb565Palette([](int i) { return uint16_t((i / 8) << 11 | (i / 4) << 5 | (31 - i / 8)); })},
    };
    float value = 0.5f;
    int index = 0;
    for (const auto& [picture, palette] : pictures) {
        images.push_back({picture.width, picture.height, value, -value * 2, palette, picture.pixels});
        value += 1.25f;
        expected.push_back({"CITY.ZOM.FILES/ZOM" + std::to_string(index++) + ".BMP", picture.width, picture.height, 8,
                            widen565(palette), picture.pixels});
    }
    files["CITY.ZOM"] = zomFile(3, 10, images, concat({zomEntry(1), zomEntry(3, 40), zomEntry(1), zomEntry(0, 100, 20)}));

    files["WALK.ANM"] = anmFile({
        anmShort(0, {3}),
        anmLong(1, {0, 4, 1}, textArea("WALK", 5)),
        anmShort(4, {0}),
        anmLong(5, {-12, -30, 0}, textArea("HERO1", 6)),
        anmShort(7, {1}),
        anmShort(8, {-2, 10, 1}),
        anmShort(4, {1}),
        anmLong(6, {-12, -30, 24, 31, 1}, textArea("HERO2", 8)),
        anmShort(9, {0, 5, 6}),
        anmShort(10, {-1, 2}),
        anmShort(11, {3, -4}),
        anmLong(2, {0, 1, -1}, textArea("IDLE", 5)),
        anmLong(3, {65535, 2, 7, 4, 9}, {'R', 'U', 'N', 0, 'W', 'A', 'L', 'K', 0, 'I', 'D', 'L', 'E', 0}),
        anmEnd(),
    });
}

std::string hex(const ByteList& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

void writeExpected(const std::string& path)
{
    std::string json = "[\n";
    for (size_t i = 0; i < expected.size(); i++) {
        const Expected& e = expected[i];
        json += "{\"path\": \"" + e.path + "\", \"width\": " + std::to_string(e.width) +
                ", \"height\": " + std::to_string(e.height) + ", \"bits\": " + std::to_string(e.bitsPerPixel) +
                ", \"palette\": \"" + hex(e.colourTable) + "\", \"indexes\": \"" + hex(e.indexes) + "\"}";
        json += i + 1 < expected.size() ? ",\n" : "\n";
    }
    json += "]\n";
    writeFile(path, ByteList(json.begin(), json.end()));
}

}  // namespace

int main(int argc, char** argv)
{
    const bool write = argc >= 3 && std::string(argv[1]) == "write";
    if (!(write && argc <= 4) && !(argc == 3 && std::string(argv[1]) == "check")) {
        std::fprintf(stderr, "usage: %s write DIR [LIST] | check DIR\n", argv[0]);
        return 2;
    }
    addSprites();
    addFonts();
    addData();
    const std::string dir = argv[2];
    if (write) {
        std::filesystem::create_directories(dir);
        for (const auto& [name, bytes] : files)
            writeFile(dir + "/" + name, bytes);
        if (argc == 4)  // kept apart, so the folder holds only inputs
            writeExpected(argv[3]);
        return 0;
    }
    int differences = 0;
    for (const auto& [name, bytes] : files)
        if (readFile(dir + "/" + name) != bytes) {
            std::fprintf(stderr, "%s differs from what the generator writes\n", name.c_str());
            differences++;
        }
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file() && !files.count(entry.path().filename().string())) {
            std::fprintf(stderr, "%s is not a generated sample\n", entry.path().filename().string().c_str());
            differences++;
        }
    return differences == 0 ? 0 : 1;
}
