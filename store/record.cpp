// The folder record: its JSON written a line at a time, and content hashes (see record.h).
#include "store/record.h"

#include <algorithm>
#include <functional>

#include <nlohmann/json.hpp>

#include "common/source.h"
#include "platform/platform.h"

const char* const kRecordName = ".assetdump.json";
const char* const kLockName = ".assetdump.lock";

bool isRecordName(const std::string& name)
{
    return name == kRecordName || name == kLockName;
}

bool writtenByTool(const RecordedOutput& o, int64_t size, const Hash128& hash)
{
    return (size == o.size && hash == o.hash) || (o.beforeSize >= 0 && size == o.beforeSize && hash == o.beforeHash);
}


namespace {

bool hashRange(Source& in, int64_t from, int64_t to, Hasher& hasher)
{
    for (int64_t at = from; at < to;) {
        const size_t piece = size_t(std::min<int64_t>(to - at, 1 << 20));
        const uint8_t* bytes = view(in, at, piece);
        if (!bytes)
            return false;
        hasher.add(bytes, piece);
        at += int64_t(piece);
    }
    return true;
}

bool hashOf(const std::string& path, int64_t limit, int64_t& size, Hash128& hash)
{
    Source in;
    if (!openSource(in, path))
        return false;
    Hasher hasher;
    const int64_t half = limit / 2;
    const bool whole = in.size <= limit;
    if (!hashRange(in, 0, whole ? in.size : half, hasher) || (!whole && !hashRange(in, in.size - half, in.size, hasher)))
        return false;
    size = in.size;
    hash = hasher.digest();
    return true;
}

}  // namespace

bool hashFile(const std::string& path, int64_t& size, Hash128& hash)
{
    return hashOf(path, INT64_MAX, size, hash);
}

bool hashInput(const std::string& path, int64_t& size, Hash128& hash)
{
    return hashOf(path, kWholeHashLimit, size, hash);
}

using Json = nlohmann::json;

// Written by the library, which escapes what JSON needs.
std::string jsonText(const std::string& text)
{
    return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

// The length of the UTF-8 sequence at text[at] (0: not UTF-8 there).
size_t utf8Length(const std::string& text, size_t at)
{
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || at + n > text.size() || (n == 2 && c < 0xC2) || (n == 4 && c > 0xF4))
        return 0;
    for (size_t k = 1; k < n; k++)
        if ((static_cast<unsigned char>(text[at + k]) >> 6) != 2)
            return 0;
    const unsigned char d = static_cast<unsigned char>(text[at + 1 < text.size() ? at + 1 : at]);
    if ((n == 3 && c == 0xE0 && d < 0xA0) || (n == 3 && c == 0xED && d >= 0xA0) || (n == 4 && c == 0xF0 && d < 0x90) ||
        (n == 4 && c == 0xF4 && d >= 0x90))
        return 0;  // overlong, a surrogate, or past U+10FFFF
    return n;
}

// A name's fields: "name" alone when it is UTF-8; otherwise "name" shows
// it with U+FFFD for each byte that is not, and "name_bytes" keeps it exactly.
std::string nameFields(const std::string& name)
{
    std::string shown, hex;
    bool utf8 = true;
    for (size_t at = 0; at < name.size();) {
        const size_t n = utf8Length(name, at);
        if (n == 0) {
            utf8 = false;
            shown += "\xEF\xBF\xBD";
            at++;
        } else {
            shown.append(name, at, n);
            at += n;
        }
    }
    if (utf8)
        return "\"name\": " + jsonText(name);
    static const char digits[] = "0123456789abcdef";
    for (unsigned char c : name) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return "\"name\": " + jsonText(shown) + ", \"name_bytes\": \"" + hex + "\"";
}


}  // namespace

void writeRecordText(const FolderRecord& r, const std::function<void(const std::string&)>& put)
{
    put("{\n  \"record\": " + std::to_string(kRecordFormat) + ",\n  \"tool\": " + jsonText(r.tool) +
        ",\n  \"version\": " + jsonText(r.version) + ",\n");
    if (!r.formats.empty())
        put("  \"formats\": " + jsonText(r.formats) + ",\n");
    if (r.input.size >= 0)
        put("  \"input\": {" + nameFields(r.inputName) + ", \"size\": " + std::to_string(r.input.size) +
            ", \"xxh3_128\": \"" + r.inputHash.hex() + "\", \"mtime\": " + std::to_string(r.input.mtime) +
            ", \"ctime\": " + std::to_string(r.input.ctime) + ", \"inode\": " + std::to_string(r.input.inode) +
            ", \"device\": " + std::to_string(r.input.device) + "},\n");
    put("  \"count\": " + std::to_string(r.outputs.size()) + ",\n  \"outputs\": [");
    std::string line;
    for (size_t i = 0; i < r.outputs.size(); i++) {
        const RecordedOutput& o = r.outputs[i];
        line = i ? ",\n    {" : "\n    {";
        line += nameFields(o.name) + ", \"size\": " + std::to_string(o.size) + ", \"xxh3_128\": \"" + o.hash.hex() +
                "\", \"shows\": " + jsonText(o.shows) + ", \"mtime\": " + std::to_string(o.mtime);
        if (o.beforeSize >= 0)
            line += ", \"before\": {\"size\": " + std::to_string(o.beforeSize) + ", \"xxh3_128\": \"" +
                    o.beforeHash.hex() + "\"}";
        put(line + "}");
    }
    put(r.outputs.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

std::string recordText(const FolderRecord& r)
{
    std::string t;
    writeRecordText(r, [&](const std::string& piece) { t += piece; });
    return t;
}

Hash128 recordHash(const FolderRecord& r)
{
    Hasher hasher;
    writeRecordText(r, [&](const std::string& piece) { hasher.add(piece.data(), piece.size()); });
    return hasher.digest();
}
