// The gallery's pages. A page joins what the input holds (its listing, the
// pixels not walked) with what its folder's record says was written for each
// item ("entry 3": HERO.BMP and HERO.MASK.BMP), so that every picture is
// shown with its name, size and palette. Every text that comes from a file is
// escaped; every file is written under a temporary name and renamed.
#include "app/gallery.h"

#include <algorithm>
#include <cerrno>
#include <map>

#include "back/edits.h"
#include "platform/platform.h"
#include "store/names.h"
#include "store/place.h"
#include "store/record.h"
#include "store/temporaries.h"

namespace {

constexpr const char* kMarker = "<meta name=\"generator\" content=\"assetdump gallery\">";
constexpr const char* kPagesFolder = "index.pages";
constexpr size_t kPicturesPerPart = 500;   // a part of a page stays far below 2 MB
constexpr size_t kFilesPerIndex = 2000;
constexpr int kThumbnail = 128;            // pixels a thumbnail's box is wide and high
constexpr size_t kTextShown = 256 << 10;   // of a text output; the rest is behind its link

std::string html(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    return out;
}

// A path as a URL path: "/" between names, every byte but the unreserved
// ones percent-encoded, then escaped for an attribute.
std::string url(const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (char c : path) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (isPathSeparator(c))
            out += '/';
        else if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || std::strchr("-._~", c))
            out += c;
        else
            out += {'%', hex[b >> 4], hex[b & 15]};
    }
    return out;
}

bool isAbsolute(const std::string& path)
{
    return (!path.empty() && isPathSeparator(path[0])) || (path.size() > 1 && path[1] == ':');
}

// Where a page links to an output folder: below --output, up from the
// pages' folder; otherwise from the gallery in the current folder.
std::string folderLink(const std::string& folder, const std::string& root, bool underRoot)
{
    if (underRoot && folder.size() > root.size() && folder.compare(0, root.size(), root) == 0)
        return "../" + url(folder.substr(root.size() + 1)) + "/";
    if (isAbsolute(folder))
        return "file://" + std::string(folder[0] == '/' ? "" : "/") + url(folder) + "/";
    return "../../" + url(folder) + "/";
}

bool endsWithNoCase(const std::string& name, const std::string& end)
{
    if (name.size() < end.size())
        return false;
    for (size_t i = 0; i < end.size(); i++)
        if (std::toupper(static_cast<unsigned char>(name[name.size() - end.size() + i])) != end[i])
            return false;
    return true;
}

bool isPicture(const std::string& name)
{
    return endsWithNoCase(name, ".BMP") || endsWithNoCase(name, ".PNG");
}

bool isMask(const std::string& name)
{
    return name.find(".MASK.") != std::string::npos || name.find(".mask.") != std::string::npos;
}

bool isPaletteFile(const std::string& name)
{
    return endsWithNoCase(name, ".PAL") || endsWithNoCase(name, ".GPL") || endsWithNoCase(name, ".ACT");
}

// The first bytes of a text output (more: it goes on).
bool readHead(const std::string& path, std::string& text, bool& more)
{
    FileStamp stamp;
    const int fd = openInputFile(path, stamp);
    if (fd < 0)
        return false;
    text.resize(kTextShown);
    const int64_t got = readAt(fd, text.data(), text.size(), 0);
    closeFile(fd);
    if (got < 0)
        return false;
    text.resize(size_t(got));
    more = stamp.size > got;
    return true;
}

// One file's page, as what it holds and what was written for it.
struct FilePage {
    const GalleryFile* file;
    Listing listing;
    bool listed = false;
    std::map<std::string, std::vector<std::string>> shown;  // outputs by the record they show
    bool recorded = false;
    std::string link;  // to its output folder
};

