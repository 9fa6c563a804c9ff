// One libFuzzer target per converter: FUZZ_EXTENSION names the input's
// extension and FUZZ_CONVERTER the converter called through its normal entry.
//
// Each input is written to a scratch folder in RAM and converted there. After
// the call the folder may hold only the input and its output directory, with
// whole plain files directly inside it (no cut-off image, no temporary); a
// refusal has said why; every output has a name of its own (none was written
// over another); and a refused input leaves no output directory,
// unless an output could not be written (the runner caps file sizes) or the
// format's own failure keeps what was written (an archive entry that cannot
// be shown, a picture set whose entry walk ran out). Listing the input
// (FUZZ_LISTER, as --list and the gallery do) writes nothing and accepts
// exactly what the conversion accepts. Any breach aborts, which the fuzzer
// reports.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/anim/anim.h"
#include "formats/data/data.h"
#include "formats/fonts/fonts.h"
#include "formats/sprites/sprites.h"
#include "store/outputs.h"

namespace fs = std::filesystem;

namespace {

std::string workDir;
std::string inputPath;

void breach(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// A BMP as long as its header says.
bool whole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    uint8_t head[6] = {};
    in.read(reinterpret_cast<char*>(head), 6);
    std::error_code ec;
    return in && head[0] == 'B' && head[1] == 'M' && uintmax_t(uint32_t(toInt(head, 2))) == fs::file_size(path, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Never wait at a console pause; a write past the runner's size cap fails
    // instead of ending the process.
    if (!std::freopen("/dev/null", "r", stdin))
        std::abort();
    signal(SIGXFSZ, SIG_IGN);
    fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    workDir = (base / ("assetdump-fuzz-" + std::string(FUZZ_EXTENSION) + "-" + std::to_string(getpid()))).string();
    fs::remove_all(workDir);
    fs::create_directories(workDir);
    inputPath = workDir + "/in." + FUZZ_EXTENSION;
    std::atexit([] { fs::remove_all(workDir); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        std::ofstream out(inputPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    const std::string outputDir = inputPath + ".FILES";
    const unsigned long problems = problemCount(), failedOutputs = failedOutputCount(), placed = placedOutputCount();
    OutputPlace place;  // as the front end converts: a new folder appears whole
    beginOutputs(&place);
    bool ok = FUZZ_CONVERTER(inputPath);
    ok = finishOutputs() && ok;

    if (!ok && problemCount() == problems)
        breach("a refusal without a reason");
    for (const fs::directory_entry& entry : fs::directory_iterator(workDir))
        if (entry.path() != fs::path(inputPath) && entry.path() != fs::path(outputDir))
            breach("a file was written beside the output directory");
    if (fs::exists(outputDir)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(outputDir)) {
            if (!entry.is_regular_file() || entry.path().extension() == ".tmp")
                breach("the output directory holds something other than finished plain files");
            if (entry.path().extension() == ".BMP" && !whole(entry.path()))
                breach("a cut-off image");
        }
        size_t files = 0;  // the folder's record is no output
        for (const fs::directory_entry& entry : fs::directory_iterator(outputDir))
            files += entry.is_regular_file() && entry.path().filename() != ".assetdump.json";
        if (failedOutputCount() == failedOutputs && files != placedOutputCount() - placed)
            breach("an output was written over another of the same input");
        const std::string ext = FUZZ_EXTENSION;
        if (!ok && failedOutputCount() == failedOutputs && ext != "ZOM" && ext != "WAD")
            breach("a refused input left an output directory");
        fs::remove_all(outputDir);
    }

    for (const bool quick : {false, true}) {
        const unsigned long before = problemCount();
        Listing listing;
        listing.quick = quick;
        const bool listed = FUZZ_LISTER(inputPath, listing);
        if (!listed && problemCount() == before)
            breach("a listing refused without a reason");
        if (fs::exists(outputDir))
            breach("a listing wrote something");
        if (!quick && listed != ok && failedOutputCount() == failedOutputs)
            breach("the listing and the conversion disagree on the input");
    }
    return 0;
}
