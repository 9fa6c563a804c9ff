// The record an output folder keeps of what was written into it: the tool,
// the input it was made from, and every output with its size and content
// hash, as JSON in ".assetdump.json" beside the outputs. A rerun reads it
// back to tell the user's edits from what the tool wrote. The hash is for
// change detection only (XXH3, 128 bits), not for security.
//
// A record travels with shared folders, so it is input like any other: a
// name in it must name one file of its folder, and a record that cannot be
// read whole and trusted is "spoiled": the folder is then treated as holding
// edits (nothing that differs is replaced or removed without --force).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/hash.h"
#include "platform/platform.h"

extern const char* const kRecordName;  // ".assetdump.json"
extern const char* const kLockName;    // ".assetdump.lock": where a folder is held on Windows
// The record's format: written into every record; a newer one is never
// trusted or rewritten by this version.
constexpr int64_t kRecordFormat = 2;
// True for the record's and the folder lock's names: never listed,
// converted or read back as an edit.
bool isRecordName(const std::string& name);

struct RecordedOutput {
    std::string name;   // the file's name in the folder (a mod record: its path below the folder, "/" between names)
    int64_t size = 0;
    Hash128 hash;
    std::string shows;  // the record of the input it shows ("entry 12", "glyph 3", "file")
    int64_t mtime = 0;  // the file's modification time as placed (ns since 1970; 0: not known)
    // While a run replaces the file: the bytes it held before (size -1: none).
    // Either version is the tool's own until the run settles the record.
    int64_t beforeSize = -1;
    Hash128 beforeHash;
};

struct FolderRecord {
    int64_t format = kRecordFormat;
    std::string tool, version;
    std::string formats;    // the picture and palette formats the outputs were written in ("bmp raw"); empty: none
    std::string inputName;  // the input's own name
    FileStamp input;        // its stamp when it was converted (size -1: no input)
    Hash128 inputHash;      // of the whole input, or past kWholeHashLimit of its two ends
    std::vector<RecordedOutput> outputs;  // sorted by name, each name once
};

// True when a file of size and hash is one the record says the tool wrote
// (or was replacing).
bool writtenByTool(const RecordedOutput& o, int64_t size, const Hash128& hash);

// The record as JSON text, fields in a fixed order so equal records are
// equal bytes, handed to put a line at a time (a long record is never held
// whole). A name that is not UTF-8 is kept exactly in "name_bytes" (its
// bytes in hexadecimal), beside a "name" with U+FFFD in their place.
void writeRecordText(const FolderRecord& record, const std::function<void(const std::string&)>& put);
std::string recordText(const FolderRecord& record);
// The hash of that text: equal hashes, equal records.
Hash128 recordHash(const FolderRecord& record);
// Reads a record back; false, with why, for text that is not a whole record
// of a known format with names that each stand for one file of the folder
// (for assetpack's mod record: one path below it, "/" between names).
bool parseRecord(const std::string& text, FolderRecord& record, std::string& why);

enum class RecordRead { Missing, Trusted, Spoiled, Stopped };
// Reads the record in folder (never through a link), a piece at a time, and
// the hash of its text. Missing when nothing has its name; Spoiled, with
// why, when something does that is not a record this version can trust.
// With each, the outputs are handed to it one by one as they are read
// instead of being kept (their names checked, but not against each other);
// Stopped when it returns false.
RecordRead loadRecord(const std::string& folder, FolderRecord& record, std::string& why, Hash128* textHash = nullptr,
                      const std::function<bool(const RecordedOutput&)>& each = {});
// A text as a JSON string, quoted and escaped; bytes that are not UTF-8 become U+FFFD.
std::string jsonText(const std::string& text);
// The output of a record by name; null when it lists none.
const RecordedOutput* findOutput(const FolderRecord& record, const std::string& name);

// The hash of a whole file (read through the bounds-checked reader); false
// when it cannot be read.
bool hashFile(const std::string& path, int64_t& size, Hash128& hash);
// The identity of an input: the hash of the whole file up to this size, and
// of its first and last half of it beyond, so that a huge input costs no more
// to recognise than this.
constexpr int64_t kWholeHashLimit = int64_t(256) << 20;
bool hashInput(const std::string& path, int64_t& size, Hash128& hash);