std::string thumbnail(const std::string& link, const std::string& image, const std::string& mask, int32_t width,
                      int32_t height)
{
    if (width <= 0 || height <= 0)
        return "<span class=\"t e\">empty</span>";
    int32_t w = width, h = height;
    if (width > kThumbnail || height > kThumbnail) {
        const int32_t d = (std::max(width, height) + kThumbnail - 1) / kThumbnail;
        w = std::max(1, width / d), h = std::max(1, height / d);
    } else {
        const int32_t zoom = std::min(kThumbnail / width, kThumbnail / height);
        w = width * zoom, h = height * zoom;
    }
    const std::string size = "width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\" alt=\"\" loading=\"lazy\"";
    const std::string href = link + url(image);
    if (mask.empty())
        return "<a class=\"t\" href=\"" + href + "\"><img src=\"" + href + "\" " + size + "></a>";
    // The mask applied without a CSS mask (which a page opened from disk may
    // not load): the picture times the mask, screened with the checkerboard
    // times the inverted mask, so a transparent pixel shows the board.
    const std::string m = "<img src=\"" + link + url(mask) + "\" " + size;
    return "<a class=\"t\" href=\"" + href + "\"><span class=\"l\"><img src=\"" + href + "\" " + size + ">" + m +
           " class=\"mm\"></span><span class=\"l k\" style=\"width:" + std::to_string(w) + "px;height:" +
           std::to_string(h) + "px\">" + m + " class=\"mi\"></span></a>";
}

std::string caption(const ListedItem& item, const std::string& fallback)
{
    std::string text = item.name.empty() ? fallback : storedText(item.name);
    std::string line = html(text) + "<br>" + std::to_string(item.width) + " &times; " + std::to_string(item.height);
    if (item.palette >= 0)
        line += " &middot; palette " + std::to_string(item.palette);
    if (!item.detail.empty())
        line += "<br>" + html(item.detail);
    return line;
}

std::string swatches(const std::string& folder, const std::string& file)
{
    std::string path = joinPath(folder, file);
    ColourTable table{};
    int32_t count = 0;
    ReportSink quiet;
    ReportSink* was = currentReportSink();
    useReportSink(&quiet);
    const Edited read = readEditedPalette(path, table, count);
    useReportSink(was);
    if (read != Edited::Read)
        return "<p class=\"note\">the palette file cannot be read</p>";
    static const char* hex = "0123456789abcdef";
    std::string grid = "<div class=\"sw\">";
    for (int32_t i = 0; i < 256; i++) {
        if (i >= count) {
            grid += "<i class=\"x\"></i>";
            continue;
        }
        grid += "<i style=\"background:#";
        for (int k : {2, 1, 0})
            grid += {hex[table[4 * i + k] >> 4], hex[table[4 * i + k] & 15]};
        grid += "\"></i>";
    }
    return grid + "</div>";
}

// The pictures and palettes of a page, each a figure, in file order.
std::vector<std::string> figures(const FilePage& page)
{
    std::vector<std::string> out;
    const std::string& folder = page.file->folder;
    for (const ListedItem& item : page.listing.items) {
        if (std::strcmp(item.kind, "palette") == 0) {
            auto found = page.shown.find(shownAs(item));
            std::string name = "palette " + std::to_string(item.index) +
                               (item.name.empty() ? "" : " &ldquo;" + html(storedText(item.name)) + "&rdquo;");
            if (found == page.shown.end())
                out.push_back("<figure class=\"p\"><p class=\"note\">no file</p><figcaption>" + name +
                              "</figcaption></figure>");
            else
                for (const std::string& file : found->second)
                    if (isPaletteFile(file))
                        out.push_back("<figure class=\"p\">" + swatches(folder, file) + "<figcaption><a href=\"" +
                                      page.link + url(file) + "\">" + html(file) + "</a><br>" + name +
                                      "</figcaption></figure>");
            continue;
        }
        if (item.width < 0)
            continue;
        const std::string label = shownAs(item);
        auto found = page.shown.find(label.empty() ? "file" : label);
        if (found == page.shown.end() && label.empty())
            found = page.shown.find("");
        std::string image, mask;
        if (found != page.shown.end())
            for (const std::string& file : found->second)
                if (isPicture(file))
                    (isMask(file) ? mask : image) = file;
        std::string fallback = label.empty() ? std::string(item.kind) : label;
        if (std::strcmp(item.kind, "glyph") == 0)
            fallback = "glyph " + std::to_string(item.index);
        const std::string box = image.empty() ? "<span class=\"t e\">no file</span>"
                                              : thumbnail(page.link, image, mask, item.width, item.height);
        out.push_back("<figure>" + box + "<figcaption>" + caption(item, fallback) + "</figcaption></figure>");
    }
    return out;
}

