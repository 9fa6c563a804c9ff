// The command line's options: one table gives each option's names, its
// value and its help line, and serves the parser, --help and the usage
// errors alike.
#pragma once

#include <string>
#include <vector>

#include "app/program.h"
#include "pictures/palette.h"
#include "pictures/png.h"

struct Options {
    std::string output;   // --output
    std::string edits;    // --edits (assetpack)
    unsigned jobs = 0;    // --jobs; 0: as many as the machine has cores
    PictureFormat format = PictureFormat::Bmp;         // --format
    PaletteFormat paletteFormat = PaletteFormat::Raw;  // --palette-format
    bool formatGiven = false, paletteFormatGiven = false;  // a rerun keeps a folder's formats unless told
    bool force = false;   // --force
    bool dryRun = false;  // --dry-run
    bool pause = false;   // --pause
    bool quiet = false;   // --quiet
    bool verbose = false; // --verbose
    bool parents = false; // --parents: each argument keeps the path it was given below --output (and --edits)
    bool list = false;    // --list: what each file holds, nothing written
    bool json = false;    // --json: the list as JSON
    bool gallery = false; // --gallery: pages to see the outputs in a browser
    bool help = false, version = false;
    std::vector<std::string> paths;  // the arguments that are not options
};

// Reads the options and the paths; false with why set on a usage error.
bool readOptions(const std::vector<std::string>& args, const Program& program, Options& options, std::string& why);
// The text of --help: the program's own words around the options table.
std::string helpText(const Program& program);
// False, with why set, for an --edits folder that is missing, not a folder
// or empty: it would pack nothing, or the wrong folders.
bool editsFolderUsable(const Options& options, std::string& why);
// The path an argument keeps below --output with --parents: as given, a
// leading separator (and drive) and "." steps dropped, "/" between names.
std::string parentsLayout(const std::string& path);
// The folders the options give, as the placement rule takes them.
PlaceRule placeRule(const Options& options);

// A path as typed, without the separators that may end a folder's name
// ("DATA.WAD.FILES/", as shell completion writes it).
std::string withoutTrailingSeparators(const std::string& path);
