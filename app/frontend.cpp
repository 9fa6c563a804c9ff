#include "app/frontend.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "common/report.h"
#include "output/names.h"
#include "output/outputs.h"
#include "platform/platform.h"

const char* szCommand = "<not yet set>";

namespace {

// --- Classification by name ---

// c against an upper-case letter, either case; anything else matches only itself.
bool equals(char c, char letter)
{
    return c == letter || (letter >= 'A' && letter <= 'Z' && c == letter + 32);
}

// The file kind of the three letters that end text[0..length); 0 when none fits.
int extensionKind(const std::string& text, size_t length)
{
    char a = text[length - 3], b = text[length - 2], c = text[length - 1];
    if (equals(a, 'W'))
        return equals(b, 'A') && equals(c, 'D') ? kWad : kUnknown;
    if (equals(a, 'S'))
        return equals(b, 'E') && equals(c, 'C') ? kSec : kUnknown;
    if (equals(a, 'R')) {
        if (!equals(b, 'L'))
            return kUnknown;
        if (equals(c, 'E'))
            return kRle;
        if (equals(c, 'C'))
            return length >= 4 && equals(text[length - 4], 'A') ? kArlc : kRlc;
        return kUnknown;
    }
    if (equals(a, 'Z'))
        return equals(b, 'O') && equals(c, 'M') ? kZom : kUnknown;
    if (equals(a, 'F')) {
        if (!equals(b, 'N'))
            return kUnknown;
        if (equals(c, 'C'))
            return kFnc;
        if (equals(c, 'M'))
            return kFnm;
        if (equals(c, 'T'))
            return kFnt;
        return kUnknown;
    }
    if (equals(a, 'A'))
        return equals(b, 'N') && equals(c, 'M') ? kAnm : kUnknown;
    return kUnknown;
}

const char* const kKnownTypes = "WAD, SEC, RLE, RLC, ARLC, ZOM, FNT, FNC, FNM or ANM";

// A name of more than four characters whose type the tool knows; 0 otherwise.
int fileKind(const std::string& name)
{
    return name.size() > 4 ? extensionKind(name, name.size()) : kUnknown;
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

// The kind of an output folder by its name: more than four characters must
// stand before ".FILES".
int folderKind(const std::string& name)
{
    const size_t length = name.size() - std::string(extracted).size();
    const int kind = isOutputFolderName(name) && length > 4 ? extensionKind(name, length) : kUnknown;
    return kind == kUnknown ? kUnknown : kind - 10;
}

// A path as typed, without the separators that may end a folder's name
// ("DATA.WAD.FILES/", as shell completion writes it).
std::string withoutTrailingSeparators(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && isPathSeparator(p.back()) && !(p.size() == 3 && p[1] == ':'))
        p.pop_back();
    return p;
}

// --- Options ---

struct Options {
    std::string output;  // --output
    std::string edits;   // --edits (assetpack)
    unsigned jobs = 0;   // --jobs; 0: as many as the machine has cores
    unsigned helpers = 1;  // threads one file may use: every worker when it is alone
    bool help = false, version = false;
};

enum OptionId { kHelp, kVersion, kOutput, kJobs, kEdits };
struct OptionEntry {
    char shortName;
    const char* longName;
    bool takesValue;
    bool packerOnly;
    OptionId id;
};
const OptionEntry kOptionTable[] = {
    {'h', "help", false, false, kHelp},   {0, "version", false, false, kVersion},
    {'o', "output", true, false, kOutput}, {'j', "jobs", true, false, kJobs},
    {'e', "edits", true, true, kEdits},
};
constexpr unsigned kMaxJobs = 256;

// Reads the options that stand before the paths ("--" ends them); the index
// of the first path, or -1 with why set.
int readOptions(const std::vector<std::string>& args, const Program& program, Options& options, std::string& why)
{
    size_t i = 1;
    for (; i < args.size(); i++) {
        const std::string& arg = args[i];
        if (arg == "--")
            return int(i + 1);
#ifdef _WIN32
        if (arg == "/?") {
            options.help = true;
            continue;
        }
#endif
        if (arg.size() < 2 || arg[0] != '-')
            break;
        const OptionEntry* entry = nullptr;
        std::string value;
        bool hasValue = false;
        if (arg[1] == '-') {
            const size_t equalsAt = arg.find('=');
            const std::string name = arg.substr(2, equalsAt == std::string::npos ? std::string::npos : equalsAt - 2);
            for (const OptionEntry& s : kOptionTable)
                if (name == s.longName && (program.packer || !s.packerOnly))
                    entry = &s;
            if (entry && equalsAt != std::string::npos) {
                if (!entry->takesValue) {
                    why = "option --" + name + " takes no value";
                    return -1;
                }
                value = arg.substr(equalsAt + 1);
                hasValue = true;
            }
        } else {
            for (const OptionEntry& s : kOptionTable)
                if (arg[1] == s.shortName && (program.packer || !s.packerOnly))
                    entry = &s;
            if (entry && arg.size() > 2) {
                if (!entry->takesValue) {
                    entry = nullptr;  // "-hx": not an option this tool has
                } else {
                    value = arg.substr(2);  // "-oDIR", "-j4"
                    hasValue = true;
                }
            }
        }
        if (!entry) {
            why = "unknown option " + escapeControls(arg);
            return -1;
        }
        const std::string shown = arg[1] == '-' ? std::string("--") + entry->longName : std::string("-") + entry->shortName;
        if (entry->takesValue && !hasValue) {
            if (i + 1 >= args.size()) {
                why = "option " + shown + " needs a value";
                return -1;
            }
            value = args[++i];
        }
        switch (entry->id) {
        case kHelp: options.help = true; break;
        case kVersion: options.version = true; break;
        case kOutput:
        case kEdits:
            if (value.empty()) {
                why = "option " + shown + " needs a folder";
                return -1;
            }
            (entry->id == kOutput ? options.output : options.edits) = withoutTrailingSeparators(value);
            break;
        case kJobs: {
            char* end = nullptr;
            errno = 0;
            const unsigned long n = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end || errno || value[0] == '-' || n < 1 || n > kMaxJobs) {
                why = "option " + shown + " needs a number of workers from 1 to " + std::to_string(kMaxJobs) +
                      ", not " + escapeControls(value);
                return -1;
            }
            options.jobs = unsigned(n);
            break;
        }
        }
    }
    return int(i);
}

