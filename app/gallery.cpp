// The gallery's pages. A page joins what the input holds (its listing, the
// pixels not walked) with what its folder's record says was written for each
// item ("entry 3": HERO.BMP and HERO.MASK.BMP), so that every picture is
// shown with its name, size and palette. Every text that comes from a file is
// escaped; every file is written under a temporary name and renamed.
#include "app/gallery.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>
#include <unordered_map>

#include "back/edits.h"
#include "common/source.h"
#include "pictures/palette.h"
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

// Where a page links to an output folder: below --output, up from the
// pages' folder; otherwise from the gallery in the current folder.
std::string folderLink(const std::string& folder, const std::string& root, bool underRoot)
{
    if (underRoot && folder.size() > root.size() && folder.compare(0, root.size(), root) == 0)
        return "../" + url(folder.substr(root.size() + 1)) + "/";
    if (folder.size() > 1 && folder[1] == ':')  // a drive: its colon stays
        return "file:///" + folder.substr(0, 2) + url(folder.substr(2)) + "/";
    if (!folder.empty() && isPathSeparator(folder[0]))
        return "file://" + url(folder) + "/";
    return "../../" + url(folder) + "/";
}

// What an output is, by the endings the converters give names.
bool isPicture(const std::string& name)
{
    return name.ends_with(btmp) || name.ends_with(pngEnding);
}

bool isMask(const std::string& name)
{
    return name.ends_with(mask);
}

bool isPaletteFile(const std::string& name)
{
    for (PaletteFormat f : {PaletteFormat::Raw, PaletteFormat::Jasc, PaletteFormat::Gpl, PaletteFormat::Act})
        if (name.ends_with(std::string(".") + paletteExtension(f)))
            return true;
    return false;
}

// The first bytes of a text output (more: it goes on).
bool readHead(const std::string& path, std::string& text, bool& more)
{
    Source in;
    if (!openSource(in, path))
        return false;
    const size_t n = size_t(std::min<int64_t>(in.size, int64_t(kTextShown)));
    const uint8_t* bytes = view(in, 0, n);
    if (!bytes)
        return false;
    text.assign(reinterpret_cast<const char*>(bytes), n);
    more = in.size > int64_t(n);
    return true;
}

// One file's page, as what it holds and what was written for it.
struct FilePage {
    const GalleryFile* file;
    Listing listing;
    bool listed = false;
    std::unordered_map<std::string, std::vector<std::string>> shown;  // outputs by the record they show
    bool recorded = false;
    std::string link;  // to its output folder
};

// Appends a picture's box: its image at the largest whole zoom that fits
// the box (or cut down by a whole divisor when it is larger), over the board.
void appendThumbnail(std::string& out, const std::string& link, const std::string& image, const std::string& mask,
                     int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0) {
        out += "<span class=\"t e\">empty</span>";
        return;
    }
    int32_t w = width, h = height;
    if (width > kThumbnail || height > kThumbnail) {
        const int32_t d = (std::max(width, height) + kThumbnail - 1) / kThumbnail;
        w = std::max(1, width / d), h = std::max(1, height / d);
    } else {
        const int32_t zoom = std::min(kThumbnail / width, kThumbnail / height);
        w = width * zoom, h = height * zoom;
    }
    const std::string ws = std::to_string(w), hs = std::to_string(h);
    const std::string href = link + url(image);
    auto img = [&](const std::string& src, const char* cls) {
        out += "<img src=\"";
        out += src;
        out += "\" width=\"" + ws + "\" height=\"" + hs + "\" alt=\"\" loading=\"lazy\"";
        out += cls;
        out += '>';
    };
    out += "<a class=\"t\" href=\"" + href + "\">";
    if (mask.empty()) {
        img(href, "");
    } else {
        // The mask applied without a CSS mask (which a page opened from disk
        // may not load): the picture times the mask, screened with the board
        // times the inverted mask, so a transparent pixel shows the board.
        const std::string m = link + url(mask);
        out += "<span class=\"l\">";
        img(href, "");
        img(m, " class=\"mm\"");
        out += "</span><span class=\"l k\" style=\"width:" + ws + "px;height:" + hs + "px\">";
        img(m, " class=\"mi\"");
        out += "</span>";
    }
    out += "</a>";
}

// A name a file stores, as a page shows it.
std::string shownName(const std::string& stored)
{
    return html(escapeControls(storedText(stored)));
}

