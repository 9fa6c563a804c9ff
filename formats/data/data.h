// Data files: SEC numeric tables and ZOM picture sets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/listing.h"
#include "common/source.h"

bool extract_SEC(const std::string& path);
bool extract_ZOM(const std::string& path);
// What each file holds, for --list: nothing is written.
bool list_SEC(const std::string& path, Listing& listing);
bool list_ZOM(const std::string& path, Listing& listing);

// Rebuilds a ZOM file from its original and its edited pictures, as
// FILE.packed.ZOM beside it.
bool pack_ZOM(const std::string& path);

// Encodes an edited SEC listing into out (the file less whatever follows its
// tables, which starts at tailAt in the original). A number printed as the
// original printed it at the same place keeps the original's bytes, and so
// do the bytes the listing does not show; with no original, those are zero.
// False, with why naming the line, when the listing cannot be read.
bool parseSecListing(const std::string& text, Source* original, std::vector<uint8_t>& out, int64_t& tailAt,
                     std::string& why);
// Rebuilds an SEC file from its original and its edited listing, as
// FILE.packed.SEC beside it.
bool pack_SEC(const std::string& path);
