// The lines and JSON of --list. Every line has six tab-separated columns:
// path, kind, index, name, size, detail ("-" where a column has nothing),
// the file's own line first; then the result line, as a conversion prints it.
#include "app/list.h"

#include "platform/platform.h"
#include "store/names.h"
#include "store/record.h"

const char* const kJsonListStart = "{\"files\": [\n";
const char* const kJsonListEnd = "\n]}\n";

namespace {

std::string orDash(const std::string& text)
{
    return text.empty() ? "-" : text;
}

// The detail column: what the count counts, the palette, then the rest.
std::string detailOf(const ListedItem& item)
{
    std::string detail;
    auto add = [&](const std::string& part) { detail += (detail.empty() ? "" : ", ") + part; };
    if (item.count >= 0 && item.width >= 0)
        add(std::to_string(item.count) + " " + item.counted);
    else if (item.count >= 0)
        add(item.counted);
    if (item.palette >= 0)
        add("palette " + std::to_string(item.palette));
    if (!item.detail.empty())
        add(item.detail);
    return detail;
}

std::string lines(const std::string& shown, const Listing& listing)
{
    const std::string path = escapeControls(shown);
    std::string text = path + "\tfile\t-\t-\t" + std::to_string(listing.size) + "\t" + listing.type + "\n";
    for (const ListedItem& item : listing.items) {
        const std::string size = item.width >= 0 ? std::to_string(item.width) + "x" + std::to_string(item.height)
                                 : item.count >= 0 ? std::to_string(item.count)
                                                   : std::string();
        text += path + "\t" + item.kind + "\t" + std::to_string(item.index) + "\t" + orDash(escapeControls(item.name)) +
                "\t" + orDash(size) + "\t" + orDash(escapeControls(detailOf(item))) + "\n";
    }
    return text;
}

std::string json(const Listing& listing)
{
    std::string text = "\"type\": " + jsonText(listing.type) + ", \"size\": " + std::to_string(listing.size) +
                       ", \"items\": [";
    for (size_t i = 0; i < listing.items.size(); i++) {
        const ListedItem& item = listing.items[i];
        text += std::string(i ? ",\n    " : "\n    ") + "{\"kind\": " + jsonText(item.kind) +
                ", \"index\": " + std::to_string(item.index);
        if (!item.name.empty())
            text += ", \"name\": " + jsonText(item.name);
        if (item.width >= 0)
            text += ", \"width\": " + std::to_string(item.width) + ", \"height\": " + std::to_string(item.height);
        if (item.count >= 0)
            text += ", " + jsonText(item.counted) + ": " + std::to_string(item.count);
        if (item.palette >= 0)
            text += ", \"palette\": " + std::to_string(item.palette);
        if (!item.detail.empty())
            text += ", \"detail\": " + jsonText(item.detail);
        text += "}";
    }
    return text + (listing.items.empty() ? "], " : "\n  ], ");
}

}  // namespace

bool listJob(const Job& job, const Program& program, ListForm form)
{
    Listing listing;
    const bool ok = job.kind != Kind::Unknown && program.list(job, listing);
    if (job.kind == Kind::Unknown)
        reportProblem(job.input.empty() ? job.shown : job.input, job.why);
    // What a damaged file showed before its damage is listed too, as far as it goes.
    FileStamp stamp;
    if (listing.size == 0 && *listing.type && fileStamp(job.input, stamp))
        listing.size = stamp.size;
    if (*listing.type)
        reportListing(form == ListForm::Json ? json(listing) : lines(job.shown, listing));
    return ok;
}

std::string jsonResult(const Job& job)
{
    std::string text = "  {\"path\": " + jsonText(job.shown) + ", " + job.report.out + "\"result\": \"" +
                       (job.ok ? "DONE!" : "FAILED!") + "\"";
    if (!job.ok) {
        std::string reasons = job.report.err;
        while (!reasons.empty() && reasons.back() == '\n')
            reasons.pop_back();
        text += ", \"reason\": " + jsonText(reasons);
    }
    return text + "}";
}
