// The option table, its parser and the options section of --help.
#include "app/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"

namespace {

enum class Offered { Both, Packer, Dumper };  // which programs have the option
enum class OptionId { Help, Version, Output, Jobs, Edits, Format, PaletteFormat, Force, DryRun, Quiet, Verbose, Parents, Pause, List, Json, Gallery };

struct OptionEntry {
    char shortName;        // 0: none
    const char* longName;
    const char* value;     // the value's name in --help; null: the option takes none
    Offered offered;
    OptionId id;
    const char* help;        // lines after the first are indented under it
    const char* packerHelp;  // assetpack's own words, where they differ (null: help)
};

const OptionEntry kOptionTable[] = {
    {'e', "edits", "DIR", Offered::Packer, OptionId::Edits,
     "read the FILE.FILES folders from DIR, laid out as\n'assetdump --output DIR' laid them out", nullptr},
    {'o', "output", "DIR", Offered::Both, OptionId::Output,
     "put every output folder under DIR instead of beside its\nfile, each argument by its own name (DIR/game/DATA/\n"
     "HERO.RLE.FILES for the folder game); DIR is made if needed",
     "write each rebuilt file under DIR with its original\nname, laid out the same way (a mod folder); a file\n"
     "whose rebuild is its original byte for byte is not\nwritten (DONE!, counted as unchanged)"},
    {'j', "jobs", "N", Offered::Both, OptionId::Jobs,
     "convert N files at a time (default: one per core); the\nlines printed are the same whatever N is",
     "pack N files at a time (default: one per core)"},
    {0, "format", "FORMAT", Offered::Dumper, OptionId::Format,
     "write pictures as bmp (the default: an image and, for\nsprites, a mask) or png (one picture, its transparency\n"
     "in it); assetpack reads either back", nullptr},
    {0, "palette-format", "FORMAT", Offered::Dumper, OptionId::PaletteFormat,
     "write an archive's palettes as raw (1024-byte tables,\n.PAL, the default), jasc (JASC-PAL text, .PAL), gpl\n"
     "(GIMP, .gpl) or act (Adobe, .act); assetpack reads\nany of them back", nullptr},
    {'l', "list", nullptr, Offered::Dumper, OptionId::List,
     "write nothing: print what each file holds, one line per\npalette, entry, sprite, glyph, picture, table or\n"
     "sequence, tab-separated (see the manual page)", nullptr},
    {0, "json", nullptr, Offered::Dumper, OptionId::Json,
     "with --list, print it as one JSON document instead", nullptr},
    {0, "gallery", nullptr, Offered::Dumper, OptionId::Gallery,
     "after the run, write a gallery of the outputs to open in\na browser: index.html in the --output folder (without\n"
     "--output: in the folder assetdump-gallery here)", nullptr},
    {'f', "force", nullptr, Offered::Both, OptionId::Force,
     "replace outputs edited since they were written (a rerun\nkeeps them otherwise, and says so)",
     "pack edits whose folder was made from another version of\nthe original"},
    {'n', "dry-run", nullptr, Offered::Both, OptionId::DryRun,
     "write, replace and remove nothing: print the result lines\nof a real run, and on standard error each change it\n"
     "would make ('would write PATH', 'would replace PATH',\n'would remove PATH')",
     nullptr},
    {'q', "quiet", nullptr, Offered::Both, OptionId::Quiet,
     "no notes (names given to outputs, originals kept, colours\nrounded); the reasons of failures are always told",
     nullptr},
    {'v', "verbose", nullptr, Offered::Both, OptionId::Verbose,
     "tell, per file, each output written, replaced, kept or\nremoved",
     "tell, per file, each edited output, and each file\nwritten, replaced, kept or removed"},
    {0, "parents", nullptr, Offered::Both, OptionId::Parents,
     "with --output, keep each argument's path as it was given\n(as cp --parents does): 'assetdump -o work --parents\n"
     "game/WALK.ANM' writes work/game/WALK.ANM.FILES, beside\nwhat 'assetdump -o work game' wrote",
     "with --output and --edits, keep each argument's path as\nit was given (as cp --parents does): 'assetpack\n"
     "--parents -e work -o mod game/DATA/HERO.RLE' reads\nwork/game/DATA/HERO.RLE.FILES, writes\n"
     "mod/game/DATA/HERO.RLE"},
    {0, "pause", nullptr, Offered::Both, OptionId::Pause,
     "wait for a key at the end of the run (for launchers and\ndesktop files); without it the run never waits, but on\n"
     "Windows in a console of its own", nullptr},
    {'h', "help", nullptr, Offered::Both, OptionId::Help, "this text", nullptr},
    {0, "version", nullptr, Offered::Both, OptionId::Version, "the version", nullptr},
};
constexpr unsigned kMaxJobs = 256;
constexpr size_t kHelpColumn = 21;  // where an option's help begins

bool offered(const OptionEntry& e, const Program& program)
{
    return e.offered == Offered::Both || (e.offered == Offered::Packer) == program.packer;
}

// The edits that turn a into b (insert, remove, replace one character).
size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The long option a mistyped name most likely meant; null when none is near.
const char* nearestOption(const std::string& name, const Program& program)
{
    const char* best = nullptr;
    size_t bestDistance = 3;  // at most two edits away
    for (const OptionEntry& e : kOptionTable)
        if (offered(e, program) && editDistance(name, e.longName) < bestDistance) {
            bestDistance = editDistance(name, e.longName);
            best = e.longName;
        }
    return best;
}

// The entry of a short option letter; null when the program has none.
const OptionEntry* shortOption(char letter, const Program& program)
{
    for (const OptionEntry& e : kOptionTable)
        if (letter == e.shortName && offered(e, program))
            return &e;
    return nullptr;
}

// The entry a long option names ("--output", "--output=DIR", "--out");
// value and hasValue get what it carries.
const OptionEntry* findOption(const std::string& arg, const Program& program, std::string& value, bool& hasValue,
                              std::string& why)
{
    hasValue = false;
    {
        const size_t equalsAt = arg.find('=');
        const std::string name = arg.substr(2, equalsAt == std::string::npos ? std::string::npos : equalsAt - 2);
        const OptionEntry* found = nullptr;
        bool ambiguous = false;
        for (const OptionEntry& e : kOptionTable) {
            if (!offered(e, program) || std::string(e.longName).compare(0, name.size(), name) != 0)
                continue;
            if (name == e.longName) {  // whole: never ambiguous
                found = &e;
                ambiguous = false;
                break;
            }
            ambiguous = found != nullptr;  // an abbreviation, as getopt_long takes them
            found = &e;
        }
        if (found && !ambiguous && !name.empty()) {
            if (equalsAt != std::string::npos) {
                if (!found->value) {
                    why = std::string("option --") + found->longName + " takes no value";
                    return nullptr;
                }
                value = arg.substr(equalsAt + 1);
                hasValue = true;
            }
            return found;
        }
        why = (ambiguous ? "ambiguous option " : "unknown option ") + escapeControls(arg.substr(0, equalsAt));
        if (const char* near = nearestOption(name, program))
            why += std::string("; did you mean --") + near + "?";
        return nullptr;
    }
}

// Takes an option's value into options; false with why set.
bool applyOption(const OptionEntry& e, const std::string& shown, const std::string& value, Options& options,
                 std::string& why)
{
    switch (e.id) {
    case OptionId::Help: options.help = true; return true;
    case OptionId::Version: options.version = true; return true;
    case OptionId::Force: options.force = true; return true;
    case OptionId::DryRun: options.dryRun = true; return true;
    case OptionId::Pause: options.pause = true; return true;
    case OptionId::Parents: options.parents = true; return true;
    case OptionId::List: options.list = true; return true;
    case OptionId::Json: options.json = true; return true;
    case OptionId::Gallery: options.gallery = true; return true;
    case OptionId::Quiet: options.quiet = true; options.verbose = false; return true;  // the last one given holds
    case OptionId::Verbose: options.verbose = true; options.quiet = false; return true;
    case OptionId::Output:
    case OptionId::Edits:
        if (value.empty()) {
            why = "option " + shown + " needs a folder";
            return false;
        }
        (e.id == OptionId::Output ? options.output : options.edits) = withoutTrailingSeparators(value);
        return true;
    case OptionId::Format:
        if (!pictureFormatNamed(value, options.format)) {
            why = "option " + shown + " needs a format: bmp or png" +
                  (value.empty() ? std::string() : ", not " + escapeControls(value));
            return false;
        }
        options.formatGiven = true;
        return true;
    case OptionId::PaletteFormat:
        if (!paletteFormatNamed(value, options.paletteFormat)) {
            why = "option " + shown + " needs a format: " + kPaletteFormatNames +
                  (value.empty() ? std::string() : ", not " + escapeControls(value));
            return false;
        }
        options.paletteFormatGiven = true;
        return true;
    case OptionId::Jobs: {
        if (value.empty()) {
            why = "option " + shown + " needs a number of workers from 1 to " + std::to_string(kMaxJobs);
            return false;
        }
        char* end = nullptr;
        errno = 0;
        const unsigned long n = std::strtoul(value.c_str(), &end, 10);
        if (value.empty() || *end || errno || value[0] == '-' || n < 1 || n > kMaxJobs) {
            why = "option " + shown + " needs a number of workers from 1 to " + std::to_string(kMaxJobs) +
                  ", not " + escapeControls(value);
            return false;
        }
        options.jobs = unsigned(n);
        return true;
    }
    }
    return true;
}

// Short options, bundled as getopt takes them: "-qv", "-fn", "-qj4", "-j 4",
// "-oDIR"; a letter that takes a value takes the rest of the argument, or
// the next one. false with why set.
bool readShortOptions(const std::vector<std::string>& args, size_t& i, const Program& program, Options& options,
                      std::string& why)
{
    const std::string& arg = args[i];
    for (size_t k = 1; k < arg.size(); k++) {
        const OptionEntry* entry = shortOption(arg[k], program);
        if (!entry) {
            why = "unknown option -" + escapeControls(arg.substr(k, 1)) + (k > 1 ? " in " + escapeControls(arg) : "");
            return false;
        }
        const std::string shown = std::string("-") + entry->shortName;
        if (!entry->value) {
            if (!applyOption(*entry, shown, "", options, why))
                return false;
            continue;
        }
        std::string value;
        if (k + 1 < arg.size()) {
            value = arg.substr(k + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            why = "option " + shown + " needs a value";
            return false;
        }
        return applyOption(*entry, shown, value, options, why);
    }
    return true;
}

}  // namespace

std::string withoutTrailingSeparators(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && isPathSeparator(p.back()) && !(p.size() == 3 && p[1] == ':'))
        p.pop_back();
    return p;
}

