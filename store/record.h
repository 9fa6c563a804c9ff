// The record an output folder keeps of what was written into it: the tool,
// the input it was made from, and every output with its size and content
// hash, as JSON in ".assetdump.json" beside the outputs. A rerun reads it
// back to tell the user's edits from what the tool wrote. The hash is for
// change detection only (XXH3, 128 bits), not for security.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/hash.h"

extern const char* const kRecordName;  // ".assetdump.json"
// True for the record's name: never listed, converted or read back as an edit.
bool isRecordName(const std::string& name);

struct RecordedOutput {
    std::string name;   // the file's name in the folder (UTF-8)
    int64_t size = 0;
    std::string hash;   // 32 hexadecimal digits
    std::string shows;  // the record of the input it shows ("entry 12", "glyph 3", "file")
    int64_t mtime = 0;  // the file's modification time as placed (ns since 1970; 0: not known)
};

struct FolderRecord {
    std::string tool, version;
    std::string formats;    // the picture and palette formats the outputs were written in ("bmp raw"); empty: none
    std::string inputName;  // the input's own name
    int64_t inputSize = -1;
    std::string inputHash;  // of the whole input, or past kWholeHashLimit of its two ends
    int64_t inputMtime = 0;
    std::vector<RecordedOutput> outputs;  // sorted by name, each name once
};

// The record as JSON text, fields in a fixed order so equal records are
// equal bytes.
std::string recordText(const FolderRecord& record);
// Reads a record back (the caller checks its tool); false for text that is
// not one (the folder is then taken as one without a record). assetpack's
// record of a mod folder has the same form: tool "assetpack", no input, and
// each file it wrote under its path below the folder ("/" between names).
bool parseRecord(const std::string& text, FolderRecord& record);
// Reads the record in folder (never through a link): its text, and the
// record when the text is one. False when there is none to read.
bool loadRecord(const std::string& folder, std::string& text, FolderRecord& record);
// Sorts the outputs by name, keeping the last of each name.
void sortOutputs(FolderRecord& record);
// The output of a record by name; null when it lists none.
const RecordedOutput* findOutput(const FolderRecord& record, const std::string& name);

// The hash of a whole file (read through the bounds-checked reader); false
// when it cannot be read.
bool hashFile(const std::string& path, int64_t& size, std::string& hash);
// The identity of an input: the hash of the whole file up to this size, and
// of its first and last half of it beyond, so that a huge input costs no more
// to recognise than this.
constexpr int64_t kWholeHashLimit = int64_t(256) << 20;
bool hashInput(const std::string& path, int64_t& size, std::string& hash);
