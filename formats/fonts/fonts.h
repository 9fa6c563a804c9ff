// Bitmap fonts: FNT (16 shades, 4-bit images), FNC (palettised, run-length
// coded, with masks) and FNM (three levels drawn with the mask palette).
#pragma once

#include <string>

bool extract_FNT(const std::string& path);
bool extract_FNC(const std::string& path);
bool extract_FNM(const std::string& path);
