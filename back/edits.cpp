// Reading edited outputs back: pictures, masks, texts, and the notes for what is kept.
#include "back/edits.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "common/report.h"
#include "common/source.h"
#include "store/names.h"
#include "pictures/palette.h"
#include "platform/platform.h"

namespace {
// Opens an edited file; Missing when there is none. A link is never followed.
Edited openEdited(const std::string& path, Source& source)
{
    std::string what;
    errno = 0;
    switch (linkKind(path, what)) {
    case PathKind::Missing:
        return errno == ENOENT ? Edited::Missing : (reportProblem(path, systemReason(errno)), Edited::Refused);
    case PathKind::Directory:
        reportProblem(path, "a folder, not a file");
        return Edited::Refused;
    case PathKind::Link:
        reportProblem(path, "a symbolic link, and links are never followed: put the file itself here");
        return Edited::Refused;
    case PathKind::Other:
        reportProblem(path, "not a regular file: it is " + what);
        return Edited::Refused;
    case PathKind::Regular:
        break;
    }
    errno = 0;
    if (!openSource(source, path)) {
        reportProblem(path, "cannot be opened: " + systemReason(errno ? errno : EIO));
        return Edited::Refused;
    }
    return Edited::Read;
}
}  // namespace

Edited readEditedImage(std::string& path, BmpPicture& picture, std::vector<uint8_t>* alpha, bool* png, bool orPng,
                       const char* opaqueWhy)
{
    Source source;
    Edited opened = openEdited(path, source);
    if (orPng && path.size() > 4 && foldedName(path.substr(path.size() - 4)) == btmp) {
        // A picture written as PNG, or saved as one, under the same name;
        // one picture in both formats is refused, as no one can tell which
        // of the two holds the edit.
        const std::string other = withEnding(path, pngEnding);
        std::string what;
        if (opened != Edited::Missing && linkKind(other, what) != PathKind::Missing && !sameFile(path, other))
            return refuse(other, "a second file for the picture %s: keep one of the two",
                          escapeControls(getName(path)).c_str()),
                   Edited::Refused;
        if (opened == Edited::Missing) {
            opened = openEdited(other, source);
            if (opened != Edited::Missing)
                path = other;
        }
    }
    if (opened != Edited::Read)
        return opened;
    std::string why;
    const uint8_t* head = view(source, 0, size_t(std::min<int64_t>(source.size, 8)));
    if (head && isPng(head, size_t(std::min<int64_t>(source.size, 8)))) {
        std::vector<uint8_t> transparency;
        if (!readPng(source, picture, transparency, why)) {
            reportProblem(path, why);
            return Edited::Refused;
        }
        // A picture that keeps no transparency: pixels made transparent
        // come back opaque, and are named, never dropped without a word.
        const size_t cleared = alpha ? 0 : size_t(std::count_if(transparency.begin(), transparency.end(),
                                                                   [](uint8_t a) { return a < 255; }));
        if (cleared)
            reportNoteAbout(path, std::to_string(cleared) + (cleared == 1 ? " pixel" : " pixels") +
                                      " made transparent " + (cleared == 1 ? "is" : "are") + " not kept: " +
                                      (opaqueWhy ? opaqueWhy : "this picture keeps no transparency"));
        if (alpha)
            *alpha = std::move(transparency);
        if (png)
            *png = true;
        return Edited::Read;
    }
    if (!readBmp(source, picture, why)) {
        reportProblem(path, source.readError ? "cannot be read: " + readFailure(source) : why);
        return Edited::Refused;
    }
    return Edited::Read;
}

Edited readEditedPalette(std::string& path, ColourTable& table, int32_t& count)
{
    Source source;
    std::string found;
    const std::string folder = path.substr(0, path.size() - getName(path).size());  // with its separator
    for (const std::string& name : paletteFileNames(getName(path))) {
        const std::string candidate = folder + name;
        Source tried;
        const Edited opened = openEdited(candidate, tried);
        if (opened == Edited::Refused)
            return opened;
        if (opened == Edited::Missing)
            continue;
        if (!found.empty() && !sameFile(found, candidate))
            return refuse(candidate, "a second file for the palette of %s: keep one of the two",
                          getName(found).c_str()), Edited::Refused;
        if (found.empty()) {
            found = candidate;
            source = std::move(tried);
        }
    }
    if (found.empty())
        return Edited::Missing;
    path = found;
    constexpr int64_t kLargestPalette = 64 << 10;  // 256 text lines with long names
    const uint8_t* bytes = source.size <= kLargestPalette ? view(source, 0, size_t(source.size)) : nullptr;
    if (!bytes && source.readError) {
        reportProblem(path, "cannot be read: " + readFailure(source));
        return Edited::Refused;
    }
    std::string why = formatted("%lld bytes, more than a palette file holds", (long long)source.size);
    if (!bytes || !decodePalette(bytes, size_t(source.size), table, count, why)) {
        reportProblem(path, why);
        return Edited::Refused;
    }
    return Edited::Read;
}

