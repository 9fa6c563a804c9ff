// A directory of extracted WAD contents given back to the tool: its names are
// listed on the console, sorted by their bytes and escaped as result lines
// are, so that no name can forge a line; nothing is read, written or changed.
#include <algorithm>
#include <cerrno>

#include "common/report.h"
#include "formats/sprites/sprites.h"
#include "store/outputs.h"
#include "platform/platform.h"

int listFiles(const std::string& path)
{
    std::vector<std::string> names;
    errno = 0;
    if (!listDirectory(path, names))
        return errno ? errno : EIO;
    std::sort(names.begin(), names.end());
    std::string lines;
    for (const std::string& name : names)
        if (!isTemporaryName(name) && !isRecordName(name))  // another run's work, or the folder's record: not content
            lines += escapeControls(name) + "\n";
    reportListing(lines);
    return 0;
}

bool create_WAD(const std::string& path)
{
    const int error = listFiles(path);
    return error == 0 || refuse(path, "cannot be listed: %s", systemReason(error).c_str());
}

bool list_WAD_folder(const std::string& path, Listing& listing)
{
    std::vector<std::string> names;
    listing.type = "folder";
    errno = 0;
    if (!listDirectory(path, names))
        return refuse(path, "cannot be listed: %s", systemReason(errno ? errno : EIO).c_str());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        if (name != "." && name != ".." && !isTemporaryName(name) && !isRecordName(name)) {
            ListedItem item;
            item.kind = "name";
            item.index = int64_t(listing.items.size());
            item.name = name;
            listing.items.push_back(item);
        }
    return true;
}
