// libFuzzer targets for the parsers of edited text files: FUZZ_PARSER names
// the text, one of the tags below. A parse that fails must say why.
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/anim/anim.h"
#include "formats/data/data.h"
#include "formats/fonts/fonts.h"

namespace {
struct FntInfo {};
struct GlyphSetInfo {};
struct AnmScript {};
struct SecListing {};

[[maybe_unused]] bool parse(const std::string& text, std::string& why, FntInfo)
{
    std::vector<FntInfoLine> lines;
    return parseFntInfo(text, lines, why);
}
[[maybe_unused]] bool parse(const std::string& text, std::string& why, GlyphSetInfo)
{
    GlyphSet set;
    return parseGlyphSetInfo(text, set, why);
}
[[maybe_unused]] bool parse(const std::string& text, std::string& why, AnmScript)
{
    std::vector<AnmToken> tokens;
    return parseAnmScript(text, tokens, why);
}
[[maybe_unused]] bool parse(const std::string& text, std::string& why, SecListing)
{
    std::vector<uint8_t> bytes;
    int64_t tailAt = 0;
    return parseSecListing(text, nullptr, bytes, tailAt, why);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string why;
    if (!parse(text, why, FUZZ_PARSER{}) && why.empty())
        std::abort();
    return 0;
}
