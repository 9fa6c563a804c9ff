// Collection: classification by name, the walk of folders, and each job's
// destination, decided here once.
#include "app/collect.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <vector>

#include "store/names.h"
#include "back/mod.h"
#include "back/rebuilt.h"
#include "store/outputs.h"
#include "platform/platform.h"

namespace {

// c against an upper-case letter, either case; anything else matches only itself.
bool equals(char c, char letter)
{
    return c == letter || (letter >= 'A' && letter <= 'Z' && c == letter + 32);
}

// The kind of the three letters that end text[0..length); Unknown when none fits.
Kind extensionKind(const std::string& text, size_t length)
{
    const char a = text[length - 3], b = text[length - 2], c = text[length - 1];
    if (equals(a, 'W'))
        return equals(b, 'A') && equals(c, 'D') ? Kind::Wad : Kind::Unknown;
    if (equals(a, 'S'))
        return equals(b, 'E') && equals(c, 'C') ? Kind::Sec : Kind::Unknown;
    if (equals(a, 'R')) {
        if (!equals(b, 'L'))
            return Kind::Unknown;
        if (equals(c, 'E'))
            return Kind::Rle;
        if (equals(c, 'C'))
            return length >= 4 && equals(text[length - 4], 'A') ? Kind::Arlc : Kind::Rlc;
        return Kind::Unknown;
    }
    if (equals(a, 'Z'))
        return equals(b, 'O') && equals(c, 'M') ? Kind::Zom : Kind::Unknown;
    if (equals(a, 'F')) {
        if (!equals(b, 'N'))
            return Kind::Unknown;
        if (equals(c, 'C'))
            return Kind::Fnc;
        if (equals(c, 'M'))
            return Kind::Fnm;
        if (equals(c, 'T'))
            return Kind::Fnt;
        return Kind::Unknown;
    }
    if (equals(a, 'A'))
        return equals(b, 'N') && equals(c, 'M') ? Kind::Anm : Kind::Unknown;
    return Kind::Unknown;
}

// A name of more than four characters whose type the tool knows.
Kind fileKind(const std::string& name)
{
    return name.size() > 4 ? extensionKind(name, name.size()) : Kind::Unknown;
}

// True for the name of an output folder: anything ending in ".FILES", in any case.
bool isOutputFolderName(const std::string& name)
{
    const std::string suffix = extracted;
    if (name.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); i++)
        if (!equals(name[name.size() - suffix.size() + i], suffix[i]))
            return false;
    return true;
}

// The type of an output folder by its name: more than four characters must
// stand before ".FILES".
Kind folderKind(const std::string& name)
{
    const size_t length = name.size() - std::string(extracted).size();
    return isOutputFolderName(name) && length > 4 ? extensionKind(name, length) : Kind::Unknown;
}

// The shown name of a walked file: the argument's own name, then the path
// below it, always with "/" so that both builds print the same lines.
std::string joinShown(const std::string& base, const std::string& name)
{
    return base.empty() || base.back() == '/' ? base + name : base + "/" + name;
}

// Where a job's outputs go: the one decision, made as it is collected.
void place(Job& job, const Program& program, const Options& options, const std::string& editsGiven = "")
{
    if (job.kind == Kind::Unknown)
        return;
    if (program.packer)
        job.place = placePacking(placeRule(options), job.folder ? originalOf(job.input) : job.input, job.layout,
                                 editsGiven);
    else if (!job.folder)
        job.place = placeConversion(placeRule(options), job.input, job.layout);
}

Job failedJob(const std::string& input, const std::string& shown, const std::string& why)
{
    Job job;
    job.input = input;
    job.shown = shown;
    job.why = why;
    return job;
}

