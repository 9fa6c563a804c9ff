// What a file holds, as --list shows it without converting it: the file's
// type and size, then one item per palette, entry, sprite, glyph, picture,
// table or sequence, in file order. Each format fills one; the front end
// prints it as tab-separated lines or as JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ListedItem {
    const char* kind = "";     // "palette", "entry", "sprite", "glyph", "values", "picture", "table", "list", "sequence"
    int64_t index = 0;         // its place among the items of its kind
    std::string name;          // as the file stores it (shown escaped); empty: none
    int32_t width = -1;        // a picture's size; -1: not a picture
    int32_t height = -1;
    int64_t count = -1;        // colours used, values, frames or rows; -1: none
    const char* counted = "";  // what count counts ("colours", "frames", ...)
    int32_t palette = -1;      // an archive entry's palette; -1: none
    std::string detail;        // anything else, in words ("run-length", "raw", "code 65")
};

struct Listing {
    bool quick = false;  // asked for names and sizes only: pixels are not walked (no colours counted)
    const char* type = "";
    int64_t size = 0;
    std::vector<ListedItem> items;
};

// The record the converter shows an item's outputs under ("entry 3",
// "glyph 12"; the whole file: empty), as the folder's record names it.
std::string shownAs(const ListedItem& item);
