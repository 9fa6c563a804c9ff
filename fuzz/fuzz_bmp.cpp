// libFuzzer target for the BMP reader that assetpack reads edited images
// with. A picture it accepts must hold exactly width * height indexes, its
// colour count must fit its bit depth, and nothing may be read or allocated
// beyond what the bytes describe (the runner's memory limit catches that).
#include <cstdlib>
#include <string>
#include <vector>

#include "common/source.h"
#include "pictures/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Source source = memorySource(std::vector<uint8_t>(data, data + size));
    BmpPicture picture;
    std::string why;
    if (!readBmp(source, picture, why)) {
        if (why.empty())
            std::abort();  // a refusal always says why
        return 0;
    }
    if (picture.width < 0 || picture.height < 0 ||
        picture.pixels.size() != size_t(picture.width) * size_t(picture.height) ||
        picture.colourCount > (1 << picture.bitsPerPixel))
        std::abort();
    return 0;
}
