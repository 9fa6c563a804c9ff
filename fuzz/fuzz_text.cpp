// libFuzzer targets for the parsers of edited text files: FUZZ_PARSER names
// the parser. A parse that fails must say why, naming a line where it can.
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/fonts/fonts.h"

namespace {
[[maybe_unused]] bool parse(const std::string& text, std::string& why, const FntInfoLine*)
{
    std::vector<FntInfoLine> lines;
    return parseFntInfo(text, lines, why) && lines.size() == 224;
}
[[maybe_unused]] bool parse(const std::string& text, std::string& why, const GlyphSet*)
{
    GlyphSet set;
    return parseGlyphSetInfo(text, set, why);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string why;
    if (!parse(text, why, static_cast<const FUZZ_PARSER*>(nullptr)) && why.empty())
        std::abort();
    return 0;
}
