// How the colours of an edited picture come back: by colour, not by their
// place in the picture's colour table, since editors reorder, shorten and
// merge tables as they save. What comes back is what the edited picture
// shows; an edit the format cannot keep is counted, for a note.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pictures/bmp.h"

// The table an output picture was made with, and what its format can keep.
struct PictureTable {
    ColourTable colours{};          // the colours the picture was written with
    int32_t count = 256;            // its entries (16 for a 4-bit glyph)
    bool own = false;               // the format stores this table with the picture: it may be
                                    // recoloured, and a new colour may take an entry nobody uses
    std::array<bool, 256> taken{};  // entries a new colour may not take (the transparent stand-in,
                                    // entries other pictures of the same table use); new ones are added
};

struct ColourRead {
    std::vector<uint8_t> indexes;  // one a pixel, top row first, into table
    ColourTable table{};           // what to store: the original unless recoloured or given new colours
    bool recoloured = false;       // the picture's table kept its length and order, entries changed:
                                   // taken as it stands (own tables)
    bool tableIgnored = false;     // the same, for a table the format does not take from the picture
    int newColours = 0;            // entries given a colour the table did not hold
    int64_t forced = 0;            // pixels given the nearest colour the table holds
    int64_t hidden = 0;            // pixels changed where they are not stored (transparent)
};

// Reads the colours of picture back into the terms of table:
//  - a table the editor left as it was (the same colours in the same places)
//    gives each pixel its index as it stands;
//  - an own table whose entries changed while every stored pixel kept its
//    original index is a deliberate recolour, taken as it stands;
//  - otherwise each pixel goes back to the index of its colour: a pixel
//    whose colour is unchanged (original, when the size is unchanged) keeps
//    its original index, so duplicate colours never swap; a new colour takes
//    an entry no pixel uses (own tables), or else the nearest colour held.
// stored, when given, holds a mask value per pixel: pixels of mask 0 are not
// stored (transparent) and need no colour.
void readColours(const BmpPicture& picture, const uint8_t* original, const uint8_t* stored, PictureTable& table,
                 ColourRead& read);

// Notes on standard error what of an edited picture's colours could not be
// kept: pixels forced to the nearest colour of `heldBy` (what holds the
// picture's colours), and a changed table the format does not take from the
// picture; hint says what to edit instead (empty: nothing can).
void noteColours(const std::string& imagePath, const ColourRead& read, const std::string& heldBy,
                 const std::string& hint);
// heldBy for a picture's own table, which a new colour finds full.
extern const char* const kFullTable;
