// The folder record: JSON written and read back, and content hashes (see record.h).
#include "store/record.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/report.h"
#include "common/source.h"
#include "store/names.h"
#include "platform/platform.h"

const char* const kRecordName = ".assetdump.json";

bool isRecordName(const std::string& name)
{
    return name == kRecordName;
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

bool hashOf(const std::string& path, int64_t limit, int64_t& size, std::string& hash)
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
    hash = hasher.hex();
    return true;
}

}  // namespace

bool hashFile(const std::string& path, int64_t& size, std::string& hash)
{
    return hashOf(path, INT64_MAX, size, hash);
}

bool hashInput(const std::string& path, int64_t& size, std::string& hash)
{
    return hashOf(path, kWholeHashLimit, size, hash);
}

namespace {

// A JSON string: UTF-8 as it is, quotes, backslashes and control bytes escaped.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

// A small reader of JSON values, enough for the record: objects, arrays,
// strings, numbers and the three words. Unknown fields are passed over.
struct JsonReader {
    const std::string& text;
    size_t at = 0;
    int depth = 0;

    void space()
    {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\r' || text[at] == '\t'))
            at++;
    }
    bool take(char c)
    {
        space();
        if (at < text.size() && text[at] == c) {
            at++;
            return true;
        }
        return false;
    }
    bool string(std::string& out)
    {
        out.clear();
        if (!take('"'))
            return false;
        while (at < text.size() && text[at] != '"') {
            char c = text[at++];
            if (c == '\\') {
                if (at >= text.size())
                    return false;
                const char e = text[at++];
                if (e == 'u') {
                    if (at + 4 > text.size())
                        return false;
                    const unsigned long v = std::strtoul(text.substr(at, 4).c_str(), nullptr, 16);
                    at += 4;
                    if (v >= 0x80)
                        return false;  // the record escapes control bytes only
                    c = char(v);
                } else {
                    c = e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e == 'b' ? '\b' : e == 'f' ? '\f' : e;
                }
            }
            out += c;
        }
        return take('"');
    }
    bool number(int64_t& v)
    {
        space();
        const size_t start = at;
        if (at < text.size() && text[at] == '-')
            at++;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            at++;
        if (at == start || at - start > 20)
            return false;
        errno = 0;
        v = std::strtoll(text.substr(start, at - start).c_str(), nullptr, 10);
        return errno == 0;
    }
    // Any value, passed over.
    bool skipValue()
    {
        space();
        if (at >= text.size() || ++depth > 64)
            return false;
        bool ok = true;
        std::string s;
        int64_t n;
        const char c = text[at];
        if (c == '"') {
            ok = string(s);
        } else if (c == '{' || c == '[') {
            at++;
            const char close = c == '{' ? '}' : ']';
            if (!take(close)) {
                do {
                    if (c == '{' && !(string(s) && take(':')))
                        return false;
                    if (!skipValue())
                        return false;
                } while (take(','));
                ok = take(close);
            }
        } else if (text.compare(at, 4, "true") == 0 || text.compare(at, 4, "null") == 0) {
            at += 4;
        } else if (text.compare(at, 5, "false") == 0) {
            at += 5;
        } else {
            ok = number(n);
            if (ok && at < text.size() && (text[at] == '.' || text[at] == 'e' || text[at] == 'E'))
                while (at < text.size() && std::strchr("0123456789.eE+-", text[at]))
                    at++;
        }
        depth--;
        return ok;
    }
    // An object's fields: field(name) reads each value (or returns false).
    template <typename Field>
    bool object(Field field)
    {
        if (!take('{'))
            return false;
        if (take('}'))
            return true;
        std::string name;
        do {
            if (!string(name) || !take(':') || !field(name))
                return false;
        } while (take(','));
        return take('}');
    }
};

}  // namespace

