// libFuzzer target for the reader of folder records: they travel with
// shared folders, so they are input like any other. A record it trusts
// names only files of its folder (or, a mod record, paths below it), each
// once, and reads back from its own text unchanged; a refusal says why.
#include <cstdlib>
#include <string>

#include "store/record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    FolderRecord record;
    std::string why;
    if (!parseRecord(text, record, why)) {
        if (why.empty())
            std::abort();
        return 0;
    }
    for (size_t i = 0; i < record.outputs.size(); i++) {
        const std::string& name = record.outputs[i].name;
        if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos ||
            name.find('\\') != std::string::npos || (record.tool == "assetdump" && name.find('/') != std::string::npos) ||
            (i > 0 && record.outputs[i - 1].name >= name))
            std::abort();
    }
    // What it writes, it reads back as the same record.
    FolderRecord again;
    if (!parseRecord(recordText(record), again, why) || recordText(again) != recordText(record))
        std::abort();
    return 0;
}
