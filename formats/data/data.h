// Data files: SEC numeric tables and ZOM picture sets.
#pragma once

#include <string>

bool extract_SEC(const std::string& path);
bool extract_ZOM(const std::string& path);

// Rebuilds a ZOM file from its original and its edited pictures, as
// FILE.packed.ZOM beside it.
bool pack_ZOM(const std::string& path);
