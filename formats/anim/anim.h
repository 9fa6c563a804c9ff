// ANM animation scripts: a token stream written back as a text script.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/listing.h"

bool extract_ANM(const std::string& path);
// Its sequences and their frame counts, for --list: nothing is written.
bool list_ANM(const std::string& path, Listing& listing);

// One line of a script: a keyword's code, its numbers and texts in line order.
struct AnmToken {
    int32_t code = 0;
    std::vector<int64_t> numbers;
    std::string texts[3];
    int line = 0;
};
// Parses an edited script; false, with why naming the line, when a line
// cannot be read as the converter prints tokens.
bool parseAnmScript(const std::string& script, std::vector<AnmToken>& tokens, std::string& why);
// Rebuilds a script from its original and its edited text, as
// FILE.packed.ANM beside it.
bool pack_ANM(const std::string& path);
