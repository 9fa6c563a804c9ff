// ARLC sprite: a 16-byte header that begins like an RLC one, then
// width * height bytes of picture data. The file is validated and nothing is
// written: how its pictures are stored is not settled.
//
//   0   3   magic "rlc" (byte 3 not examined)
//   4   2   width     6   2  not read
//   8   2   height    10  2  not read
//   12  4   not interpreted
//   16  ... picture data, not used
#include <cstring>

#include "common/report.h"
#include "formats/sprites/sprites.h"

namespace {
// The check both --list and a conversion make; header gets the first 16 bytes.
bool readArlc(const std::string& path, Source& in, const uint8_t*& header)
{
    if (!openInput(path, in))
        return false;
    if (in.size <= 16)
        return tooShort(path, in, "an ARLC sprite", 17);
    header = view(in, 0, 16);
    if (!header)
        return endsBefore(path, in, "the header is complete");
    // Width and height (bytes 4 and 8) describe picture data that nothing
    // uses, so it is neither read nor allocated.
    if (std::memcmp(header, "rlc", 3) != 0)
        return refuse(path, "not an ARLC sprite: it does not start with \"rlc\"");
    return true;
}
}  // namespace

bool extract_ARLC(const std::string& path)
{
    Source in;
    const uint8_t* header = nullptr;
    return readArlc(path, in, header);
}

bool list_ARLC(const std::string& path, Listing& listing)
{
    Source in;
    const uint8_t* header = nullptr;
    listing.type = "ARLC";
    if (!readArlc(path, in, header))
        return false;
    listing.size = in.size;
    ListedItem item;
    item.kind = "sprite";
    item.width = toInt(header[4], header[5]);
    item.height = toInt(header[8], header[9]);
    item.detail = "checked only: its pixels are not read";
    listing.items.push_back(item);
    return true;
}
