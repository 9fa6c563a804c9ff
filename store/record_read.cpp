// The folder record read back: a stream of JSON taken field by field,
// every name checked to stand for one file of its folder (see record.h).
#include "store/record.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <istream>
#include <streambuf>

#include <nlohmann/json.hpp>

#include "common/report.h"
#include "common/source.h"
#include "store/conversion.h"
#include "store/names.h"
#include "platform/platform.h"

namespace {

using Json = nlohmann::json;

// One name of a folder: one path component, no separator, control byte or
// NUL, not "." or "..", and not a name the tool keeps for itself.
bool oneFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || isRecordName(name) || isTemporaryName(name))
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == '/' || c == '\\')
            return false;
    return true;
}

// A mod record's path: names of one file or folder each, "/" between them.
bool pathBelow(const std::string& path)
{
    size_t from = 0;
    for (;;) {
        const size_t slash = path.find('/', from);
        if (!oneFileName(path.substr(from, slash == std::string::npos ? std::string::npos : slash - from)))
            return false;
        if (slash == std::string::npos)
            return true;
        from = slash + 1;
    }
}


// Reads a record as the parser meets its values, field by field into the
// plain record: nothing but the record itself is held. A value of the wrong
// kind, or nesting past kDepth, spoils it.
class RecordReader : public nlohmann::json_sax<Json> {
public:
    explicit RecordReader(FolderRecord& record, const std::function<bool(const RecordedOutput&)>* each = nullptr)
        : r(record), each(each)
    {
    }
    std::string why;
    bool stopped = false;  // each said so
    size_t room = 0;  // the most outputs the text can hold: a "count" never reserves more

    bool null() override { return other("null"); }
    bool boolean(bool) override { return other("true or false"); }
    bool number_integer(number_integer_t v) override { return integer(int64_t(v)); }
    // The count of outputs the writer put before them: room made at once,
    // never more than the text can hold.
    bool count(uint64_t v)
    {
        if (each)
            return true;
        r.outputs.reserve(size_t(std::min<uint64_t>(v, room)));
        return true;
    }
    bool number_unsigned(number_unsigned_t v) override
    {
        if (at() == In::Top && field == "count")
            return count(v);
        if (at() == In::Input && (field == "inode" || field == "device")) {
            (field == "inode" ? r.input.inode : r.input.device) = uint64_t(v);
            return true;
        }
        return v <= uint64_t(INT64_MAX) ? integer(int64_t(v)) : other("a number out of range");
    }
    bool number_float(number_float_t, const string_t&) override { return other("a fraction"); }
    bool binary(binary_t&) override { return other("binary"); }
    bool string(string_t& v) override
    {
        if (Hash128* hash = hashField()) {
            if (!Hash128::fromHex(v, *hash))
                return spoil("a \"xxh3_128\" that is not 32 hexadecimal digits");
            hashSeen = hashSeen || at() == In::Output;
            return true;
        }
        std::string* field = textField();
        if (field) {
            *field = v;
            return true;
        }
        return other("a text");
    }
    bool start_object(std::size_t) override
    {
        In next = In::Skip;
        if (stack.empty())
            next = In::Top;
        else if (at() == In::Top && field == "input")
            next = In::Input;
        else if (at() == In::Outputs)
            next = In::Output, r.outputs.emplace_back(), hexName.clear(), hashSeen = false;
        else if (at() == In::Output && field == "before")
            next = In::Before;
        else if (at() != In::Skip && isKnown())
            return spoil("an object where \"" + field + "\" is expected to hold something else");
        return enter(next);
    }
    bool end_object() override
    {
        if (at() == In::Output && !settleName(r.outputs.back().name))
            return false;
        if (at() == In::Output && !hashSeen)
            return spoil("an output without its \"xxh3_128\"");
        if (at() == In::Output && each) {
            // Handed on and forgotten: a long record is never held whole.
            if (!r.outputs.back().name.empty() && !(r.tool == "assetpack" ? pathBelow(r.outputs.back().name)
                                                                          : oneFileName(r.outputs.back().name)))
                return spoil("it names a file outside its folder or of the tool's own: " +
                             escapeControls(r.outputs.back().name));
            stopped = !(*each)(r.outputs.back());
            r.outputs.pop_back();
            if (stopped)
                return false;
        }
        if (at() == In::Input && !settleName(r.inputName))
            return false;
        stack.pop_back();
        return true;
    }
    bool start_array(std::size_t) override
    {
        if (at() == In::Top && field == "outputs")
            return enter(In::Outputs);
        if (at() == In::Outputs || (at() != In::Skip && isKnown()))
            return spoil("a list where \"" + field + "\" is expected to hold something else");
        return enter(In::Skip);
    }
    bool end_array() override
    {
        stack.pop_back();
        return true;
    }
    bool key(string_t& k) override
    {
        field = k;
        return true;
    }
    bool parse_error(std::size_t at, const std::string&, const nlohmann::detail::exception&) override
    {
        if (why.empty())
            why = "it is not JSON, or is cut off (byte " + std::to_string(at) + ")";
        return false;
    }

private:
    enum class In { Top, Input, Outputs, Output, Before, Skip };
    static constexpr size_t kDepth = 16;
    FolderRecord& r;
    const std::function<bool(const RecordedOutput&)>* each;
    std::vector<In> stack;
    std::string field, hexName;
    bool hashSeen = false;  // the output being read has its hash

