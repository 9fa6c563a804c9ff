// libFuzzer target for the reader of edited palette files (raw, Adobe,
// JASC, GIMP and RIFF palettes). A palette it accepts holds 0 to 256
// entries; a refusal says why.
#include <cstdlib>
#include <string>

#include "pictures/palette.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ColourTable table{};
    int32_t count = -1;
    std::string why;
    if (!decodePalette(data, size, table, count, why)) {
        if (why.empty())
            std::abort();
        return 0;
    }
    if (count < 0 || count > 256)
        std::abort();
    return 0;
}