// The rows of what a page holds besides pictures and palettes.
std::string contents(const FilePage& page)
{
    std::string rows;
    for (const ListedItem& item : page.listing.items) {
        if (item.width >= 0 || std::strcmp(item.kind, "palette") == 0)
            continue;
        rows += "<tr><td>" + std::string(item.kind) + "</td><td>" + std::to_string(item.index) + "</td><td>" +
                html(storedText(item.name)) + "</td><td>" +
                (item.count >= 0 ? std::to_string(item.count) + " " + item.counted : std::string()) + "</td><td>" +
                html(item.detail) + "</td></tr>\n";
    }
    return rows.empty() ? "" : "<h2>Contents</h2><table><tr><th>kind</th><th>#</th><th>name</th><th>count</th>"
                               "<th>detail</th></tr>\n" + rows + "</table>\n";
}

// The text outputs, each in a block of its own, folded.
std::string texts(const FilePage& page)
{
    std::string out;
    for (const auto& [shows, files] : page.shown)
        for (const std::string& file : files) {
            if (isPicture(file) || isPaletteFile(file))
                continue;
            std::string text;
            bool more = false;
            if (!readHead(joinPath(page.file->folder, file), text, more))
                continue;
            out += "<details><summary>" + html(file) + "</summary><pre>" + html(text) + "</pre>" +
                   (more ? "<p class=\"note\">The text goes on: <a href=\"" + page.link + url(file) +
                               "\">the whole file</a>.</p>"
                         : "") +
                   "</details>\n";
        }
    return out.empty() ? "" : "<h2>Texts</h2>\n" + out;
}

std::string pageHead(const std::string& title, const std::string& css)
{
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">" + std::string(kMarker) +
           "<meta name=\"viewport\" content=\"width=device-width\"><title>" + title +
           "</title><link rel=\"stylesheet\" href=\"" + css + "\"></head><body>\n";
}

std::string partName(size_t number, size_t part)
{
    return std::to_string(number) + (part ? "-" + std::to_string(part + 1) : "") + ".html";
}

std::string partLinks(size_t number, size_t parts, size_t current)
{
    if (parts < 2)
        return "";
    std::string links = "<nav class=\"parts\">Part:";
    for (size_t p = 0; p < parts; p++)
        links += p == current ? " <b>" + std::to_string(p + 1) + "</b>"
                              : " <a href=\"" + partName(number, p) + "\">" + std::to_string(p + 1) + "</a>";
    return links + "</nav>\n";
}

std::string resultLine(const GalleryFile& f)
{
    if (!f.job.ok)
        return "<p class=\"failed\">FAILED! " + html(f.reasons) + "</p>";
    return std::string("<p class=\"done\">DONE!") + (f.job.unchanged ? " (unchanged since the run before)" : "") +
           "</p>";
}

const char* const kStyle =
    "body{font:14px/1.4 sans-serif;margin:0;padding:8px 16px;color:#222;background:#fafafa}\n"
    "h1{font-size:20px;margin:4px 0;word-break:break-all}h2{font-size:16px;margin:16px 0 4px}\n"
    ".failed{color:#b00000;white-space:pre-wrap}.done{color:#006000}.note{color:#666}\n"
    ".grid{display:flex;flex-wrap:wrap;gap:8px}\n"
    "figure{margin:0;width:144px;padding:4px;background:#fff;border:1px solid #ddd}\n"
    "figure.p{width:196px}figcaption{font-size:12px;word-break:break-all}\n"
    ".t{display:flex;align-items:flex-start;justify-content:flex-start;width:128px;height:128px;"
    "background:repeating-conic-gradient(#c8c8c8 0 25%,#fff 0 50%) 0 0/16px 16px}\n"
    ".t.e{align-items:center;justify-content:center;background:#eee;color:#666}\n"
    "img{image-rendering:pixelated;image-rendering:crisp-edges;display:block}\n"
    ".t{position:relative;isolation:isolate}.l{position:absolute;left:0;top:0;isolation:isolate}\n"
    ".l img{position:absolute;left:0;top:0}.mm{mix-blend-mode:multiply}\n"
    ".k{mix-blend-mode:screen;background:repeating-conic-gradient(#c8c8c8 0 25%,#fff 0 50%) 0 0/16px 16px}\n"
    ".mi{filter:invert(1);mix-blend-mode:multiply}\n"
    ".sw{display:grid;grid-template-columns:repeat(16,12px);grid-auto-rows:12px;gap:0}\n"
    ".sw i{display:block}.sw i.x{background:repeating-conic-gradient(#c8c8c8 0 25%,#fff 0 50%) 0 0/6px 6px}\n"
    "table{border-collapse:collapse;background:#fff}td,th{border:1px solid #ddd;padding:2px 6px;text-align:left;"
    "vertical-align:top}td{word-break:break-all}\n"
    "pre{background:#fff;border:1px solid #ddd;padding:4px;overflow:auto;max-height:480px}\n"
    "nav{margin:4px 0}\n";

