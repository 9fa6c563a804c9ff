// One conversion's work shared between threads (see share.h).
#include "app/share.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "common/report.h"
#include "store/conversion.h"

void shareWork(size_t count, size_t piece, const std::function<void(size_t, size_t)>& work)
{
    const size_t pieces = piece ? (count + piece - 1) / piece : 0;
    OutputPlace* shared = currentPlace();
    const unsigned helpers = shared ? shared->helpers : 1;
    if (helpers <= 1 || pieces <= 1) {
        work(0, count);
        return;
    }
    ConversionThread* own = currentConversionThread();
    ReportSink* ownSink = currentReportSink();
    std::vector<ReportSink> lines(pieces);
    std::atomic<size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto helper = [&] {
        ConversionThread mine{shared, {}};  // what this thread's outputs show is its own
        useConversionThread(&mine);
        for (size_t p; (p = next++) < pieces;) {
            useReportSink(&lines[p]);  // a piece's sink keeps no input identity
            try {
                work(p * piece, std::min(count, (p + 1) * piece));
            } catch (...) {
                std::lock_guard<std::mutex> hold(failureLock);
                if (!failure)
                    failure = std::current_exception();
                next = pieces;  // the rest is not begun
            }
        }
        useReportSink(nullptr);
        useConversionThread(nullptr);
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < helpers && t < pieces; t++)
        try {
            threads.emplace_back(helper);
        } catch (const std::exception&) {
            break;  // fewer helpers: this thread takes their share
        }
    helper();
    for (std::thread& t : threads)
        t.join();
    useConversionThread(own);  // this thread's conversion goes on, its input still known
    useReportSink(ownSink);
    for (const ReportSink& one : lines)
        reportAll(one);
    if (failure)
        std::rethrow_exception(failure);
}
