// assetdump: turns each argument into ordinary files in its output folder.
// This file only dispatches: one converter per kind of argument.
#include "app/frontend.h"
#include "formats/anim/anim.h"
#include "formats/data/data.h"
#include "formats/fonts/fonts.h"
#include "formats/sprites/sprites.h"
#include "common/report.h"

namespace {

const char* const kHelp =
    "USAGE: assetdump <filename> [<filename> ...]\n"
    "       assetdump [OPTION]... FILE_OR_FOLDER...\n"
    "\n"
    "Converts a game's graphics and data files into ordinary files that any\n"
    "editor opens. Each file's type is taken from the end of its name, in any\n"
    "case; everything made from FILE goes into the folder FILE.FILES beside it,\n"
    "replacing what is there. A folder is walked: every file below it of a type\n"
    "below is converted, in sorted order (other files are skipped; .FILES\n"
    "folders are never entered, links to folders never followed). One line per\n"
    "file tells DONE! or FAILED!; a failure's reason goes to standard error.\n"
    "\n"
    "Options (before the files; -- ends them):\n"
    "  -o, --output DIR   put every output folder under DIR instead of beside its\n"
    "                     file, each argument by its own name (DIR/game/DATA/\n"
    "                     HERO.RLE.FILES for the folder game); DIR is made if needed\n"
    "  -j, --jobs N       convert N files at a time (default: one per core); the\n"
    "                     lines printed are the same whatever N is\n"
    "  -h, --help         this text\n"
    "      --version      the version\n"
    "\n"
    "File types and what each becomes:\n"
    "  RLE   sprite                      NAME.BMP and NAME.MASK.BMP\n"
    "  RLC   sprite with its own palette NAME.BMP and NAME.MASK.BMP\n"
    "  ARLC  sprite                      checked only; nothing is written\n"
    "  WAD   sprite archive              one .PAL per named palette, an image per\n"
    "                                    sprite, a mask per run-length sprite\n"
    "  FNT   16-shade font               a 4-bit CODE.BMP per glyph and INFO.TXT\n"
    "  FNC   palettised font             CODE.BMP and CODE.MASK.BMP per glyph, INFO.TXT\n"
    "  FNM   three-level font            CODE.BMP per glyph and INFO.TXT\n"
    "  SEC   numeric tables              a text listing named like the file\n"
    "  ZOM   picture set                 ZOM0.BMP, ZOM1.BMP, ... and INFO.TXT\n"
    "  ANM   animation script            the script as text, named like the file\n"
    "  folder NAME.WAD.FILES             its names are listed\n";

bool convert(int kind, const std::string& arg)
{
    switch (kind) {
    case kDirWad: return create_WAD(arg);
    case kWad: return extract_WAD(arg);
    case kSec: return extract_SEC(arg);
    case kRle: return extract_RLE(arg);
    case kRlc: return extract_RLC(arg);
    case kArlc: return extract_ARLC(arg);
    case kZom: return extract_ZOM(arg);
    case kFnt: return extract_FNT(arg);
    case kAnm: return extract_ANM(arg);
    case kFnc: return extract_FNC(arg);
    case kFnm: return extract_FNM(arg);
    case kUnknown: return false;  // classify said why
    default:
        // The output folders of the other types are not converted back here.
        return refuse(arg, "an output folder: only the folders of WAD archives are listed");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    return runFrontEnd(argc, argv, Program{"assetdump", kHelp, false, convert});
}