// --- The files of a run ---

struct Job {
    std::string input;   // what is converted: a file, or an output folder
    std::string shown;   // its name on the result line
    int kind = kUnknown;
    std::string why;     // for kUnknown: why it fails
    std::string layout;  // its place below --output and --edits (empty: beside itself)
    std::string edits;   // assetpack: its output folder, when given as an argument
    // Filled in by its conversion:
    bool ok = false;
    bool unchanged = false;
    ReportSink report;
};

struct Collected {
    std::deque<Job> jobs;
    unsigned long skipped = 0;  // files of a walk the program has nothing to do with
};

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    return isPathSeparator(folder.back()) ? folder + name : folder + kPathSeparator + name;
}

// The shown name of a walked file: the argument's own name, then the path
// below it, always with "/" so that both builds print the same lines.
std::string joinShown(const std::string& base, const std::string& name)
{
    return base.empty() || base.back() == '/' ? base + name : base + "/" + name;
}

// Where a file's outputs (or its edits) are looked for in a walk.
std::string editsOf(const Options& options, const std::string& input, const std::string& layout)
{
    return options.edits.empty() ? input + extracted : joinPath(options.edits, layout) + extracted;
}

// A file of a walk (found is null), or an argument that is not a folder
// (found says what it is).
void addFile(Collected& run, const Program& program, const Options& options, const std::string& input,
             const std::string& shown, const std::string& layout, const Classified* found)
{
    Job job;
    job.input = input;
    job.shown = shown;
    job.layout = layout;
    if (found) {
        job.kind = found->kind;
        job.why = found->why;
    } else {
        job.kind = fileKind(getName(input));
        std::string what;
        if (job.kind == kUnknown ||
            (program.packer && linkKind(editsOf(options, input, layout), what) == PathKind::Missing)) {
            run.skipped++;
            return;
        }
    }
    run.jobs.push_back(std::move(job));
}

