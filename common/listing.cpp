#include "common/listing.h"

#include <cstring>

std::string shownAs(const ListedItem& item)
{
    for (const char* kind : {"palette", "entry", "glyph", "picture"})
        if (std::strcmp(item.kind, kind) == 0)
            return std::string(kind) + " " + std::to_string(item.index);
    return "";
}
