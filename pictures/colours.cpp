// The one rule for the colours of an edited picture (see colours.h).
#include "pictures/colours.h"

#include <climits>
#include <map>

#include "common/report.h"

namespace {

// A colour as one number: red, green, blue (the fourth byte of a table
// entry is not a colour: editors zero it).
uint32_t rgb(uint8_t red, uint8_t green, uint8_t blue)
{
    return uint32_t(red) << 16 | uint32_t(green) << 8 | blue;
}
uint32_t tableColour(const ColourTable& t, int32_t i)
{
    return rgb(t[size_t(4 * i + 2)], t[size_t(4 * i + 1)], t[size_t(4 * i)]);
}
uint32_t pictureColour(const BmpPicture& p, int32_t i)
{
    uint8_t red, green, blue;
    bmpColour(p, i, red, green, blue);
    return rgb(red, green, blue);
}

int32_t nearest(const ColourTable& t, int32_t count, uint32_t c)
{
    int32_t best = 0;
    long long bestDistance = LLONG_MAX;
    for (int32_t i = 0; i < count; i++) {
        const uint32_t e = tableColour(t, i);
        const long long dr = int(e >> 16) - int(c >> 16), dg = int(e >> 8 & 255) - int(c >> 8 & 255),
                        db = int(e & 255) - int(c & 255);
        const long long distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace

void readColours(const BmpPicture& picture, const uint8_t* original, const uint8_t* stored, PictureTable& table,
                 ColourRead& read)
{
    const ColourTable& was = table.colours;
    const int32_t count = table.count, n = picture.colourCount;
    const size_t pixels = picture.pixels.size();
    read = ColourRead{};
    read.table = was;
    read.indexes.assign(pixels, 0);

    std::array<bool, 256> used{};  // indexes of the picture that are stored
    for (size_t k = 0; k < pixels; k++)
        if (!stored || stored[k])
            used[picture.pixels[k]] = true;
    std::map<uint32_t, int32_t> held;  // colour -> its first index in the table
    for (int32_t i = count - 1; i >= 0; i--)
        held[tableColour(was, i)] = i;
    // In place: the same colours in the same places. A recolour: the same
    // indexes in the same places, entries that pixels use given new colours.
    // A table an editor rebuilt (reordered, merged, cut or padded) moves the
    // indexes with it, however many colours are new: it is read by colour.
    bool inPlace = n <= count;
    bool entryChanged = false;
    for (int32_t i = 0; i < n && i < count; i++) {
        if (pictureColour(picture, i) == tableColour(was, i))
            continue;
        inPlace = false;
        entryChanged = entryChanged || used[size_t(i)];
    }
    bool sameIndexes = original != nullptr;
    for (size_t k = 0; sameIndexes && k < pixels; k++)
        sameIndexes = (stored && !stored[k]) || picture.pixels[k] == original[k];
    bool recolourShape = n <= count && entryChanged && sameIndexes;
    bool indexesInTable = true;
    for (int32_t i = n; i < 256; i++)
        indexesInTable = indexesInTable && !used[size_t(i)];
    inPlace = inPlace && indexesInTable;
    recolourShape = recolourShape && indexesInTable;
    // A recolour of a table the format does not keep is named, and the
    // pixels go to the colours nearest to what they show.
    read.tableIgnored = recolourShape && !table.own;
    const bool asTheyStand = inPlace || (recolourShape && table.own);
    // Pixels that are not stored, yet changed: a new index where indexes
    // stand, a new colour where colours count.
    for (size_t k = 0; original && stored && k < pixels; k++)
        if (!stored[k] && (asTheyStand ? picture.pixels[k] != original[k]
                                       : pictureColour(picture, picture.pixels[k]) != tableColour(was, original[k])))
            read.hidden++;
    if (asTheyStand) {
        // Indexes as they stand: the editor kept every colour in its place,
        // or gave places new colours, which the table takes. An editor that
        // merged the entries of one colour (each colour on one index now)
        // tells nothing by the index it chose: a pixel that shows its
        // original colour keeps its original index. A picture that still
        // uses several entries of one colour says which by its indexes: a
        // change between them is an edit, and kept.
        std::map<uint32_t, int32_t> firstOfColour;
        bool severalOfOneColour = false;
        for (int32_t i = 0; i < 256 && !severalOfOneColour; i++)
            if (used[size_t(i)])
                severalOfOneColour = !firstOfColour.emplace(pictureColour(picture, i), i).second;
        for (size_t k = 0; k < pixels; k++)
            read.indexes[k] = original && !severalOfOneColour &&
                                      pictureColour(picture, picture.pixels[k]) == tableColour(was, original[k])
                                  ? original[k]
                                  : picture.pixels[k];
        read.recoloured = !inPlace;
        for (int32_t i = 0; read.recoloured && i < n; i++)
            if (pictureColour(picture, i) != tableColour(was, i))
                for (int b = 0; b < 4; b++)
                    read.table[size_t(4 * i + b)] = picture.colours[size_t(4 * i + b)];
        return;
    }

    // By colour. Pixels of a colour the table does not hold wait in fresh.
    std::map<uint32_t, std::vector<size_t>> fresh;
    std::array<bool, 256> final{};
    for (size_t k = 0; k < pixels; k++) {
        const uint8_t e = picture.pixels[k];
        const uint32_t c = pictureColour(picture, e);
        if (stored && !stored[k]) {
            read.indexes[k] = original ? original[k] : 0;  // not stored: any index does
            continue;
        }
        if (original && tableColour(was, original[k]) == c) {
            read.indexes[k] = original[k];  // unchanged: its own index, even among equal colours
        } else if (e < count && tableColour(was, e) == c) {
            read.indexes[k] = e;
        } else if (auto at = held.find(c); at != held.end()) {
            read.indexes[k] = uint8_t(at->second);
        } else {
            fresh[c].push_back(k);
            continue;
        }
        final[read.indexes[k]] = true;
    }
    int32_t free = 0;
    for (const auto& [c, places] : fresh) {
        while (table.own && free < count && (final[size_t(free)] || table.taken[size_t(free)]))
            free++;
        int32_t index;
        if (table.own && free < count) {
            index = free;
            read.table[size_t(4 * index)] = uint8_t(c & 255);
            read.table[size_t(4 * index + 1)] = uint8_t(c >> 8 & 255);
            read.table[size_t(4 * index + 2)] = uint8_t(c >> 16);
            read.table[size_t(4 * index + 3)] = 0;
            table.taken[size_t(index)] = final[size_t(index)] = true;
            read.newColours++;
        } else {
            index = nearest(read.table, count, c);
            read.forced += int64_t(places.size());
        }
        for (size_t k : places)
            read.indexes[k] = uint8_t(index);
    }
}

const char* const kFullTable = "its colour table (every entry in use)";

void noteColours(const std::string& imagePath, const ColourRead& read, const std::string& heldBy,
                 const std::string& hint)
{
    const std::string then = hint.empty() ? "" : "; " + hint;
    const std::string pixels = formatted("%lld pixel%s", (long long)read.forced, read.forced == 1 ? "" : "s");
    const char* were = read.forced == 1 ? "was" : "were";
    if (read.tableIgnored)
        reportNoteAbout(imagePath, "its colour table was changed, but its colours come from " + heldBy +
                                     (read.forced ? ": " + pixels + " " + were + " given the nearest it holds" : "") +
                                     then);
    else if (read.forced > 0)
        reportNoteAbout(imagePath, pixels + " of colours " + heldBy + " does not hold " + were +
                                     " given the nearest it holds" + then);
}
