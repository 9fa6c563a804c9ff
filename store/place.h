// Where an input's outputs go: its output folder, the folder its edits are
// read from and its rebuilt file, beside it or below the folders given with
// --output and --edits. Decided once per input, when it is collected; the
// converters ask outputs.h, which answers from this decision.
#pragma once

#include <string>

// The folders given on the command line.
struct PlaceRule {
    std::string output;  // --output: outputs (assetdump) or rebuilt files (assetpack) below it
    std::string edits;   // --edits (assetpack): the output folders are read from below it
};

struct Placement {
    std::string folder;   // assetdump: the input's output folder
    std::string edits;    // assetpack: the folder its edited outputs are read from
    std::string rebuilt;  // assetpack: the rebuilt file
    std::string root;     // --output, which folder or rebuilt lies below; empty: beside the input
    std::string walked;   // the folder a walk found the input in: outputs beside it never pass a link below it
    bool skipUnchanged = false;  // assetpack: write no rebuild that is its original
    // Two inputs with the same key would write to one place (empty: below
    // no --output, where each input's place is its own).
    std::string key;
};

// The outputs of input, found at layout (its path below the argument, led by
// the argument's own name; empty: none) in a walk.
Placement placeConversion(const PlaceRule& rule, const std::string& input, const std::string& layout);
// The rebuild of original; editsGiven is the output folder when that was the
// argument (empty otherwise).
Placement placePacking(const PlaceRule& rule, const std::string& original, const std::string& layout,
                       const std::string& editsGiven);
// The original an output folder was made from: its path less ".FILES".
std::string originalOf(const std::string& outputFolder);

// a, a separator, b; b alone when a is empty.
std::string joinPath(const std::string& a, const std::string& b);