    In at() const { return stack.empty() ? In::Skip : stack.back(); }
    bool enter(In in)
    {
        if (stack.size() >= kDepth)
            return spoil("it nests deeper than a record does");
        stack.push_back(in);
        return true;
    }
    bool spoil(const std::string& reason)
    {
        if (why.empty())
            why = reason;
        return false;
    }
    bool other(const char* what)
    {
        return at() == In::Skip || (at() != In::Outputs && !isKnown()) ? true
                                                                       : spoil(std::string(what) + " where \"" + field +
                                                                               "\" is expected to hold something else");
    }
    // A field this version reads (an unknown one is passed over).
    bool isKnown() { return textField() || hashField() || numberField() || inodeField(); }
    Hash128* hashField()
    {
        if (field != "xxh3_128")
            return nullptr;
        return at() == In::Input    ? &r.inputHash
               : at() == In::Output ? &r.outputs.back().hash
               : at() == In::Before ? &r.outputs.back().beforeHash
                                    : nullptr;
    }
    bool inodeField() const { return at() == In::Input && (field == "inode" || field == "device"); }
    std::string* textField()
    {
        switch (at()) {
        case In::Top:
            return field == "tool" ? &r.tool : field == "version" ? &r.version : field == "formats" ? &r.formats : nullptr;
        case In::Input:
            return field == "name" ? &r.inputName : field == "name_bytes" ? &hexName : nullptr;
        case In::Output: {
            RecordedOutput& o = r.outputs.back();
            return field == "name" ? &o.name : field == "name_bytes" ? &hexName : field == "shows" ? &o.shows : nullptr;
        }
        default:
            return nullptr;
        }
    }
    int64_t* numberField()
    {
        switch (at()) {
        case In::Top:
            return field == "record" ? &r.format : nullptr;
        case In::Input:
            return field == "size" ? &r.input.size : field == "mtime" ? &r.input.mtime : field == "ctime" ? &r.input.ctime
                                                                                                   : nullptr;
        case In::Output: {
            RecordedOutput& o = r.outputs.back();
            return field == "size" ? &o.size : field == "mtime" ? &o.mtime : nullptr;
        }
        case In::Before:
            return field == "size" ? &r.outputs.back().beforeSize : nullptr;
        default:
            return nullptr;
        }
    }
    bool integer(int64_t v)
    {
        if (inodeField() && v >= 0) {
            (field == "inode" ? r.input.inode : r.input.device) = uint64_t(v);
            return true;
        }
        int64_t* field = numberField();
        if (!field)
            return other("a number");
        *field = v;
        return true;
    }
    // A name kept in "name_bytes" takes the place of its shown form.
    bool settleName(std::string& name)
    {
        if (!hexName.empty() && !fromHex(hexName, name))
            return spoil("a \"name_bytes\" that is not hexadecimal");
        hexName.clear();
        return true;
    }
};