void appendCaption(std::string& out, const ListedItem& item, const std::string& fallback)
{
    out += "<figcaption>";
    out += item.name.empty() ? fallback : shownName(item.name);
    out += "<br>" + std::to_string(item.width) + " &times; " + std::to_string(item.height);
    if (item.palette >= 0)
        out += " &middot; palette " + std::to_string(item.palette);
    if (!item.detail.empty())
        out += "<br>" + html(item.detail);
    out += "</figcaption>";
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

// Whether an item has a figure: a palette, or anything with a picture.
bool hasFigure(const ListedItem& item)
{
    return item.width >= 0 || std::strcmp(item.kind, "palette") == 0;
}

// Appends an item's figure: a palette's swatches, or a picture's box.
void appendFigure(std::string& out, const FilePage& page, const ListedItem& item)
{
    if (std::strcmp(item.kind, "palette") == 0) {
        auto found = page.shown.find(shownAs(item));
        const std::string* file = nullptr;
        if (found != page.shown.end())
            for (const std::string& name : found->second)
                if (isPaletteFile(name) && !file)
                    file = &name;
        out += "<figure class=\"p\">";
        if (file)
            out += swatches(page.file->folder, *file) + "<figcaption><a href=\"" + page.link + url(*file) + "\">" +
                   html(escapeControls(*file)) + "</a><br>";
        else
            out += "<p class=\"note\">no file</p><figcaption>";
        out += "palette " + std::to_string(item.index) +
               (item.name.empty() ? "" : " &ldquo;" + shownName(item.name) + "&rdquo;") + "</figcaption></figure>\n";
        return;
    }
    // The whole file's pictures are a sprite's; the others are each an item's.
    const std::string label = shownAs(item);
    auto found = page.shown.find(label.empty() ? "file" : label);
    if (found == page.shown.end() && label.empty())
        found = page.shown.find("");
    const std::string* image = nullptr;
    const std::string* mask = nullptr;
    if (found != page.shown.end())
        for (const std::string& file : found->second)
            if (isPicture(file))
                (isMask(file) ? mask : image) = &file;
    out += "<figure>";
    if (image)
        appendThumbnail(out, page.link, *image, mask ? *mask : std::string(), item.width, item.height);
    else
        out += "<span class=\"t e\">no file</span>";
    appendCaption(out, item, std::strcmp(item.kind, "glyph") == 0 ? "glyph " + std::to_string(item.index)
                             : label.empty()                      ? std::string(item.kind)
                                                                  : label);
    out += "</figure>\n";
}

// The rows of what a page holds besides pictures and palettes.
std::string contents(const FilePage& page)
{
    std::string rows;
    for (const ListedItem& item : page.listing.items) {
        if (item.width >= 0 || std::strcmp(item.kind, "palette") == 0)
            continue;
        rows += "<tr><td>" + std::string(item.kind) + "</td><td>" + std::to_string(item.index) + "</td><td>" +
                shownName(item.name) + "</td><td>" +
                (item.count >= 0 ? std::to_string(item.count) + " " + item.counted : std::string()) + "</td><td>" +
                html(item.detail) + "</td></tr>\n";
    }
    return rows.empty() ? "" : "<h2>Contents</h2><table><tr><th>kind</th><th>#</th><th>name</th><th>count</th>"
                               "<th>detail</th></tr>\n" + rows + "</table>\n";
}

// The text outputs, each in a block of its own, folded.
std::string texts(const FilePage& page)
{
    std::vector<std::string> names;
    for (const auto& [shows, files] : page.shown)
        for (const std::string& file : files)
            if (!isPicture(file) && !isPaletteFile(file))
                names.push_back(file);
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& file : names) {
        std::string text;
        bool more = false;
        if (!readHead(joinPath(page.file->folder, file), text, more))
            continue;
        out += "<details><summary>" + html(escapeControls(file)) + "</summary><pre>" + html(text) + "</pre>" +
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

namespace {

// Runs work on this thread and on helpers, as many as there are cores and
// at most wanted in all; a helper that cannot be started leaves its share.
void onThreads(size_t wanted, const std::function<void()>& work)
{
    const size_t threads = std::min<size_t>(wanted, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; t++)
        try {
            helpers.emplace_back(work);
        } catch (const std::exception&) {
            break;
        }
    work();
    for (std::thread& t : helpers)
        t.join();
}

// What the page of a file is made from: the input's listing and its folder's record.
void readPage(FilePage& page, const Program& program, bool alone)
{
    const GalleryFile& f = *page.file;
    // A file alone is listed beside the reading of its record: both are
    // walks of a file, and the larger they are the more this saves. (Many
    // files are shared among threads instead.)
    std::thread lister;
    auto list = [&] {
        ReportSink quiet;  // its reasons were told by the run
        useReportSink(&quiet);
        page.listing.quick = true;
        page.listed = f.job.kind != Kind::Unknown && program.list && program.list(f.job, page.listing);
        page.listed = page.listed || *page.listing.type;
        useReportSink(nullptr);
    };
    try {
        if (alone)
            lister = std::thread(list);
    } catch (const std::exception&) {
    }
    if (!lister.joinable())
        list();
    ReportSink quiet;
    useReportSink(&quiet);
    FolderRecord record;
    std::string why;
    if (!f.job.folder && f.job.kind != Kind::Unknown && loadRecord(f.folder, record, why) == RecordRead::Trusted) {
        page.recorded = true;
        page.shown.reserve(record.outputs.size());
        for (RecordedOutput& o : record.outputs)
            page.shown[o.shows].push_back(std::move(o.name));
    }
    useReportSink(nullptr);
    if (lister.joinable())
        lister.join();
}

// Writes the parts of file n's page (numbered from 1), on as many threads as
// there are parts and cores; the number of figures, and false, having said
// why, when a part could not be written.
bool writeFilePage(const FilePage& page, size_t n, size_t files, const std::string& pages,
                   std::vector<std::string>& written, size_t& figureCount, bool alone)
{
    const GalleryFile& f = *page.file;
    std::vector<const ListedItem*> shown;
    for (const ListedItem& item : page.listing.items)
        if (hasFigure(item))
            shown.push_back(&item);
    figureCount = shown.size();
    const size_t parts = std::max<size_t>(1, (shown.size() + kPicturesPerPart - 1) / kPicturesPerPart);
    const std::string title = html(escapeControls(f.job.shown));
    std::string head = pageHead(title, "gallery.css") + "<nav><a href=\"../index.html\">All files</a>";
    if (n > 1)
        head += " &middot; <a href=\"" + partName(n - 1, 0) + "\">previous file</a>";
    if (n < files)
        head += " &middot; <a href=\"" + partName(n + 1, 0) + "\">next file</a>";
    head += "</nav>\n<h1>" + title + "</h1>\n<p>" + html(typeOf(page)) +
            (page.listed ? " &middot; " + std::to_string(page.listing.size) + " bytes" : "") +
            (page.recorded ? " &middot; <a href=\"" + page.link + "\">its output folder</a>" : "") + "</p>\n" +
            resultLine(f);

    std::vector<ReportSink> said(parts);
    std::vector<char> partWhole(parts, 1);
    std::atomic<size_t> next{0};
    auto work = [&] {
        ReportSink* const was = currentReportSink();  // this thread's own
        for (size_t part; (part = next++) < parts;) {
            useReportSink(&said[part]);
            std::string text = head + partLinks(n, parts, part);
            if (part == 0)
                text += contents(page);
            const size_t from = part * kPicturesPerPart, to = std::min(shown.size(), from + kPicturesPerPart);
            if (to > from) {
                text += "<h2>Pictures and palettes</h2>\n<div class=\"grid\">\n";
                for (size_t i = from; i < to; i++)
                    appendFigure(text, page, *shown[i]);
                text += "</div>\n";
            }
            if (part == 0)
                text += texts(page);
            text += partLinks(n, parts, part) + "</body></html>\n";
            partWhole[part] = writeWhole(pages, partName(n, part), text);
            useReportSink(was);
        }
    };
    onThreads(alone ? parts : 1, work);
    bool whole = true;
    for (size_t part = 0; part < parts; part++) {
        reportAll(said[part]);
        whole = partWhole[part] && whole;
        written.push_back(partName(n, part));
    }
    return whole;
}

// The index: a table of every file, its first part at the gallery's root,
// the others among the pages.
bool writeIndex(const std::vector<std::string>& rows, const std::string& root, const std::string& pages,
                std::vector<std::string>& written)
{
    bool whole = true;
    const size_t parts = std::max<size_t>(1, (rows.size() + kFilesPerIndex - 1) / kFilesPerIndex);
    for (size_t part = 0; part < parts; part++) {
        const bool first = part == 0;
        const std::string up = first ? std::string(kPagesFolder) + "/" : "";
        auto link = [&](size_t p) {
            return p == 0 ? std::string(first ? "index.html" : "../index.html")
                          : up + "list-" + std::to_string(p + 1) + ".html";
        };
        std::string nav;
        if (parts > 1) {
            nav = "<nav class=\"parts\">Part:";
            for (size_t p = 0; p < parts; p++)
                nav += p == part ? " <b>" + std::to_string(p + 1) + "</b>"
                                 : " <a href=\"" + link(p) + "\">" + std::to_string(p + 1) + "</a>";
            nav += "</nav>\n";
        }
        std::string text = pageHead("assetdump gallery", up + "gallery.css") + "<h1>" + std::to_string(rows.size()) +
                           (rows.size() == 1 ? " file" : " files") + "</h1>\n" + nav +
                           "<table><tr><th>#</th><th>file</th><th>type</th><th>pictures</th><th>result</th></tr>\n";
        for (size_t i = part * kFilesPerIndex; i < std::min(rows.size(), (part + 1) * kFilesPerIndex); i++)
            text += up.empty() ? rows[i] : std::string(rows[i]).insert(rows[i].find("href=\"") + 6, up);
        text += "</table>\n" + nav + "</body></html>\n";
        if (first) {
            whole = writeWhole(root, "index.html", text) && whole;
        } else {
            const std::string name = "list-" + std::to_string(part + 1) + ".html";
            whole = writeWhole(pages, name, text) && whole;
            written.push_back(name);
        }
    }
    return whole;
}

// Pages of an earlier gallery that this one did not write (it had more
// files) go; nothing else in the folder is touched.
void removeStalePages(const std::string& pages, std::vector<std::string> written)
{
    std::sort(written.begin(), written.end());
    std::vector<std::string> names;
    if (!listDirectory(pages, names))
        return;
    for (const std::string& name : names) {
        if (!name.ends_with(".html") || name.size() < 6)
            continue;
        const std::string stem = name.substr(0, name.size() - 5);
        const std::string number = stem.compare(0, 5, "list-") == 0 ? stem.substr(5) : stem;
        const bool ours = !number.empty() && std::isdigit(static_cast<unsigned char>(number[0])) &&
                          number.find_first_not_of("0123456789-") == std::string::npos;
        if (ours && !std::binary_search(written.begin(), written.end(), name))
            removeFile(joinPath(pages, name));
    }
}

}  // namespace

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
    // Each file's page is its own: the files are shared among threads.
    const size_t files = gallery.files.size();
    std::vector<std::string> rows(files);
    std::vector<std::vector<std::string>> writtenBy(files);
    std::vector<ReportSink> said(files);
    std::vector<char> fileWhole(files, 1);
    const bool alone = files < 4;
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t k; (k = next++) < files;) {
            const GalleryFile& f = gallery.files[k];
            const size_t n = k + 1;
            FilePage page;
            page.file = &f;
            page.link = folderLink(f.folder, root, underRoot);
            readPage(page, program, alone);
            useReportSink(&said[k]);
            size_t figures = 0;
            fileWhole[k] = writeFilePage(page, n, files, pages, writtenBy[k], figures, alone);
            useReportSink(nullptr);
            rows[k] = "<tr><td>" + std::to_string(n) + "</td><td><a href=\"" + partName(n, 0) + "\">" +
                      html(escapeControls(f.job.shown)) + "</a></td><td>" + html(typeOf(page)) + "</td><td>" +
                      std::to_string(figures) + "</td><td class=\"" +
                      (f.job.ok ? "done\">DONE!" : "failed\">FAILED! " + html(f.reasons)) + "</td></tr>\n";
        }
    };
    onThreads(alone ? 1 : files, work);
    std::vector<std::string> written{"gallery.css"};
    for (size_t k = 0; k < files; k++) {
        reportAll(said[k]);
        whole = fileWhole[k] && whole;
        written.insert(written.end(), writtenBy[k].begin(), writtenBy[k].end());
    }
    whole = writeIndex(rows, root, pages, written) && whole;
    removeStalePages(pages, written);
    if (whole)
        reportDetail(indexPath, "the gallery is written");
    return whole;
}
