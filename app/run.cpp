// The worker pool, the ordered and batched result lines, and the progress
// ticker (see run.h).
#include "app/run.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <new>
#include <thread>
#include <vector>

#include "store/conversion.h"
#include "platform/platform.h"

namespace {

// Converts the job once; false with raced set when another run put the
// same new output folder in place first.
bool convertOnce(Job& job, const Program& program, const RunSettings& settings, bool& raced, bool& unchanged)
{
    OutputPlace place;
    place.where = job.place;
    place.helpers = settings.workers;
    if (settings.run)
        place.run = settings.run;
    beginOutputs(&place);
    bool ok = false;
    try {
        // A file converted before, untouched since, and its outputs as they were placed: nothing to do.
        if (!program.packer && !job.folder && job.kind != Kind::Unknown && !place.run->choices.force &&
            outputsUpToDate(place, job.input)) {
            beginOutputs(nullptr);
            return true;
        }
        ok = program.convert(job);
        if (!ok && job.kind == Kind::Unknown)
            reportProblem(job.input.empty() ? job.shown : job.input, job.why);
    } catch (const std::bad_alloc&) {
        place.failed++;  // what was being written is not whole: a new folder goes
        reportProblem(job.input, "out of memory");
    } catch (const std::exception& e) {
        place.failed++;
        reportProblem(job.input, e.what());
    }
    ok = finishOutputs(ok) && ok;
    raced = place.raced;
    unchanged = place.unchanged;
    return ok;
}

void convertJob(Job& job, const Program& program, const RunSettings& settings)
{
    if (job.sameAs != SIZE_MAX)
        return;  // the same input given again: its line takes the first one's result
    useReportSink(&job.report);
    bool ok = false, raced = false, unchanged = false;
    if (settings.list != ListForm::None) {
        ok = listJob(job, program, settings.list);
    } else {
        ok = convertOnce(job, program, settings, raced, unchanged);
        if (raced) {
            // Another run made the same new folder first: this one converts
            // again into it, as a rerun, its first lines forgotten.
            job.report = ReportSink();
            useReportSink(&job.report);
            ok = convertOnce(job, program, settings, raced, unchanged);
        }
        tellRenamed();
    }
    if (!ok && job.report.problems == 0)
        reportProblem(job.input, "failed");  // never reached by a converter that says why
    job.ok = ok;
    job.unchanged = unchanged;
    useReportSink(nullptr);
}

// Workers take the jobs in order, at most kAhead beyond the one printed
// next, so that results wait in memory only that far.
constexpr size_t kAhead = 1024;

// The main thread prints the lines in order and converts too while the file
// it prints next is still being converted; the others only convert. Nobody
// is woken but the one waiting for what changed: a hand-over costs no
// system call while the printer keeps up.
struct Pool {
    std::deque<Job>* jobs;
    std::mutex lock;
    std::condition_variable changed;
    size_t next = 0, printed = 0;
    std::vector<char> done;
    std::vector<std::thread> threads;
    size_t printerWaitsFor = SIZE_MAX;  // the job the printer sleeps until
    unsigned aheadWaiters = 0;          // workers asleep until more is printed
};

// Converts job k and marks it done; true when the printer must be woken.
bool convertTaken(Pool& pool, size_t k, const Program& program, const RunSettings& settings)
{
    convertJob((*pool.jobs)[k], program, settings);
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.done[k] = 1;
    return pool.printerWaitsFor == k;
}

void work(Pool& pool, const Program& program, const RunSettings& settings)
{
    for (;;) {
        size_t k;
        {
            std::unique_lock<std::mutex> hold(pool.lock);
            if (pool.next < pool.jobs->size() && pool.next >= pool.printed + kAhead) {
                pool.aheadWaiters++;
                pool.changed.wait(hold, [&] { return pool.next >= pool.jobs->size() || pool.next < pool.printed + kAhead; });
                pool.aheadWaiters--;
            }
            if (pool.next >= pool.jobs->size())
                return;
            k = pool.next++;
        }
        if (convertTaken(pool, k, program, settings))
            pool.changed.notify_all();
    }
}

// Result lines for a file or pipe are written in batches: soon after they
// are ready (before waiting for a slow file, and at least every 50 ms), and
// always before the problem lines that follow them.
struct Printer {
    bool batched = !outputIsTerminal();
    bool reported = true;  // every line written so far
    std::string pending;
    std::chrono::steady_clock::time_point lastWrite = std::chrono::steady_clock::now();