// Checks what the fields say; false, with why, for anything a record never holds.
bool checkRecord(FolderRecord& record, std::string& why)
{
    if (record.format > kRecordFormat) {
        why = "it was written by a newer version of the tool (record format " + std::to_string(record.format) + ")";
        return false;
    }
    if (record.tool != "assetdump" && record.tool != "assetpack") {
        why = "it names no tool of this package";
        return false;
    }
    std::vector<RecordedOutput>& v = record.outputs;
    std::sort(v.begin(), v.end(), [](const RecordedOutput& a, const RecordedOutput& b) { return a.name < b.name; });
    for (size_t i = 0; i < v.size(); i++) {
        const RecordedOutput& o = v[i];
        const bool named = record.tool == "assetpack" ? pathBelow(o.name) : oneFileName(o.name);
        if (!named || (i > 0 && v[i - 1].name == o.name)) {
            why = std::string(named ? "it lists a name twice: " : "it names a file outside its folder or of the tool's own: ") +
                  escapeControls(o.name);
            return false;
        }
        if (o.size < 0) {
            why = "its size or hash of " + escapeControls(o.name) + " is not one";
            return false;
        }
    }
    return true;
}

}  // namespace

namespace {

// A record file read a piece at a time, hashed as it goes by.
class RecordStream : public std::streambuf {
public:
    RecordStream(Source& in, Hasher& hasher) : in(in), hasher(hasher) {}

protected:
    int_type underflow() override
    {
        const size_t piece = size_t(std::min<int64_t>(in.size - at, 1 << 16));
        const uint8_t* bytes = piece ? view(in, at, piece) : nullptr;
        if (!bytes)
            return traits_type::eof();
        hasher.add(bytes, piece);
        at += int64_t(piece);
        char* begin = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes));
        setg(begin, begin, begin + piece);
        return traits_type::to_int_type(*begin);
    }

private:
    Source& in;
    Hasher& hasher;
    int64_t at = 0;
};

template <typename Input>
bool parseInto(Input&& input, size_t room, FolderRecord& record, std::string& why,
               const std::function<bool(const RecordedOutput&)>* each, bool& stopped)
{
    record = FolderRecord();
    record.format = 1;  // records before the format was written in them
    RecordReader reader(record, each);
    reader.room = room;
    why.clear();
    const bool parsed = Json::sax_parse(std::forward<Input>(input), &reader, Json::input_format_t::json, true);
    stopped = reader.stopped;
    if (parsed && checkRecord(record, why))
        return true;
    if (why.empty())
        why = reader.why.empty() ? "it is not a record" : reader.why;
    const int64_t format = record.format;  // a newer version's record is told apart
    record = FolderRecord();
    record.format = format;
    return false;
}

}  // namespace

bool parseRecord(const std::string& text, FolderRecord& record, std::string& why)
{
    bool stopped = false;
    return parseInto(text, text.size() / 64, record, why, nullptr, stopped);
}

RecordRead loadRecord(const std::string& folder, FolderRecord& record, std::string& why, Hash128* textHash,
                      const std::function<bool(const RecordedOutput&)>& each)
{
    const std::string path = createFile(kRecordName, folder);
    std::string what;
    record = FolderRecord();
    const PathKind kind = linkKind(path, what);
    if (kind == PathKind::Missing && errno == ENOENT)
        return RecordRead::Missing;
    Source in;
    if (kind == PathKind::Link)
        why = "it is a symbolic link";
    else if (kind == PathKind::Directory)
        why = "it is a folder";
    else if (kind != PathKind::Regular)
        why = "it is not a regular file" + (what.empty() ? std::string() : ": it is " + what);
    else if (!openSource(in, path))
        why = "it cannot be read: " + systemReason(errno);
    else if (in.size > (int64_t(64) << 20))
        why = "it is larger than a record grows (64 MiB)";
    if (!why.empty())
        return RecordRead::Spoiled;
    Hasher hasher;
    RecordStream stream(in, hasher);
    std::istream text(&stream);
    bool stopped = false;
    const bool trusted = parseInto(text, size_t(in.size / 64), record, why, each ? &each : nullptr, stopped);
    if (in.readError && !stopped)
        why = "it cannot be read: " + readFailure(in);
    if (textHash)
        *textHash = hasher.digest();
    return trusted && !in.readError ? RecordRead::Trusted : stopped ? RecordRead::Stopped : RecordRead::Spoiled;
}

const RecordedOutput* findOutput(const FolderRecord& record, const std::string& name)
{
    auto it = std::lower_bound(record.outputs.begin(), record.outputs.end(), name,
                               [](const RecordedOutput& o, const std::string& n) { return o.name < n; });
    return it != record.outputs.end() && it->name == name ? &*it : nullptr;
}
