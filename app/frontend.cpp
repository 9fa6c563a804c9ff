// The program's steps, shared by both programs: options, collection, the
// run, and the end of the run.
#include <algorithm>
#include <atomic>

#include "app/collect.h"
#include "app/options.h"
#include "app/program.h"
#include "app/progress.h"
#include "app/gallery.h"
#include "app/run.h"

#include "store/names.h"
#include "back/mod.h"
#include "store/conversion.h"
#include "platform/platform.h"

const char* szCommand = "<not yet set>";

namespace {

// Exit statuses, as --help and the manual pages tell them.
constexpr int kAllDone = 0, kUsageError = 1, kLinesLost = 2, kSomeFailed = 3;

// A usage error: the usage line and the reason on standard error, status 1;
// nothing on standard output.
int usageError(const std::string& self, const std::string& text)
{
    writeAll(stderr, "USAGE: " + self + " <filename> [<filename> ...]\n" + text + "\n");
    consolePause();
    return kUsageError;
}

// The run's progress, for the last line of an interrupt: the signal reaches
// the program only through a function of no arguments.
std::atomic<Progress*> interruptedRun{nullptr};

// An interrupt: the temporaries go, and on a terminal the progress line is
// finished with how far the run got.
void endForInterrupt()
{
    removeTemporariesForInterrupt();
    Progress* progress = interruptedRun;
    if (!progress || !progress->on)
        return;
    // The printer may hold the lock while it dies with the process: the
    // line is written anyway, over whatever the terminal shows.
    const bool held = progress->lock.try_lock();
    const std::string line = "\r\x1b[Kinterrupted: " + std::to_string(progress->done) + " of " +
                             std::to_string(progress->total) + " files done\n";
    writeAll(2, line.data(), line.size());
    if (held)
        progress->lock.unlock();
}

}  // namespace

int runFrontEnd(int argc, char** argv, const Program& given)
{
    Program program = given;
    prepareProcess();
    const std::vector<std::string> args = commandArguments(argc, argv);
    static std::string command;
    command = args.empty() ? std::string(szCommand) : args[0];
    szCommand = command.c_str();
    const std::string self = getName(szCommand);

    Options options;
    std::string why;
    const bool read = readOptions(args, program, options, why);
    askForPause(options.pause);
    if (!read)
        return usageError(self, why + "; try '" + self + " --help'");
    if (options.help)
        return writeAll(stdout, helpText(program)) ? kAllDone : kLinesLost;
    if (options.version)
        return writeAll(stdout, std::string(program.name) + " " ASSETDUMP_VERSION "\n") ? kAllDone : kLinesLost;
    if (options.paths.empty()) {
        // The usage line as it always was: an empty line on standard output.
        const int status = usageError(self, "Try '" + self + " --help' for more information.");
        writeAll(stdout, "\n");
        return status;
    }
    if (!editsFolderUsable(options, why))
        return usageError(self, why);
    if (options.list)
        program.doneWord = "listed";
    const ListForm listForm = !options.list ? ListForm::None : options.json ? ListForm::Json : ListForm::Lines;

    catchInterrupts(endForInterrupt);
    RunContext context;
    context.choices = RunChoices{options.dryRun,      options.force,       options.format,
                                 options.paletteFormat, options.formatGiven, options.paletteFormatGiven};
    setVerbosity(options.quiet ? Verbosity::Quiet : options.verbose ? Verbosity::Verbose : Verbosity::Normal);
    keepFolderLocks();
    ModFolder mod;
    if (program.packer && !options.output.empty()) {
        beginModFolder(mod, options.output, options.dryRun);
        context.mod = &mod;
    }
    Collected run;
    run.mod = context.mod;
    for (const std::string& path : options.paths)
        collect(run, program, options, path);
    refuseSharedPlaces(run, program);
    if (program.packer && options.edits.empty() && !options.output.empty() &&
        std::any_of(run.jobs.begin(), run.jobs.end(), [](const Job& job) { return job.kind != Kind::Unknown; }))
        reportNoteAbout(program.name, "the edits are read from the FILE.FILES folders beside the files, as no -e "
                                      "was given; if they were converted with --output DIR, give -e DIR");

    Progress progress;
    progress.on = errorIsTerminal();
    progress.total = run.jobs.size();
    interruptedRun = &progress;
    Tally tally;
    tally.skipped = run.skipped;
    const size_t files = run.jobs.size();
    RunSettings settings{options.jobs, &context, listForm, nullptr};
    Gallery gallery;
    if (options.gallery && !options.dryRun)
        settings.finished = [&](const Job& job) { galleryAdd(gallery, job); };
    bool reported = listForm != ListForm::Json || writeAll(stdout, kJsonListStart);
    reported = runJobs(run.jobs, program, settings, progress, tally) && reported;
    if (listForm == ListForm::Json)
        reported = writeAll(stdout, kJsonListEnd) && reported;
    if (!endModFolder(mod, options.dryRun))
        reported = false;
    endFolderLocks();
    {
        std::lock_guard<std::mutex> hold(progress.lock);
        clearProgress(progress);
    }
    interruptedRun = nullptr;
    if (options.gallery && !options.dryRun && !writeGallery(gallery, options, program))
        tally.failed++;
    else if (options.gallery && options.dryRun)
        reportNoteAbout(program.name, "no gallery is written in a dry run");
    printSummary(progress, program, tally, files);
    reported = writeAll(stdout, "\n") && reported;
    consolePause();
    return !reported ? kLinesLost : tally.failed ? kSomeFailed : kAllDone;
}
