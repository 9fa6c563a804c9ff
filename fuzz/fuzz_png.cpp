// libFuzzer target for the PNG reader that assetpack reads edited pictures
// with. A picture it accepts holds exactly width * height indexes into the
// colours it gives, and alpha, when given, one value a pixel.
#include <cstdlib>
#include <string>
#include <vector>

#include "common/source.h"
#include "pictures/bmp.h"
#include "pictures/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Source source = memorySource(std::vector<uint8_t>(data, data + size));
    BmpPicture picture;
    std::vector<uint8_t> alpha;
    std::string why;
    if (!readPng(source, picture, alpha, why)) {
        if (why.empty())
            std::abort();  // a refusal always says why
        return 0;
    }
    const size_t pixels = size_t(picture.width) * size_t(picture.height);
    if (picture.pixels.size() != pixels || (!alpha.empty() && alpha.size() != pixels) || picture.colourCount > 256)
        std::abort();
    for (uint8_t p : picture.pixels)
        if (p >= picture.colourCount)
            std::abort();
    return 0;
}