void noteKept(const std::string& path, const std::string& what)
{
    reportNoteAbout(path, "not found; the original's " + what + " is kept");
}

void noteRounded(const std::string& path, int rounded)
{
    if (rounded > 0)
        reportNoteAbout(path, formatted("%d colour%s not in RGB565, rounded to the nearest", rounded,
                                        rounded == 1 ? " is" : "s are"));
}

bool readSpriteEdit(const std::string& imagePath, const std::string& maskPath, int32_t width, int32_t height,
                    const std::function<bool(int32_t, uint8_t*, uint8_t*)>& originalRow, PictureTable& table,
                    SpriteEdit& edit, uint8_t transparentIndex)
{
    edit.imagePath = imagePath;
    edit.maskPath = maskPath;
    BmpPicture picture, maskPicture;
    std::vector<uint8_t> alpha;
    bool png = false;
    const Edited image = readEditedImage(edit.imagePath, picture, &alpha, &png);
    Edited mask = readEditedImage(edit.maskPath, maskPicture, nullptr, nullptr, false);
    if (image == Edited::Refused || mask == Edited::Refused)
        return false;
    // A PNG carries its own transparency: with no mask file beside it, its
    // alpha is the mask (none: every pixel opaque).
    const bool maskFromAlpha = png && mask == Edited::Missing;
    if (maskFromAlpha) {
        edit.maskPath = edit.imagePath;  // the picture is its own mask
        maskPicture.width = picture.width;
        maskPicture.height = picture.height;
        mask = Edited::Read;
    }
    edit.imageGiven = image == Edited::Read;
    edit.width = edit.imageGiven ? picture.width : mask == Edited::Read ? maskPicture.width : width;
    edit.height = edit.imageGiven ? picture.height : mask == Edited::Read ? maskPicture.height : height;
    if (image == Edited::Read && mask == Edited::Read &&
        (maskPicture.width != edit.width || maskPicture.height != edit.height))
        return refuse(maskPath, "%d x %d, but its image is %d x %d: the two must be the same size", maskPicture.width,
                      maskPicture.height, edit.width, edit.height);
    const bool sameSize = edit.width == width && edit.height == height;
    if ((image == Edited::Missing || mask == Edited::Missing) && !sameSize)
        return refuse(image == Edited::Missing ? edit.imagePath : maskPath,
                      "not found, and the original's %d x %d does not fit the edited %d x %d", width, height,
                      edit.width, edit.height);
    if (image == Edited::Missing)
        noteKept(edit.imagePath, "picture");
    if (mask == Edited::Missing)
        noteKept(maskPath, "mask");

    // The original, where the edit has its size: what each pixel showed.
    const size_t w = size_t(edit.width), pixels = w * size_t(edit.height);
    std::vector<uint8_t> originalImage, originalMask;
    if (sameSize) {
        originalImage.assign(pixels, 0);
        originalMask.assign(pixels, 0);
        for (int32_t r = 0; r < edit.height; r++)
            if (w && !originalRow(r, &originalImage[size_t(r) * w], &originalMask[size_t(r) * w]))
                return false;
    }
    edit.mask = mask == Edited::Read ? std::vector<uint8_t>(pixels) : originalMask;
    for (size_t k = 0; mask == Edited::Read && k < pixels; k++)
        edit.mask[k] = !maskFromAlpha ? maskValue(maskPicture, maskPicture.pixels[k]) : alpha.empty() ? 255 : alpha[k];
    if (edit.imageGiven) {
        table.taken[transparentIndex] = true;  // shown for transparent pixels: no new colour goes there
        readColours(picture, sameSize ? originalImage.data() : nullptr, edit.mask.data(), table, edit.colours);
        edit.image = std::move(edit.colours.indexes);
        if (edit.colours.hidden > 0 && !maskFromAlpha)  // a PNG's transparent pixels keep no colour
            reportNoteAbout(edit.imagePath, formatted("%lld pixel%s changed where %s is transparent %s not kept: make them "
                                                 "white in %s", (long long)edit.colours.hidden, edit.colours.hidden == 1 ? "" : "s",
                   getName(maskPath).c_str(), edit.colours.hidden == 1 ? "is" : "are",
                                                 getName(maskPath).c_str()));
    } else {
        edit.image = originalImage;
        edit.colours.table = table.colours;
    }
    for (size_t k = 0; k < pixels; k++)
        if (edit.mask[k] == 0)
            edit.image[k] = transparentIndex;
    return true;
}

