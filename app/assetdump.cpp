// assetdump: turns each argument into ordinary files in its output folder.
// This file only dispatches: one converter per kind of argument.
#include "app/program.h"
#include "formats/anim/anim.h"
#include "formats/data/data.h"
#include "formats/fonts/fonts.h"
#include "formats/sprites/sprites.h"
#include "common/report.h"

namespace {

const char* const kAbout =
    "USAGE: assetdump <filename> [<filename> ...]\n"
    "       assetdump [OPTION]... FILE_OR_FOLDER...\n"
    "\n"
    "Converts a game's graphics and data files into ordinary files that any\n"
    "editor opens. Each file's type is taken from the end of its name, in any\n"
    "case; everything made from FILE goes into the folder FILE.FILES beside it.\n"
    "A rerun writes only what changed and keeps every output edited since it\n"
    "was written (--force replaces them). A folder is walked: every file of a type\n"
    "below is converted, in sorted order (other files are skipped; .FILES\n"
    "folders are never entered, links to folders never followed). One line per\n"
    "file tells DONE! or FAILED!; a failure's reason goes to standard error.\n";

const char* const kDetails =
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

const char* const kFolderRefused = "an output folder: only the folders of WAD archives are listed";

bool convert(const Job& job)
{
    const std::string& arg = job.input;
    if (job.folder && job.kind != Kind::Wad && job.kind != Kind::Unknown)
        return refuse(arg, "%s", kFolderRefused);  // only archives' folders are listed
    switch (job.kind) {
    case Kind::Wad: return job.folder ? create_WAD(arg) : extract_WAD(arg);
    case Kind::Sec: return extract_SEC(arg);
    case Kind::Rle: return extract_RLE(arg);
    case Kind::Rlc: return extract_RLC(arg);
    case Kind::Arlc: return extract_ARLC(arg);
    case Kind::Zom: return extract_ZOM(arg);
    case Kind::Fnt: return extract_FNT(arg);
    case Kind::Anm: return extract_ANM(arg);
    case Kind::Fnc: return extract_FNC(arg);
    case Kind::Fnm: return extract_FNM(arg);
    case Kind::Unknown: return false;  // classification said why
    }
    return false;
}

bool list(const Job& job, Listing& listing)
{
    const std::string& arg = job.input;
    if (job.folder && job.kind != Kind::Wad && job.kind != Kind::Unknown)
        return refuse(arg, "%s", kFolderRefused);
    switch (job.kind) {
    case Kind::Wad: return job.folder ? list_WAD_folder(arg, listing) : list_WAD(arg, listing);
    case Kind::Sec: return list_SEC(arg, listing);
    case Kind::Rle: return list_RLE(arg, listing);
    case Kind::Rlc: return list_RLC(arg, listing);
    case Kind::Arlc: return list_ARLC(arg, listing);
    case Kind::Zom: return list_ZOM(arg, listing);
    case Kind::Fnt: return list_FNT(arg, listing);
    case Kind::Anm: return list_ANM(arg, listing);
    case Kind::Fnc: return list_FNC(arg, listing);
    case Kind::Fnm: return list_FNM(arg, listing);
    case Kind::Unknown: return false;  // classification said why
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const Program program{
        "assetdump", kAbout, kDetails, false,
        std::string("nothing to convert: no file below it has a name ending in ") + kKnownTypes,
        kFolderRefused, "converted", false, convert, list};
    return runFrontEnd(argc, argv, program);
}
