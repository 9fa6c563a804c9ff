// Data files: SEC numeric tables and ZOM picture sets.
#pragma once

#include <string>

bool extract_SEC(const std::string& path);
bool extract_ZOM(const std::string& path);
