// assetpack: puts edited output files back into their game formats. Each
// argument is an original file, its output folder, or a folder of originals;
// the rebuilt file goes beside its original as FILE.packed.EXT, or with
// --output under that folder by its original name. This file only dispatches.
#include "app/frontend.h"
#include "common/report.h"
#include "formats/anim/anim.h"
#include "formats/data/data.h"
#include "formats/fonts/fonts.h"
#include "formats/sprites/sprites.h"
#include "output/names.h"
#include "output/outputs.h"
#include "platform/platform.h"

namespace {

const char* const kHelp =
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
    "standard error.\n"
    "\n"
    "Options (before the files; -- ends them):\n"
    "  -e, --edits DIR    read the FILE.FILES folders from DIR, laid out as\n"
    "                     'assetdump --output DIR' laid them out\n"
    "  -o, --output DIR   write each rebuilt file under DIR with its original\n"
    "                     name, laid out the same way (a mod folder); a file\n"
    "                     whose rebuild is its original byte for byte is not\n"
    "                     written (DONE!, counted as unchanged)\n"
    "  -j, --jobs N       pack N files at a time (default: one per core)\n"
    "  -h, --help         this text\n"
    "      --version      the version\n"
    "\n"
    "File types and what is read back:\n"
    "  RLE   NAME.BMP (pixels, size, colour table) and NAME.MASK.BMP\n"
    "  RLC   NAME.BMP (pixels, size, palette) and NAME.MASK.BMP, black or white only\n"
    "  WAD   every .PAL, every sprite's image and, for run-length sprites, its mask\n"
    "  ZOM   ZOM0.BMP, ZOM1.BMP, ... (pixels, sizes, palettes)\n"
    "  FNT   CODE.BMP per glyph (16 shades, by colour) and INFO.TXT (metrics)\n"
    "  FNC   CODE.BMP and CODE.MASK.BMP per glyph, INFO.TXT (font values)\n"
    "  FNM   CODE.BMP per glyph (white, grey, black) and INFO.TXT (font values)\n"
    "  SEC   the listing NAME.SEC: values changed, records added or removed\n"
    "  ANM   the script NAME.ANM: tokens changed, added or removed\n"
    "Texts may have LF or CR LF line ends; a line that cannot be read is\n"
    "refused with its number.\n"
    "\n"
    "Images must be indexed BMPs (1, 4 or 8 bits; uncompressed or run-length\n"
    "compressed). Colours are read back by colour, not by their place in the\n"
    "image's colour table, so an editor may reorder or shorten the table.\n"
    "Masks are read by colour: white opaque, black transparent, other colours grey.\n";

bool pack(int kind, const std::string& arg)
{
    std::string original = arg;
    if (isFolderKind(kind)) {
        // An output folder stands for the file it was made from.
        original = arg.substr(0, arg.size() - std::string(extracted).size());
        std::string what;
        if (pathKind(original, what) != PathKind::Regular)
            return refuse(arg, "the original file %s is needed beside its output folder",
                          escapeControls(getName(original)).c_str());
        kind += 10;
    }
    if (kind != kUnknown && kind != kArlc && !editsFolderReady(original))
        return false;
    switch (kind) {
    case kRle: return pack_RLE(original);
    case kRlc: return pack_RLC(original);
    case kWad: return pack_WAD(original);
    case kZom: return pack_ZOM(original);
    case kFnt: return pack_FNT(original);
    case kFnc: return pack_FNC(original);
    case kFnm: return pack_FNM(original);
    case kAnm: return pack_ANM(original);
    case kSec: return pack_SEC(original);
    case kArlc: return refuse(arg, "an ARLC sprite has no outputs to put back");
    case kUnknown: return false;  // classify said why
    default:
        return refuse(arg, "assetpack does not rebuild this type of file");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    return runFrontEnd(argc, argv, Program{"assetpack", kHelp, true, pack});
}