// Writes text as the file at path: under a temporary name beside it, then renamed.
bool writeWhole(const std::string& folder, const std::string& name, const std::string& text)
{
    unsigned long id = 0;
    int fd = -1;
    const std::string temp = makeTemporary(folder + kPathSeparator, false, id, [&](const std::string& t) {
        fd = createNewFile(t);
        return fd >= 0;
    });
    if (temp.empty())
        return refuse(joinPath(folder, name), "cannot be written: %s", systemReason(errno).c_str());
    bool ok = writeAll(fd, text.data(), text.size());
    int error = ok ? 0 : errno;
    ok = closeFile(fd) && ok;
    if (ok && !replaceFile(temp, joinPath(folder, name)))
        ok = false;
    if (!ok) {
        error = error ? error : errno;
        removeFile(temp);
    }
    forgetTemporary(id);
    return ok || refuse(joinPath(folder, name), "cannot be written: %s", systemReason(error).c_str());
}

// An index.html there that this tool did not write: it is never replaced.
bool foreignIndex(const std::string& path)
{
    std::string head;
    bool more = false;
    if (!readHead(path, head, more))
        return false;  // none (or unreadable: replacing it fails with the system's reason)
    return head.find(kMarker) == std::string::npos;
}

std::string typeOf(const FilePage& page)
{
    return page.listed && *page.listing.type ? page.listing.type : "?";
}

}  // namespace

void galleryAdd(Gallery& gallery, const Job& job)
{
    GalleryFile f;
    f.job = job;
    f.reasons = job.ok ? std::string() : job.report.err;
    while (!f.reasons.empty() && f.reasons.back() == '\n')
        f.reasons.pop_back();
    f.job.report = ReportSink();
    f.folder = job.place.folder.empty() ? placeConversion({}, job.input, "").folder : job.place.folder;
    gallery.files.push_back(std::move(f));
}

