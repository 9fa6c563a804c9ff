// Truncated and byte-flipped copies of every sample: each converts or is
// refused without harm, and every record it holds gets an output of its own. Nothing appears beside the output directory, the
// output directory holds only whole plain files (no cut-off image, no
// temporary), a refusal always says why, and a refused file leaves no output
// directory (except where the format's failure keeps what was written: an
// archive entry that cannot be shown, a picture set whose entry walk ran out).
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "formats/anim/anim.h"
#include "formats/data/data.h"
#include "formats/fonts/fonts.h"
#include "formats/sprites/sprites.h"
#include "common/report.h"
#include "store/outputs.h"
#include "support/bmp_reader.h"
#include "support/files.h"

namespace fs = std::filesystem;

namespace {

struct Format {
    const char* sample;
    bool (*convert)(const std::string&);
    bool refusalMayKeepOutput;
};

const Format kFormats[] = {
    {"HERO.RLE", extract_RLE, false}, {"SHIP.RLC", extract_RLC, false},   {"ICON.ARLC", extract_ARLC, false},
    {"ARCHIVE.WAD", extract_WAD, true}, {"LETTERS.FNT", extract_FNT, false}, {"GOLD.FNC", extract_FNC, false},
    {"INK.FNM", extract_FNM, false},  {"LEVEL.SEC", extract_SEC, false},  {"CITY.ZOM", extract_ZOM, true},
    {"WALK.ANM", extract_ANM, false},
};

void PrintTo(const Format& format, std::ostream* os) { *os << format.sample; }

class Damaged : public testing::TestWithParam<Format> {};

// Converts one variant and checks what it left behind.
void convertAndCheck(const TempDir& tmp, const Format& format, const std::vector<uint8_t>& bytes,
                     const std::string& what)
{
    const std::string input = tmp / format.sample;
    const std::string output = input + ".FILES";
    writeFile(input, bytes);
    const unsigned long problems = problemCount(), placed = placedOutputCount(), failed = failedOutputCount();
    testing::internal::CaptureStderr();
    // As the front end converts: a new output folder is written hidden and
    // renamed into place.
    OutputPlace place;
    beginOutputs(&place);
    bool ok = format.convert(input);
    ok = finishOutputs() && ok;
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok || problemCount() > problems) << what << ": refused without a reason";
    for (const fs::directory_entry& entry : fs::directory_iterator(tmp.path))
        ASSERT_TRUE(entry.path() == fs::path(input) || entry.path() == fs::path(output))
            << what << ": wrote " << entry.path();
    if (exists(output)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(output)) {
            ASSERT_TRUE(entry.is_regular_file()) << what << ": " << entry.path();
            ASSERT_EQ(entry.path().string().find(".tmp"), std::string::npos) << what << ": " << entry.path();
            if (entry.path().extension() == ".BMP") {
                ASSERT_TRUE(bmpIsWhole(entry.path().string())) << what << ": cut-off " << entry.path();
            }
        }
        ASSERT_TRUE(ok || format.refusalMayKeepOutput) << what << ": refused but left " << output;
        // Every record has an output of its own: none was written over another.
        if (failedOutputCount() == failed) {
            ASSERT_EQ(listTree(output).size(), placedOutputCount() - placed) << what;
        }
        fs::remove_all(output);
    }
}

}  // namespace

TEST_P(Damaged, TruncationsAndByteFlipsAreHandled)
{
    const Format& format = GetParam();
    const std::vector<uint8_t> sample = readFile(std::string(ASSETDUMP_SAMPLES_DIR) + "/" + format.sample);
    ASSERT_FALSE(sample.empty());
    TempDir tmp;

    // Cuts at every length up to the header sizes, then spread over the file.
    for (size_t length = 0; length < sample.size(); length += length < 1100 ? 37 : sample.size() / 40)
        convertAndCheck(tmp, format, std::vector<uint8_t>(sample.begin(), sample.begin() + long(length)),
                        "cut at " + std::to_string(length));

    std::mt19937 random(12345);
    for (int i = 0; i < 150; i++) {
        std::vector<uint8_t> bytes = sample;
        size_t at = random() % bytes.size();
        bytes[at] = uint8_t(i % 3 == 0 ? bytes[at] ^ 0x80 : i % 3 == 1 ? 0xFF : random());
        convertAndCheck(tmp, format, bytes, "byte " + std::to_string(at) + " changed");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, Damaged, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<Format>& info) {
                             std::string name = info.param.sample;
                             name[name.find('.')] = '_';
                             return name;
                         });
