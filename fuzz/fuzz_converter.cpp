// One libFuzzer target per converter: FUZZ_EXTENSION names the input's
// extension and FUZZ_CONVERTER the converter called through its normal entry.
//
// Each input is written to a scratch folder in RAM and converted there. After
// the call the folder may hold only the input and its output directory, with
// plain files directly inside it; a refused input leaves no output directory
// (picture sets excepted: a walk that ends without its ending entry keeps
// what it wrote, by design). Any breach aborts, which the fuzzer reports.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/bytes.h"
#include "formats/anim/anim.h"
#include "formats/data/data.h"
#include "formats/fonts/fonts.h"
#include "formats/sprites/sprites.h"

namespace fs = std::filesystem;

namespace {

std::string workDir;
std::string inputPath;

// A valid run-length picture may legitimately be huge; skip inputs whose
// planes would pass 32 MiB each (64 MiB of output in all).
constexpr uint64_t kMaxPlane = 32u << 20;

bool planeTooLarge(uint64_t width, uint64_t height)
{
    return (width + 3) * height > kMaxPlane;
}

bool tooLarge(const uint8_t* data, size_t size)
{
    std::string ext = FUZZ_EXTENSION;
    if (ext == "RLE")
        return size >= 54 && planeTooLarge(toInt(data[18], data[19]), toInt(data[22], data[23]));
    if (ext == "RLC")
        return size >= 12 && planeTooLarge(toInt(data[4], data[5]), toInt(data[8], data[9]));
    if (ext == "WAD") {
        if (size < 404)
            return false;
        uint64_t pos = 408 + 525ull * uint64_t(toInt(data[400], data[401]));
        if (pos > size)
            return false;
        uint64_t entries = toInt(data[pos - 4], data[pos - 3]);
        for (uint64_t i = 0; i < entries && pos + 64 <= size; i++) {
            const uint8_t* d = data + pos + 32;
            uint64_t length = uint64_t(toInt(d[0], d[1], d[2])), height = toInt(d[16], d[17]), width = toInt(d[20], d[21]);
            if (planeTooLarge(width, height))
                return true;
            std::string name = fieldText(data + pos, 32);
            bool runLength = name.size() >= 3 && name[name.size() - 3] == 'R';
            pos += 64 + length + (runLength ? 4 * (height + 5) : 4);
        }
    }
    return false;
}

void breach(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Never wait at a console pause; keep stdout quiet.
    if (!std::freopen("/dev/null", "r", stdin))
        std::abort();
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
    if (tooLarge(data, size))
        return -1;
    {
        std::ofstream out(inputPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    const std::string outputDir = inputPath + ".FILES";
    bool ok = FUZZ_CONVERTER(inputPath);

    for (const fs::directory_entry& entry : fs::directory_iterator(workDir))
        if (entry.path() != fs::path(inputPath) && entry.path() != fs::path(outputDir))
            breach("a file was written beside the output directory");
    if (fs::exists(outputDir)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(outputDir))
            if (!entry.is_regular_file())
                breach("the output directory holds something other than plain files");
        if (!ok && std::string(FUZZ_EXTENSION) != "ZOM")
            breach("a refused input left an output directory");
        fs::remove_all(outputDir);
    }
    return 0;
}
