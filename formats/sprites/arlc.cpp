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

#include "common/file.h"
#include "formats/sprites/sprites.h"

bool extract_ARLC(const std::string& path)
{
    File in = openFile(path, "rb");
    if (!in)
        return false;
    int64_t size = fileSize(in.get());
    uint8_t header[16];
    if (size <= 16 || std::fread(header, 1, sizeof header, in.get()) != sizeof header)
        return false;
    // Width and height (bytes 4 and 8) describe picture data that nothing uses,
    // so it is neither read nor allocated.
    return std::memcmp(header, "rlc", 3) == 0;
}