// The kind of a path given as an argument, from its own name (not the
// folders before it) and what it names; for Kind::Unknown, job.why says what
// is wrong with it.
void classify(Job& job, PathKind kind, const std::string& what)
{
    const std::string name = getName(withoutTrailingSeparators(job.input));
    switch (kind) {
    case PathKind::Missing:
        job.why = systemReason(errno ? errno : ENOENT);
        return;
    case PathKind::Other:
    case PathKind::Link:
        job.why = "not a regular file: it is " + what;
        return;
    case PathKind::Regular:
        job.kind = fileKind(name);
        if (job.kind == Kind::Unknown)
            job.why = std::string("unknown file type: the name does not end in ") + kKnownTypes;
        return;
    case PathKind::Directory:
        job.kind = folderKind(name);
        job.folder = true;
        if (job.kind == Kind::Unknown)
            job.why = std::string("a folder, not a file: give a file whose name ends in ") + kKnownTypes;
        return;
    }
}

// A file found in a walk: kept when its type is known (and, for assetpack,
// when it has outputs to put back).
void addWalkedFile(Collected& run, const Program& program, const Options& options, const std::string& input,
                   const std::string& shown, const std::string& layout, const std::string& top)
{
    Job job;
    job.input = input;
    job.shown = shown;
    job.layout = layout;
    job.kind = fileKind(getName(input));
    place(job, program, options);
    job.place.walked = top;
    std::string what;
    // assetpack takes a file with edits to put back, or whose rebuilt file in
    // the mod folder is left from edits since removed.
    if (job.kind == Kind::Unknown || (program.packer && linkKind(job.place.edits, what) == PathKind::Missing &&
                                      !(run.mod && modFolderLists(*run.mod, job.place.rebuilt)))) {
        run.skipped++;
        return;
    }
    run.jobs.push_back(std::move(job));
}

// Every file below folder, in sorted order, each folder held open while it
// is listed and descended (parent: the folder holding it; 0 for the
// argument). Output folders and temporaries are never entered, links to
// folders never followed. A file of a known type that cannot be converted
// (a dangling link, a FIFO) and a folder that cannot be entered each get a
// line with the reason; only files of other types are skipped.
void walk(Collected& run, const Program& program, const Options& options, intptr_t parent, const std::string& name,
          const std::string& folder, const std::string& shown, const std::string& layout, const std::string& top)
{
    errno = 0;
    const intptr_t held = openWalkFolder(parent, name, folder);
    std::vector<WalkEntry> entries;
    if (!held || !listWalkFolder(held, folder, entries)) {
        const int error = errno ? errno : EIO;
        closeWalkFolder(held);
        run.jobs.push_back(failedJob(folder, shown, (error == ELOOP ? std::string("became a symbolic link during the "
                                                                                  "walk, and links are never followed")
                                                                    : "cannot be read: " + systemReason(error))));
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const WalkEntry& a, const WalkEntry& b) { return a.name < b.name; });
    for (const WalkEntry& e : entries) {
        if (isTemporaryName(e.name) || isRecordName(e.name))
            continue;
        const std::string path = joinPath(folder, e.name);
        const std::string below = joinShown(shown, e.name);
        std::string what = e.what;
        PathKind kind = e.kind;
        PathKind target = PathKind::Missing;
        int targetError = 0;
        if (kind == PathKind::Link) {
            errno = 0;
            target = pathKind(path, what);
            targetError = errno ? errno : ENOENT;
            if (target == PathKind::Regular)
                kind = PathKind::Regular;  // a link to a file is read like the file
        }
        if (kind == PathKind::Missing && e.error != ENOENT) {
            // Listed, but nothing in it can be looked at (a folder that can
            // be read but not entered): the folder fails, once.
            run.jobs.push_back(failedJob(folder, shown, "cannot be entered: " + systemReason(e.error)));
            break;
        }
        if (kind == PathKind::Directory) {
            if (!isOutputFolderName(e.name))
                walk(run, program, options, held, e.name, path, below, joinPath(layout, e.name), top);
        } else if (kind == PathKind::Regular) {
            addWalkedFile(run, program, options, path, below, joinPath(layout, e.name), top);
        } else if (kind == PathKind::Missing || fileKind(e.name) == Kind::Unknown ||
                   (kind == PathKind::Link && target == PathKind::Directory)) {
            run.skipped++;  // gone since it was listed, of no type the tool knows, or a link to a folder
        } else {
            run.jobs.push_back(failedJob(path, below, kind == PathKind::Link && target == PathKind::Missing
                                                          ? "a symbolic link to nothing: " + systemReason(targetError)
                                                          : "not a regular file: it is " + what));
        }
    }
    closeWalkFolder(held);
}