bool writeGallery(const Gallery& gallery, const Options& options, const Program& program)
{
    const bool underRoot = !options.output.empty();
    const std::string root = underRoot ? options.output : std::string("assetdump-gallery");
    const std::string pages = joinPath(root, kPagesFolder);
    const std::string indexPath = joinPath(root, "index.html");
    if (foreignIndex(indexPath))
        return refuse(indexPath, "is not a gallery this tool wrote: it is kept, and no gallery is written");
    if (!makeDirectory(root) || !makeDirectory(pages))
        return refuse(pages, "cannot be made: %s", systemReason(errno).c_str());
    bool whole = writeWhole(pages, "gallery.css", kStyle);

    std::vector<std::string> written{"gallery.css"};
    std::string rows;
    std::vector<std::string> indexRows;
    for (size_t n = 0; n < gallery.files.size(); n++) {
        const GalleryFile& f = gallery.files[n];
        FilePage page;
        page.file = &f;
        page.link = folderLink(f.folder, root, underRoot);
        page.listing.quick = true;
        {
            ReportSink quiet;  // its reasons were told by the run
            useReportSink(&quiet);
            page.listed = f.job.kind != Kind::Unknown && program.list && program.list(f.job, page.listing);
            page.listed = page.listed || *page.listing.type;
            FolderRecord record;
            std::string why;
            if (!f.job.folder && f.job.kind != Kind::Unknown &&
                loadRecord(f.folder, record, why) == RecordRead::Trusted) {
                page.recorded = true;
                for (const RecordedOutput& o : record.outputs)
                    page.shown[o.shows].push_back(o.name);
            }
            useReportSink(nullptr);
        }
        const std::vector<std::string> all = figures(page);
        const size_t parts = std::max<size_t>(1, (all.size() + kPicturesPerPart - 1) / kPicturesPerPart);
        const std::string title = html(storedText(f.job.shown));
        for (size_t part = 0; part < parts; part++) {
            std::string text = pageHead(title, "gallery.css") + "<nav><a href=\"../index.html\">All files</a>";
            if (n > 0)
                text += " &middot; <a href=\"" + partName(n, 0) + "\">previous file</a>";
            if (n + 1 < gallery.files.size())
                text += " &middot; <a href=\"" + partName(n + 2, 0) + "\">next file</a>";
            text += "</nav>\n<h1>" + title + "</h1>\n<p>" + html(typeOf(page)) +
                    (page.listed ? " &middot; " + std::to_string(page.listing.size) + " bytes" : "") +
                    (page.recorded ? " &middot; <a href=\"" + page.link + "\">its output folder</a>" : "") + "</p>\n" +
                    resultLine(f) + partLinks(n + 1, parts, part);
            if (part == 0)
                text += contents(page);
            const size_t from = part * kPicturesPerPart, to = std::min(all.size(), from + kPicturesPerPart);
            if (to > from) {
                text += "<h2>Pictures and palettes</h2>\n<div class=\"grid\">\n";
                for (size_t i = from; i < to; i++)
                    text += all[i] + "\n";
                text += "</div>\n";
            }
            if (part == 0)
                text += texts(page);
            text += partLinks(n + 1, parts, part) + "</body></html>\n";
            whole = writeWhole(pages, partName(n + 1, part), text) && whole;
            written.push_back(partName(n + 1, part));
        }
        indexRows.push_back("<tr><td>" + std::to_string(n + 1) + "</td><td><a href=\"" + std::string(kPagesFolder) +
                            "/" + partName(n + 1, 0) + "\">" + title + "</a></td><td>" + html(typeOf(page)) +
                            "</td><td>" + std::to_string(all.size()) + "</td><td class=\"" +
                            (f.job.ok ? "done\">DONE!" : "failed\">FAILED! " + html(f.reasons)) + "</td></tr>\n");
    }

    // The index: its first part at the root, the others among the pages.
    const size_t indexParts = std::max<size_t>(1, (indexRows.size() + kFilesPerIndex - 1) / kFilesPerIndex);
    for (size_t part = 0; part < indexParts; part++) {
        const bool first = part == 0;
        const std::string up = first ? std::string(kPagesFolder) + "/" : "";
        auto partLink = [&](size_t p) {
            return p == 0 ? (first ? "index.html" : "../index.html") : up + "list-" + std::to_string(p + 1) + ".html";
        };
        std::string text = pageHead("assetdump gallery", up + "gallery.css") + "<h1>" +
                           std::to_string(gallery.files.size()) + " files</h1>\n";
        std::string nav;
        if (indexParts > 1) {
            nav = "<nav class=\"parts\">Part:";
            for (size_t p = 0; p < indexParts; p++)
                nav += p == part ? " <b>" + std::to_string(p + 1) + "</b>"
                                 : " <a href=\"" + partLink(p) + "\">" + std::to_string(p + 1) + "</a>";
            nav += "</nav>\n";
        }
        text += nav + "<table><tr><th>#</th><th>file</th><th>type</th><th>pictures</th><th>result</th></tr>\n";
        for (size_t i = part * kFilesPerIndex; i < std::min(indexRows.size(), (part + 1) * kFilesPerIndex); i++) {
            std::string row = indexRows[i];
            if (!first) {  // from among the pages, their links lose the folder
                const std::string from = std::string("href=\"") + kPagesFolder + "/";
                row.replace(row.find(from), from.size(), "href=\"");
            }
            text += row;
        }
        text += "</table>\n" + nav + "</body></html>\n";
        if (first) {
            whole = writeWhole(root, "index.html", text) && whole;
        } else {
            const std::string name = "list-" + std::to_string(part + 1) + ".html";
            whole = writeWhole(pages, name, text) && whole;
            written.push_back(name);
        }
    }

    // Pages of an earlier gallery with more files go; nothing else there is touched.
    std::vector<std::string> names;
    if (listDirectory(pages, names))
        for (const std::string& name : names) {
            const bool ours = endsWithNoCase(name, ".HTML") &&
                              name.find_first_not_of("0123456789-") == name.size() - 5 &&
                              std::isdigit(static_cast<unsigned char>(name[0]));
            const bool list = name.compare(0, 5, "list-") == 0 && endsWithNoCase(name, ".HTML");
            if ((ours || list) && std::find(written.begin(), written.end(), name) == written.end())
                removeFile(joinPath(pages, name));
        }
    if (whole)
        reportDetail(indexPath, "the gallery is written");
    return whole;
}