// Every file below folder, in sorted order; output folders and temporaries
// are never entered, links to folders never followed.
void walk(Collected& run, const Program& program, const Options& options, const std::string& folder,
          const std::string& shown, const std::string& layout)
{
    std::vector<std::string> names;
    errno = 0;
    if (!listDirectory(folder, names)) {
        Job job;
        job.input = folder;
        job.shown = shown;
        job.why = "cannot be read: " + systemReason(errno ? errno : EIO);
        run.jobs.push_back(std::move(job));
        return;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (name == "." || name == ".." || isTemporaryName(name))
            continue;
        const std::string path = joinPath(folder, name);
        std::string what;
        PathKind kind = linkKind(path, what);
        if (kind == PathKind::Link && pathKind(path, what) == PathKind::Regular)
            kind = PathKind::Regular;  // a link to a file is read like the file
        if (kind == PathKind::Directory) {
            if (!isOutputFolderName(name))
                walk(run, program, options, path, joinShown(shown, name), joinPath(layout, name));
        } else if (kind == PathKind::Regular) {
            addFile(run, program, options, path, joinShown(shown, name), joinPath(layout, name), nullptr);
        } else {
            run.skipped++;  // links to folders, FIFOs, devices
        }
    }
}

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
    if (kind != PathKind::Directory) {
        const Classified found = classify(path, kind, what);
        addFile(run, program, options, path, shown, base, &found);
        return;
    }
    if (isOutputFolderName(base)) {
        Job job;
        job.input = path;
        job.shown = shown;
        job.kind = folderKind(base);
        job.layout = base.substr(0, base.size() - std::string(extracted).size());
        job.edits = path;
        if (job.kind == kUnknown)
            job.why = program.packer ? std::string("an output folder, but of no file whose name ends in ") + kKnownTypes
                                     : "an output folder: only the folders of WAD archives are listed";
        run.jobs.push_back(std::move(job));
        return;
    }
    const size_t before = run.jobs.size();
    // "." and ".." have no name of their own: their files land directly in --output.
    const std::string layout = base == "." || base == ".." || isPathSeparator(base.back()) ? "" : base;
    walk(run, program, options, path, shown, layout);
    if (run.jobs.size() == before) {
        Job job;
        job.input = path;
        job.shown = shown;
        job.why = program.packer ? "nothing to put back: no file below it has a .FILES folder"
                                 : std::string("nothing to convert: no file below it has a name ending in ") +
                                       kKnownTypes;
        run.jobs.push_back(std::move(job));
    }
}

// With --output, two files that would share an output folder (or rebuilt
// file): the later fails, naming the earlier.
void refuseSharedPlaces(Collected& run, const Program& program, const Options& options)
{
    if (options.output.empty())
        return;
    std::map<std::string, const Job*> owners;
    for (Job& job : run.jobs) {
        if (job.kind == kUnknown || (!program.packer && isFolderKind(job.kind)))
            continue;
        const std::string place = joinPath(options.output, job.layout) + (program.packer ? "" : extracted);
        auto [it, added] = owners.emplace(foldedName(place), &job);
        if (added)
            continue;
        job.why = (program.packer ? "its rebuilt file would be " : "its outputs would go to ") + shownPath(place) +
                  ", as those of " + shownPath(it->second->input) + ", given before it";
        job.kind = kUnknown;
    }
}

// --- Converting ---

void convertJob(Job& job, const Program& program, const Options& options)
{
    useReportSink(&job.report);
    OutputPlace place;
    // Under --output by its layout: a file, and for assetpack an output
    // folder too (its original's name); a listed folder writes nothing.
    if (!options.output.empty() && !job.layout.empty() && job.kind != kUnknown &&
        (program.packer || !isFolderKind(job.kind))) {
        place.root = options.output;
        if (program.packer) {
            place.rebuilt = joinPath(options.output, job.layout);
            place.skipUnchanged = true;
        } else {
            place.folder = joinPath(options.output, job.layout) + extracted;
        }
    }
    place.helpers = options.helpers;
    if (program.packer)
        place.edits = !job.edits.empty() ? job.edits : options.edits.empty() ? "" : editsOf(options, job.input, job.layout);
    beginOutputs(&place);
    bool ok = false;
    try {
        ok = program.convert(job.kind, job.input);
        if (!ok && job.kind == kUnknown)
            reportProblem(job.input.empty() ? job.shown : job.input, job.why);
    } catch (const std::bad_alloc&) {
        ok = false;
        place.failed++;  // what was being written is not whole: a new folder goes
        reportProblem(job.input, "out of memory");
    } catch (const std::exception& e) {
        ok = false;
        place.failed++;
        reportProblem(job.input, e.what());
    }
    ok = finishOutputs() && ok;
    if (!ok && job.report.problems == 0)
        reportProblem(job.input, "failed");  // never reached by a converter that says why
    job.ok = ok;
    job.unchanged = place.unchanged;
    useReportSink(nullptr);
}

