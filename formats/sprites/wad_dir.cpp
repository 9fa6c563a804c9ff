// A directory of extracted WAD contents given back to the tool: its names are
// listed on the console; nothing is read, written or changed.
#include <cstdio>

#include "formats/sprites/sprites.h"
#include "platform/platform.h"

int listFiles(const std::string& path)
{
    std::vector<std::string> names;
    listDirectory(path, names);  // a directory that cannot be read lists nothing
    for (const std::string& name : names)
        std::printf("%s\n", name.c_str());
    return 0;
}

bool create_WAD(const std::string& path)
{
    listFiles(path);
    return true;
}
