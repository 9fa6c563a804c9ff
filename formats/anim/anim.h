// ANM animation scripts: a token stream written back as a text script.
#pragma once

#include <string>

bool extract_ANM(const std::string& path);
