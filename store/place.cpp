// The one rule for where outputs go (see place.h).
#include "store/place.h"

#include "store/names.h"
#include "platform/platform.h"

namespace {

// NAME.packed.EXT beside the original (HERO.RLE -> HERO.packed.RLE): it keeps
// the type assetdump reads.
std::string packedNameOf(const std::string& original)
{
    const size_t nameAt = original.size() - getName(original).size();
    const size_t dot = original.rfind('.');
    if (dot == std::string::npos || dot < nameAt)
        return original + ".packed";
    return original.substr(0, dot) + ".packed" + original.substr(dot);
}

}  // namespace

std::string joinPath(const std::string& a, const std::string& b)
{
    if (a.empty())
        return b;
    return isPathSeparator(a.back()) ? a + b : a + kPathSeparator + b;
}

Placement placeConversion(const PlaceRule& rule, const std::string& input, const std::string& layout)
{
    Placement p;
    if (rule.output.empty() || layout.empty()) {
        p.folder = input + extracted;
    } else {
        p.root = rule.output;
        p.folder = joinPath(rule.output, layout) + extracted;
        p.key = foldedName(p.folder);
    }
    p.edits = p.folder;
    return p;
}

Placement placePacking(const PlaceRule& rule, const std::string& original, const std::string& layout,
                       const std::string& editsGiven)
{
    Placement p;
    if (!editsGiven.empty())
        p.edits = editsGiven;
    else
        p.edits = (rule.edits.empty() || layout.empty() ? original : joinPath(rule.edits, layout)) + extracted;
    p.folder = p.edits;
    p.skipUnchanged = true;  // an unedited folder writes nothing
    if (rule.output.empty() || layout.empty()) {
        p.rebuilt = packedNameOf(original);
    } else {
        p.root = rule.output;
        p.rebuilt = joinPath(rule.output, layout);
        p.key = foldedName(p.rebuilt);
    }
    return p;
}

std::string originalOf(const std::string& outputFolder)
{
    return outputFolder.substr(0, outputFolder.size() - std::string(extracted).size());
}