// assetpack into a mod folder: each file the mod folder's record lists
// below a walked folder whose original is gone, or is no file any more, gets
// a job of its own, which takes it back out of the mod.
void addGoneOriginals(Collected& run, const Program& program, const Options& options, const std::string& path,
                      const std::string& shown, const std::string& layout)
{
    if (!program.packer || !run.mod)
        return;
    const std::string prefix = layout.empty() ? "" : layout + "/";
    for (const std::string& listed : modFolderFiles(*run.mod)) {
        if (listed.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string rest = listed.substr(prefix.size());
        const std::string shownRest = rest;
        for (char& c : rest)
            if (c == '/')
                c = kPathSeparator;
        Job job;
        job.input = joinPath(path, rest);
        std::string what;
        if (linkKind(job.input, what) == PathKind::Regular)
            continue;  // the walk has it
        job.shown = joinShown(shown, shownRest);
        job.layout = joinPath(layout, rest);
        job.kind = fileKind(getName(job.input));
        job.gone = true;
        place(job, program, options);
        if (job.kind != Kind::Unknown)
            run.jobs.push_back(std::move(job));
    }
}

}  // namespace

const char* const kKnownTypes = "WAD, SEC, RLE, RLC, ARLC, ZOM, FNT, FNC, FNM or ANM";

void collect(Collected& run, const Program& program, const Options& options, const std::string& arg)
{
    const std::string path = withoutTrailingSeparators(arg);
    std::string base = getName(path);
    if (base.empty())
        base = path;  // "/"
    const std::string shown = path.empty() ? "\"\"" : base;
    std::string what;
    errno = 0;
    const PathKind kind = pathKind(path, what);
    if (kind != PathKind::Directory || isOutputFolderName(base)) {
        Job job;
        job.input = path;
        job.shown = shown;
        job.layout = options.parents ? parentsLayout(path) : base;
        classify(job, kind, what);
        if (job.folder) {
            job.layout = originalOf(job.layout);
            if (job.kind == Kind::Unknown)
                job.why = program.folderRefused;
        }
        place(job, program, options, job.folder ? path : "");
        run.jobs.push_back(std::move(job));
        return;
    }
    const size_t before = run.jobs.size();
    // "." and ".." have no name of their own: their files land directly in --output.
    const std::string layout = options.parents                                                  ? parentsLayout(path)
                               : base == "." || base == ".." || isPathSeparator(base.back()) ? ""
                                                                                            : base;
    walk(run, program, options, 0, path, path, shown, layout, path);
    addGoneOriginals(run, program, options, path, shown, layout);
    if (run.jobs.size() != before)
        return;
    // The folder the edits were looked for in, and the option that may have been forgotten.
    std::string why = program.nothingBelow;
    if (program.packer)
        why += options.edits.empty() ? " beside it (converted with --output DIR? then give -e DIR)"
                                     : " in " + shownPath(joinPath(options.edits, layout));
    run.jobs.push_back(failedJob(path, shown, why));
}

void refuseSharedPlaces(Collected& run, const Program& program)
{
    std::map<std::string, const Job*> owners;
    std::map<std::string, size_t> given;
    for (size_t k = 0; k < run.jobs.size(); k++) {
        Job& job = run.jobs[k];
        if (job.kind == Kind::Unknown)
            continue;
        // The same file given twice is done once, and its line printed for each.
        auto [first, fresh] =
            given.emplace(job.input + '\0' + job.place.folder + '\0' + job.place.edits + '\0' + job.place.rebuilt, k);
        if (!fresh) {
            job.sameAs = first->second;
            continue;
        }
        if (job.place.key.empty())
            continue;
        auto [it, added] = owners.emplace(job.place.key, &job);
        if (added)
            continue;
        job.why = (program.packer ? "its rebuilt file would be " : "its outputs would go to ") +
                  shownPath(program.packer ? job.place.rebuilt : job.place.folder) + ", as those of " +
                  shownPath(it->second->input) + ", given before it";
        job.kind = Kind::Unknown;
    }
}
