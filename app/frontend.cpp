// The program's steps, shared by both programs: options, collection, the
// run, and the end of the run.
#include <algorithm>

#include "app/collect.h"
#include "app/options.h"
#include "app/program.h"
#include "app/progress.h"
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

}  // namespace

int runFrontEnd(int argc, char** argv, const Program& program)
{
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
    if (options.paths.empty())
        return usageError(self, "Try '" + self + " --help' for more information.");
    if (!editsFolderUsable(options, why))
        return usageError(self, why);

    catchInterrupts(removeTemporariesForInterrupt);
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
    Tally tally;
    tally.skipped = run.skipped;
    const size_t files = run.jobs.size();
    bool reported = runJobs(run.jobs, program, RunSettings{options.jobs, &context}, progress, tally);
    if (!endModFolder(mod, options.dryRun))
        reported = false;
    endFolderLocks();
    {
        std::lock_guard<std::mutex> hold(progress.lock);
        clearProgress(progress);
    }
    printSummary(progress, program, tally, files);
    reported = writeAll(stdout, "\n") && reported;
    consolePause();
    return !reported ? kLinesLost : tally.failed ? kSomeFailed : kAllDone;
}