    void writeOut()
    {
        if (!pending.empty())
            reported = writeAll(stdout, pending) && reported;
        pending.clear();
        lastWrite = std::chrono::steady_clock::now();
    }
};

// Prints job k's problem lines and its result line.
void printJob(const Job& job, size_t k, Printer& printer, Progress& progress, const RunSettings& settings)
{
    std::lock_guard<std::mutex> hold(progress.lock);
    clearProgress(progress);
    if (!job.report.err.empty()) {
        printer.writeOut();
        writeAll(stderr, job.report.err);
    }
    if (settings.list == ListForm::Json)
        printer.pending += (k ? ",\n" : "") + jsonResult(job);
    else
        printer.pending += job.report.out + escapeControls(job.shown) + (job.ok ? "\tDONE!\n" : "\tFAILED!\n");
    if (!printer.batched || job.report.pause || printer.pending.size() > (64 << 10) ||
        std::chrono::steady_clock::now() - printer.lastWrite > std::chrono::milliseconds(50))
        printer.writeOut();
    progress.done = k + 1;
    drawProgress(progress);
}

// Waits for job k: converts jobs not yet taken meanwhile, and writes out
// what is ready before sleeping.
void waitFor(Pool& pool, size_t k, Printer& printer, const Program& program, const RunSettings& settings)
{
    std::unique_lock<std::mutex> hold(pool.lock);
    while (!pool.done[k] && pool.next < pool.jobs->size() && pool.next < pool.printed + kAhead) {
        const size_t taken = pool.next++;
        hold.unlock();
        convertTaken(pool, taken, program, settings);
        hold.lock();
    }
    if (pool.done[k])
        return;
    hold.unlock();
    printer.writeOut();
    hold.lock();
    pool.printerWaitsFor = k;
    pool.changed.wait(hold, [&] { return pool.done[k] != 0; });
    pool.printerWaitsFor = SIZE_MAX;
}

// Redraws the progress line while the run goes on (none: it is drawn as
// files finish).
std::thread startTicker(Progress& progress, std::atomic<bool>& finished)
{
    if (!progress.on)
        return std::thread();
    try {
        return std::thread([&] {
            while (!finished) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                std::lock_guard<std::mutex> hold(progress.lock);
                drawProgress(progress);
            }
        });
    } catch (const std::exception&) {
        return std::thread();
    }
}

}  // namespace

bool runJobs(std::deque<Job>& jobs, const Program& program, RunSettings settings, Progress& progress, Tally& tally)
{
    unsigned workers = settings.workers ? settings.workers : std::max(1u, std::thread::hardware_concurrency());
    // One file alone uses every worker for the independent parts of itself
    // (settings.workers is from here on the helpers one file may use).
    settings.workers = jobs.size() == 1 ? workers : 1;
    workers = unsigned(std::min<size_t>(workers, jobs.size()));
    Pool pool;
    pool.jobs = &jobs;
    pool.done.assign(jobs.size(), 0);
    // A thread that cannot be started (no address space left) leaves its
    // share to the others, or to this one, which converts as well.
    for (unsigned w = 1; workers > 1 && w < workers; w++)
        try {
            pool.threads.emplace_back([&] { work(pool, program, settings); });
        } catch (const std::exception&) {
            break;
        }
    std::atomic<bool> finished{false};
    std::thread ticker = startTicker(progress, finished);
    Printer printer;
    std::vector<char> results(jobs.size(), 0);  // each job's result, for the same input given again
    for (size_t k = 0; k < jobs.size(); k++) {
        Job& job = jobs[k];
        {
            std::lock_guard<std::mutex> hold(progress.lock);
            progress.current = job.shown;
        }
        if (!pool.threads.empty())
            waitFor(pool, k, printer, program, settings);
        else
            convertJob(job, program, settings);
        if (job.sameAs != SIZE_MAX) {
            job.ok = results[job.sameAs] & 1;
            job.unchanged = results[job.sameAs] & 2;
        }
        results[k] = char((job.ok ? 1 : 0) | (job.unchanged ? 2 : 0));
        printJob(job, k, printer, progress, settings);
        if (settings.finished)
            settings.finished(job);
        if (job.report.pause)
            consolePause();
        (job.ok ? (job.unchanged ? tally.unchanged : tally.done) : tally.failed)++;
        job = Job();  // its lines are out: nothing of it need stay
        bool wake;
        {
            std::lock_guard<std::mutex> hold(pool.lock);
            pool.printed = k + 1;
            wake = pool.aheadWaiters > 0;
        }
        if (wake)
            pool.changed.notify_all();
    }
    printer.writeOut();
    for (std::thread& t : pool.threads)
        t.join();
    finished = true;
    if (ticker.joinable())
        ticker.join();
    return printer.reported;
}
