// assetpack's rebuilt files: where they go, the edits folder they are read
// from, and the rebuilt file compared with its original so that an unedited
// folder writes nothing.
#pragma once

#include <string>

#include "store/outputs.h"

// The folder an input's edited outputs are read from; and where its rebuilt file goes.
std::string editsFolderOf(const std::string& input);
std::string rebuiltPathOf(const std::string& original);
// True when the edits folder of an original is there to be read back; false,
// having said why, when it is missing or a link (never followed).
bool editsFolderReady(const std::string& original);
// Starts the rebuilt file of an original (rebuiltPathOf): never a link, never
// the original itself, and with --output nothing at all while it is the
// original byte for byte.
bool openRebuilt(OutputFile& out, const std::string& original);
