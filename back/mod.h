// The mod folder of assetpack (--output) and its record of the files
// assetpack wrote there: read at the start of the run, written back at its
// end. assetpack replaces or removes only a file it wrote whose bytes are
// still what it wrote; any other file at a rebuilt file's name is left as it
// is and named.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "store/outputs.h"

struct ModFolder {
    bool on = false;
    std::string root;
    Hash128 previousHash;  // of its record's text as read (zero: none)
    std::map<std::string, RecordedOutput> files;  // by path below root
    bool newer = false;    // its record was written by a newer version: never rewritten
    intptr_t held = 0;     // this run's hold on the folder
    mutable std::mutex lock;
};

extern const char* const kNotOurs;  // "not written by assetpack, or changed since it was: kept ..."

// Takes the mod folder for this run (another run packing there is waited
// for) and reads its record into mod; a record that cannot be trusted is
// named, and then no file there counts as assetpack's.
void beginModFolder(ModFolder& mod, const std::string& root, bool dryRun);
// Writes it back; false, having said why, when it could not be written.
bool endModFolder(ModFolder& mod, bool dryRun);
// The path of a file below the current run's mod folder ("/" between
// names); empty when it is not below it (or there is none).
std::string belowMod(const std::string& path);
// True when the file at path is one assetpack wrote into the mod folder and
// still holds what it wrote.
bool ownedInMod(const std::string& path);
// Forgets (written null), or notes, a file of the mod folder.
void recordInMod(const std::string& path, const RecordedOutput* written);
// True when the mod folder's file at out's name is one assetpack wrote with
// exactly out's bytes: a rerun of the same edits leaves it as it is.
bool heldInMod(const OutputFile& out);
// Removes a rebuild that is now its original from the mod folder.
void takeBackFromMod(const OutputFile& out);
// True when the mod folder's record lists the file at path.
bool modFolderLists(const ModFolder& mod, const std::string& path);
// The paths the mod folder's record lists ("/" between names).
std::vector<std::string> modFolderFiles(const ModFolder& mod);
// For an original that is gone, or is no file any more, while the mod
// folder's record lists its rebuilt file: that file is removed when it is
// still what assetpack wrote (with a note); kept and named when it changed.
bool removeGoneRebuilt(const std::string& original);
// For an original whose edits folder is gone (handled says so) while the mod
// folder's record lists its rebuilt file: that file is removed when it is
// still what assetpack wrote (with a note); true unless it was changed
// since (then it is kept, and named).
bool removeStaleRebuilt(const std::string& original, bool& handled);