bool writeAll(FILE* stream, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
}

// The progress line on a terminal: files done of all, and the one in work.
// Drawn only once the run has taken a second, and always cleared before
// anything else is written, so it never mixes with other lines.
struct Progress {
    bool on = false;
    std::mutex lock;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    size_t done = 0, total = 0;
    std::string current;
    size_t drawn = 0;  // characters on the line now

    void clear()
    {
        if (drawn) {
            std::string blank(drawn + 2, ' ');
            blank.front() = blank.back() = '\r';
            writeAll(stderr, blank);
        }
        drawn = 0;
    }
    void draw()
    {
        if (!on || std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
            return;
        std::string line(1, '[');
        line += std::to_string(done);
        line += '/';
        line += std::to_string(total);
        line += "] ";
        line += escapeControls(current);
        // Cut to the width, at a character's start, so the line never wraps.
        const size_t width = size_t(std::max(terminalColumns() - 1, 10));
        size_t characters = 0, at = 0;
        for (; at < line.size(); at++)
            if ((static_cast<unsigned char>(line[at]) & 0xC0) != 0x80 && ++characters > width)
                break;
        line.resize(at);
        clear();
        writeAll(stderr, line);
        drawn = characters > width ? width : characters;
    }
};

}  // namespace

Classified classify(const std::string& path, PathKind kind, const std::string& what)
{
    const std::string name = getName(withoutTrailingSeparators(path));
    switch (kind) {
    case PathKind::Missing:
        return {kUnknown, systemReason(errno ? errno : ENOENT)};
    case PathKind::Other:
    case PathKind::Link:
        return {kUnknown, "not a regular file: it is " + what};
    case PathKind::Regular: {
        const int type = fileKind(name);
        if (type == kUnknown)
            return {kUnknown, std::string("unknown file type: the name does not end in ") + kKnownTypes};
        return {type, ""};
    }
    case PathKind::Directory:
        break;
    }
    const int type = folderKind(name);
    if (type == kUnknown)
        return {kUnknown, std::string("a folder, not a file: give a file whose name ends in ") + kKnownTypes};
    return {type, ""};
}