bool readSpriteFolder(const std::string& path, int32_t width, int32_t height,
                      const std::function<bool(int32_t, uint8_t*, uint8_t*)>& originalRow, PictureTable& table,
                      SpriteEdit& edit)
{
    const std::string imagePath = createBitmap(getName(path), editsFolderOf(path));
    const std::string maskPath = createMask(getName(path), editsFolderOf(path), imagePath);
    noteUnreadFiles(editsFolderOf(path), {getName(imagePath), getName(maskPath)},
                    "a sprite is read from its picture and its mask; nothing else in its folder is");
    return readSpriteEdit(imagePath, maskPath, width, height, originalRow, table, edit);
}

bool packUnchanged(const std::string& path, Source& in)
{
    OutputFile out;
    openRebuilt(out, path);
    copyOriginal(out, in, 0, in.size);
    return placeOutputs({&out});
}

Edited readEditedText(const std::string& path, std::string& text)
{
    Source source;
    const Edited opened = openEdited(path, source);
    if (opened != Edited::Read)
        return opened;
    if (source.size > kMaxEditedText) {
        refuse(path, "%lld bytes, more than the %lld a text of this kind can need", (long long)source.size,
               (long long)kMaxEditedText);
        return Edited::Refused;
    }
    const uint8_t* bytes = view(source, 0, size_t(source.size));
    if (!bytes) {
        reportProblem(path, "cannot be read: " + readFailure(source));
        return Edited::Refused;
    }
    text.assign(reinterpret_cast<const char*>(bytes), size_t(source.size));
    return Edited::Read;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool lineIntegers(const std::string& line, std::vector<int64_t>& values)
{
    values.clear();
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            i++;
            continue;
        }
        const bool negative = line[i] == '-';
        if (line[i] == '-' || line[i] == '+')
            i++;
        if (i >= line.size() || line[i] < '0' || line[i] > '9')
            return false;
        int64_t v = 0;
        for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; i++) {
            if (v > (INT64_MAX - 9) / 10)
                return false;
            v = v * 10 + (line[i] - '0');
        }
        if (i < line.size() && line[i] != ' ' && line[i] != '\t')
            return false;
        values.push_back(negative ? -v : v);
    }
    return true;
}

void noteUnreadFiles(const std::string& dir, const std::vector<std::string>& known, const char* why)
{
    std::vector<std::string> listed;
    if (!listDirectory(dir, listed))
        return;
    std::set<std::string> read;
    for (const std::string& name : known) {
        const std::string folded = foldedName(name);
        read.insert(folded);
        if (folded.size() > 4 && folded.compare(folded.size() - 4, 4, btmp) == 0)
            read.insert(withEnding(folded, pngEnding));  // the same picture as PNG
    }
    std::sort(listed.begin(), listed.end());
    for (const std::string& name : listed) {
        std::string what;
        if (name == "." || name == ".." || isTemporaryName(name) || isRecordName(name) || read.count(foldedName(name)) ||
            linkKind(createFile(name, dir), what) != PathKind::Regular)
            continue;
        reportNoteAbout(createFile(name, dir), std::string("not read: ") + why);
    }
}

bool noGlyphsAdded(const std::string& dir, const std::vector<OutputName>& names)
{
    std::vector<std::string> listed;
    if (!listDirectory(dir, listed))
        return true;  // nothing to read back: every glyph keeps its data
    std::set<std::string> known;
    for (const OutputName& name : names) {
        known.insert(foldedName(name.file));
        known.insert(foldedName(name.stem + mask));
    }
    for (const std::string& name : listed) {
        // A glyph image's name: two or three digits, perhaps "~" and digits,
        // then .BMP or .MASK.BMP, in any case.
        size_t digits = 0;
        while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9')
            digits++;
        size_t at = digits;
        if (at < name.size() && name[at] == '~') {
            size_t more = at + 1;
            while (more < name.size() && name[more] >= '0' && name[more] <= '9')
                more++;
            at = more > at + 1 ? more : at;
        }
        const std::string rest = foldedName(name.substr(at));
        if (digits < 2 || digits > 3 || (rest != btmp && rest != pngEnding && rest != mask) ||
            known.count(foldedName(name)) || known.count(foldedName(name.substr(0, at)) + btmp))
            continue;
        const int code = std::stoi(name.substr(0, digits));
        if (glyphImageName(code).size() != digits + 4)
            continue;  // not a name the converter gives (065.BMP): not read
        const bool codeKnown = known.count(foldedName(glyphImageName(code))) != 0;
        return refuse(createFile(name, dir), codeKnown ? "no glyph of the font is written under this name: glyphs "
                                                         "cannot be added"
                                                       : "the font has no glyph with code %d: glyphs cannot be added",
                      code);
    }
    std::vector<std::string> read;
    for (const OutputName& name : names) {
        read.push_back(name.file);
        read.push_back(name.stem + mask);
    }
    read.push_back("INFO.TXT");
    noteUnreadFiles(dir, read, "a font's glyphs are read by their codes and its values from INFO.TXT; nothing else "
                               "in its folder is");
    return true;
}