std::string parentsLayout(const std::string& path)
{
    std::string layout, step;
    size_t from = path.size() > 1 && path[1] == ':' ? 2 : 0;  // a drive: dropped with the root
    for (size_t at = from; at <= path.size(); at++) {
        if (at < path.size() && !isPathSeparator(path[at])) {
            step += path[at];
            continue;
        }
        if (!step.empty() && step != ".")
            layout += (layout.empty() ? "" : std::string(1, kPathSeparator)) + step;
        step.clear();
    }
    return layout;
}

bool readOptions(const std::vector<std::string>& args, const Program& program, Options& options, std::string& why)
{
    // Options may stand anywhere before "--", as getopt_long permutes them;
    // "-" alone and everything after "--" are paths.
    for (size_t i = 1; i < args.size(); i++) {
        const std::string& arg = args[i];
        if (arg == "--") {
            options.paths.insert(options.paths.end(), args.begin() + std::ptrdiff_t(i + 1), args.end());
            break;
        }
#ifdef _WIN32
        if (arg == "/?") {
            options.help = true;
            continue;
        }
#endif
        if (arg.size() < 2 || arg[0] != '-') {
            options.paths.push_back(arg);
            continue;
        }
        if (arg[1] != '-') {
            if (!readShortOptions(args, i, program, options, why))
                return false;
            continue;
        }
        std::string value;
        bool hasValue = false;
        const OptionEntry* entry = findOption(arg, program, value, hasValue, why);
        if (!entry)
            return false;
        const std::string shown = std::string("--") + entry->longName;
        if (entry->value && !hasValue) {
            if (i + 1 >= args.size()) {
                why = "option " + shown + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!applyOption(*entry, shown, value, options, why))
            return false;
    }
    if (options.json && !options.list) {
        why = "--json is a form of --list; give both";
        return false;
    }
    if (options.list && (options.gallery || options.dryRun || options.force)) {
        why = std::string("--list writes nothing, so ") + (options.gallery ? "--gallery" : options.dryRun ? "--dry-run" : "--force") +
              " cannot go with it";
        return false;
    }
    // With --parents an argument's path is kept below --output: one that
    // climbs out of where it was given (..) could land anywhere.
    for (const std::string& path : options.paths)
        if (options.parents) {
            const std::string layout = parentsLayout(path);
            const std::string wrapped = std::string(1, kPathSeparator) + layout + kPathSeparator;
            if (wrapped.find(std::string(1, kPathSeparator) + ".." + kPathSeparator) != std::string::npos) {
                why = "--parents keeps each path as given, and " + escapeControls(path) + " has a '..' in it";
                return false;
            }
        }
    return true;
}

std::string helpText(const Program& program)
{
    std::string text = program.about;
    text += "\nOptions (anywhere before --, which ends them):\n";
    for (const OptionEntry& e : kOptionTable) {
        if (!offered(e, program))
            continue;
        std::string head = e.shortName ? std::string("  -") + e.shortName + ", " : std::string("      ");
        head += std::string("--") + e.longName;
        if (e.value)
            head += std::string(" ") + e.value;
        if (head.size() >= kHelpColumn)  // too long to share its first line: the help goes below it
            head += "\n";
        head.resize(head.back() == '\n' ? head.size() + kHelpColumn : kHelpColumn, ' ');
        const std::string help = program.packer && e.packerHelp ? e.packerHelp : e.help;
        text += head;
        for (char c : help)
            text += c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, c);
        text += '\n';
    }
    return text + "\n" + program.details +
           "\nExit status: 0 when every file is DONE!; 1 after a usage error (nothing is\n"
           "done); 2 when the result lines could not all be written; 3 when a file is\n"
           "FAILED!. An interrupted run ends by its signal.\n";
}

bool editsFolderUsable(const Options& options, std::string& why)
{
    if (options.edits.empty())
        return true;
    std::string what;
    std::vector<std::string> names;
    const PathKind kind = pathKind(options.edits, what);
    if (kind != PathKind::Directory)
        why = "-e " + shownPath(options.edits) + (kind == PathKind::Missing ? ": no such folder" : ": not a folder");
    else if (listDirectory(options.edits, names) && names.size() <= 2)
        why = "-e " + shownPath(options.edits) + ": the folder is empty";
    return why.empty();
}

PlaceRule placeRule(const Options& options)
{
    return PlaceRule{options.output, options.edits};
}
