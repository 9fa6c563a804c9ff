// assetpack: puts edited output files back into their game formats. Each
// argument is an original file, its output folder, or a folder of originals;
// the rebuilt file goes beside its original as FILE.packed.EXT, or with
// --output under that folder by its original name. This file only dispatches.
#include "app/program.h"
#include "common/report.h"
#include "formats/anim/anim.h"
#include "formats/data/data.h"
#include "formats/fonts/fonts.h"
#include "formats/sprites/sprites.h"
#include "store/names.h"
#include "back/mod.h"
#include "back/rebuilt.h"
#include "store/outputs.h"
#include "platform/platform.h"

namespace {

const char* const kAbout =
    "USAGE: assetpack <filename> [<filename> ...]\n"
    "       assetpack [OPTION]... FILE_OR_FOLDER...\n"
    "\n"
    "Puts edited files back into a game's formats. Give each original file that\n"
    "assetdump converted (or its FILE.FILES folder, or a folder of them: every\n"
    "file below it that has a FILE.FILES folder is packed). assetpack reads the\n"
    "original and the files in FILE.FILES as you edited them, and writes the\n"
    "rebuilt file beside the original as FILE.packed.EXT (HERO.RLE becomes\n"
    "HERO.packed.RLE). The original and its folder are never changed. What the\n"
    "outputs do not show is taken from the original unchanged; a file deleted\n"
    "from the folder keeps the original's data. One line per file tells DONE!\n"
    "or FAILED!; a failure's reason, and every edit that cannot be kept, goes to\n"
    "standard error.\n";

const char* const kDetails =
    "File types and what is read back:\n"
    "  RLE   NAME.BMP (pixels, size, colour table) and NAME.MASK.BMP\n"
    "  RLC   NAME.BMP (pixels, size, palette) and NAME.MASK.BMP, black or white only\n"
    "  WAD   every palette file (.PAL, .gpl or .act), every sprite's image and,\n"
    "        for run-length sprites, its mask\n"
    "  ZOM   ZOM0.BMP, ZOM1.BMP, ... (pixels, sizes, palettes)\n"
    "  FNT   CODE.BMP per glyph (16 shades, by colour) and INFO.TXT (metrics)\n"
    "  FNC   CODE.BMP and CODE.MASK.BMP per glyph, INFO.TXT (font values)\n"
    "  FNM   CODE.BMP per glyph (white, grey, black) and INFO.TXT (font values)\n"
    "  SEC   the listing NAME.SEC: values changed, records added or removed\n"
    "  ANM   the script NAME.ANM: tokens changed, added or removed\n"
    "Texts may have LF or CR LF line ends; a line that cannot be read is\n"
    "refused with its number.\n"
    "\n"
    "Pictures may be BMPs (indexed, 1, 4 or 8 bits; uncompressed or run-length\n"
    "compressed) or PNGs (indexed, greyscale, RGB or RGBA of up to 256 colours;\n"
    "a PNG's transparency is a sprite's mask), told by their content. Colours\n"
    "are read back by colour where an editor rebuilt the colour table, by index\n"
    "where the table stayed in place. Masks are read by colour: white opaque,\n"
    "black transparent, other colours grey. Palettes may be raw tables, JASC,\n"
    "GIMP, Adobe or RIFF palette files, told by their content. One picture in\n"
    "two formats (X.BMP and X.PNG) is refused.\n";

bool pack(const Job& job)
{
    const std::string& arg = job.input;
    const std::string original = job.folder ? originalOf(arg) : arg;
    if (job.folder) {
        // An output folder stands for the file it was made from.
        std::string what;
        if (pathKind(original, what) != PathKind::Regular)
            return refuse(arg, "the original file %s is needed beside its output folder",
                          escapeControls(getName(original)).c_str());
    }
    if (job.gone)
        return removeGoneRebuilt(original);
    if (job.kind != Kind::Unknown && job.kind != Kind::Arlc) {
        bool handled = false;
        const bool removed = removeStaleRebuilt(original, handled);
        if (handled)
            return removed;
        if (!editsFolderReady(original))
            return false;
    }
    switch (job.kind) {
    case Kind::Rle: return pack_RLE(original);
    case Kind::Rlc: return pack_RLC(original);
    case Kind::Wad: return pack_WAD(original);
    case Kind::Zom: return pack_ZOM(original);
    case Kind::Fnt: return pack_FNT(original);
    case Kind::Fnc: return pack_FNC(original);
    case Kind::Fnm: return pack_FNM(original);
    case Kind::Anm: return pack_ANM(original);
    case Kind::Sec: return pack_SEC(original);
    case Kind::Arlc: return refuse(arg, "an ARLC sprite has no outputs to put back");
    case Kind::Unknown: return false;  // classification said why
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const Program program{
        "assetpack", kAbout, kDetails, true, "nothing to put back: no file below it has a .FILES folder",
        std::string("an output folder, but of no file whose name ends in ") + kKnownTypes,
        "packed", true, pack, nullptr};
    return runFrontEnd(argc, argv, program);
}