int runFrontEnd(int argc, char** argv, const Program& program)
{
    prepareProcess();
    const std::vector<std::string> args = commandArguments(argc, argv);
    static std::string command;
    command = args.empty() ? std::string(szCommand) : args[0];
    szCommand = command.c_str();
    const std::string self = getName(szCommand);
    const std::string usage = "USAGE: " + self + " <filename> [<filename> ...]\n";
    const std::string pointer = "try '" + self + " --help'";

    Options options;
    std::string why;
    const int first = readOptions(args, program, options, why);
    auto usageError = [&](const std::string& text) {
        writeAll(stderr, usage + text + "\n");
        writeAll(stdout, "\n");
        consolePause();
        return 1;
    };
    if (first < 0)
        return usageError(why + "; " + pointer);
    if (options.help)
        return writeAll(stdout, program.help) ? 0 : 2;
    if (options.version)
        return writeAll(stdout, std::string(program.name) + " " ASSETDUMP_VERSION "\n") ? 0 : 2;
    if (size_t(first) >= args.size())
        return usageError("Try '" + self + " --help' for more information.");

    catchInterrupts(removeTemporariesForInterrupt);
    Collected run;
    for (size_t i = size_t(first); i < args.size(); i++)
        collect(run, program, options, args[i]);
    refuseSharedPlaces(run, program, options);

    std::deque<Job>& jobs = run.jobs;
    unsigned workers = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    // One file alone uses every worker for the independent parts of itself.
    options.helpers = jobs.size() == 1 ? workers : 1;
    workers = unsigned(std::min<size_t>(workers, jobs.size()));

    Progress progress;
    progress.on = errorIsTerminal();
    progress.total = jobs.size();

    // Workers take the files in order, at most kAhead beyond the one printed
    // next, so that results wait in memory only that far.
    constexpr size_t kAhead = 1024;
    std::mutex lock;
    std::condition_variable changed;
    size_t next = 0, printed = 0;
    std::vector<char> done(jobs.size(), 0);
    std::vector<std::thread> pool;
    auto work = [&] {
                for (;;) {
                    size_t k;
                    {
                        std::unique_lock<std::mutex> hold(lock);
                        changed.wait(hold, [&] { return next >= jobs.size() || next < printed + kAhead; });
                        if (next >= jobs.size())
                            return;
                        k = next++;
                    }
                    convertJob(jobs[k], program, options);
                    {
                        std::lock_guard<std::mutex> hold(lock);
                        done[k] = 1;
                    }
                    changed.notify_all();
                }
            };
    // A thread that cannot be started (no address space left) leaves its
    // share to the others, or to this one.
    for (unsigned w = 0; workers > 1 && w < workers; w++)
        try {
            pool.emplace_back(work);
        } catch (const std::exception&) {
            break;
        }
    std::atomic<bool> finished{false};
    std::thread ticker;
    if (progress.on)
        try {
            ticker = std::thread([&] {
                while (!finished) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    std::lock_guard<std::mutex> hold(progress.lock);
                    progress.draw();
                }
            });
        } catch (const std::exception&) {
            // no ticker: the line is drawn as files finish
        }

    // Result lines for a file or pipe are written in batches: soon after
    // they are ready (before waiting for a slow file, and at least every
    // 50 ms), and always before the problem lines that follow them.
    bool reported = true;
    const bool batched = !outputIsTerminal();
    std::string pending;
    auto lastWrite = std::chrono::steady_clock::now();
    auto writeOut = [&] {
        if (!pending.empty())
            reported = writeAll(stdout, pending) && reported;
        pending.clear();
        lastWrite = std::chrono::steady_clock::now();
    };
    unsigned long converted = 0, failed = 0, unchanged = 0;
    for (size_t k = 0; k < jobs.size(); k++) {
        Job& job = jobs[k];
        {
            std::lock_guard<std::mutex> hold(progress.lock);
            progress.current = job.shown;
        }
        if (!pool.empty()) {
            std::unique_lock<std::mutex> hold(lock);
            if (!done[k]) {
                hold.unlock();
                writeOut();
                hold.lock();
            }
            changed.wait(hold, [&] { return done[k] != 0; });
        } else {
            convertJob(job, program, options);
        }
        {
            std::lock_guard<std::mutex> hold(progress.lock);
            progress.clear();
            if (!job.report.err.empty()) {
                writeOut();
                writeAll(stderr, job.report.err);
            }
            pending += job.report.out + escapeControls(job.shown) + (job.ok ? "\tDONE!\n" : "\tFAILED!\n");
            if (!batched || job.report.pause || pending.size() > (64 << 10) ||
                std::chrono::steady_clock::now() - lastWrite > std::chrono::milliseconds(50))
                writeOut();
            progress.done = k + 1;
            progress.draw();
        }
        if (job.report.pause)
            consolePause();
        (job.ok ? (job.unchanged ? unchanged : converted) : failed)++;
        job = Job();  // its lines are out: nothing of it need stay
        {
            std::lock_guard<std::mutex> hold(lock);
            printed = k + 1;
        }
        changed.notify_all();
    }
    writeOut();
    for (std::thread& t : pool)
        t.join();
    finished = true;
    if (ticker.joinable())
        ticker.join();
    if (progress.on) {
        progress.clear();
        if (jobs.size() + run.skipped > 1)
            writeAll(stderr, std::string(program.name) + ": " + std::to_string(converted) +
                                 (program.packer ? " packed, " + std::to_string(unchanged) + " unchanged, "
                                                 : " converted, ") +
                                 std::to_string(failed) + " failed, " + std::to_string(run.skipped) + " skipped\n");
    }
    reported = writeAll(stdout, "\n") && reported;
    consolePause();
    return reported ? 0 : 2;
}