std::string recordText(const FolderRecord& r)
{
    std::string t = "{\n";
    t += "  \"tool\": " + quoted(r.tool) + ",\n";
    t += "  \"version\": " + quoted(r.version) + ",\n";
    if (!r.formats.empty())
        t += "  \"formats\": " + quoted(r.formats) + ",\n";
    if (r.inputSize >= 0)
        t += "  \"input\": {\"name\": " + quoted(r.inputName) + ", \"size\": " + std::to_string(r.inputSize) +
             ", \"xxh3_128\": " + quoted(r.inputHash) + ", \"mtime\": " + std::to_string(r.inputMtime) + "},\n";
    t += "  \"outputs\": [";
    for (size_t i = 0; i < r.outputs.size(); i++) {
        const RecordedOutput& o = r.outputs[i];
        t += i ? ",\n    " : "\n    ";
        t += "{\"name\": " + quoted(o.name) + ", \"size\": " + std::to_string(o.size) + ", \"xxh3_128\": " +
             quoted(o.hash) + ", \"shows\": " + quoted(o.shows) + ", \"mtime\": " + std::to_string(o.mtime) + "}";
    }
    t += r.outputs.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return t;
}

bool parseRecord(const std::string& text, FolderRecord& record)
{
    JsonReader j{text};
    record = FolderRecord();
    const bool ok = j.object([&](const std::string& name) {
        if (name == "tool")
            return j.string(record.tool);
        if (name == "version")
            return j.string(record.version);
        if (name == "formats")
            return j.string(record.formats);
        if (name == "input")
            return j.object([&](const std::string& field) {
                if (field == "name")
                    return j.string(record.inputName);
                if (field == "size")
                    return j.number(record.inputSize);
                if (field == "xxh3_128")
                    return j.string(record.inputHash);
                if (field == "mtime")
                    return j.number(record.inputMtime);
                return j.skipValue();
            });
        if (name == "outputs") {
            if (!j.take('['))
                return false;
            if (j.take(']'))
                return true;
            do {
                RecordedOutput o;
                if (!j.object([&](const std::string& field) {
                        if (field == "name")
                            return j.string(o.name);
                        if (field == "size")
                            return j.number(o.size);
                        if (field == "xxh3_128")
                            return j.string(o.hash);
                        if (field == "shows")
                            return j.string(o.shows);
                        if (field == "mtime")
                            return j.number(o.mtime);
                        return j.skipValue();
                    }))
                    return false;
                record.outputs.push_back(o);
            } while (j.take(','));
            return j.take(']');
        }
        return j.skipValue();
    });
    sortOutputs(record);
    return ok && (record.tool == "assetdump" || record.tool == "assetpack");
}

bool loadRecord(const std::string& folder, std::string& text, FolderRecord& record)
{
    const std::string path = createFile(kRecordName, folder);
    std::string what;
    Source in;
    if (linkKind(path, what) != PathKind::Regular || !openSource(in, path) || in.size > (int64_t(64) << 20))
        return false;
    const uint8_t* bytes = view(in, 0, size_t(in.size));
    if (!bytes)
        return false;
    text.assign(reinterpret_cast<const char*>(bytes), size_t(in.size));
    if (parseRecord(text, record))
        return true;
    record = FolderRecord();
    return false;
}

void sortOutputs(FolderRecord& record)
{
    std::vector<RecordedOutput>& v = record.outputs;
    std::stable_sort(v.begin(), v.end(), [](const RecordedOutput& a, const RecordedOutput& b) { return a.name < b.name; });
    // The last of each name stays.
    std::vector<RecordedOutput> unique;
    for (size_t i = 0; i < v.size(); i++)
        if (i + 1 == v.size() || v[i + 1].name != v[i].name)
            unique.push_back(std::move(v[i]));
    v = std::move(unique);
}

const RecordedOutput* findOutput(const FolderRecord& record, const std::string& name)
{
    auto it = std::lower_bound(record.outputs.begin(), record.outputs.end(), name,
                               [](const RecordedOutput& o, const std::string& n) { return o.name < n; });
    return it != record.outputs.end() && it->name == name ? &*it : nullptr;
}
