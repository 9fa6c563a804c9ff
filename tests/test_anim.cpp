// ANM scripts: every token as text, damaged streams, and edited scripts back.
#include <gtest/gtest.h>

#include "formats/anim/anim.h"
#include "support/files.h"
#include "support/fixtures.h"

namespace {
const std::string S(1, pathSeparator());

std::string convertAnm(const TempDir& tmp, const std::string& name, const std::vector<uint8_t>& file)
{
    writeFile(tmp / name, file);
    if (!extract_ANM(tmp / name))
        return "<failed>";
    return readText(tmp / name + ".FILES" + S + name);
}
}  // namespace

TEST(Anm, EndTokenAloneInBothSpellings)
{
    TempDir tmp;
    EXPECT_EQ(convertAnm(tmp, "a.anm", anmFile({anmEnd()})), "\r\n}\r\n");
    EXPECT_EQ(convertAnm(tmp, "b.anm", anmFile({anmShort(-1, {})})), "\r\n}\r\n");
    // Nothing after the end token is read.
    EXPECT_EQ(convertAnm(tmp, "c.anm", anmFile({anmEnd(), {1, 2, 3}})), "\r\n}\r\n");
}

TEST(Anm, ASequenceScript)
{
    TempDir tmp;
    std::vector<uint8_t> file = anmFile({anmShort(0, {1}), anmLong(1, {0, 1, 2}, textArea("A", 2)), anmShort(4, {0}),
                                         anmLong(5, {3, 4, 5}, textArea("B", 2)), anmEnd()});
    EXPECT_EQ(convertAnm(tmp, "HERO.ANM", file),
              "{\r\nNUM_SEQUENCES 1\r\n\r\nSEQUENCE \"A\",0,1,2\r\n\r\nFRAME 0\r\nSPRITE \"B\",3,4,5\r\n\r\n}\r\n");
}

TEST(Anm, EveryTokenWithItsSignedAndUnsignedOperands)
{
    TempDir tmp;
    // Slot bytes beyond the ones read (offsets 9..11, 13..15) must not show:
    // 0x7FFFFF80 puts junk above an int8 of -128.
    std::vector<uint8_t> file = anmFile({
        anmShort(0, {0x0103}),
        anmShort(7, {0x1FF}),
        anmShort(8, {0xFFFF, 0x8000, 0xFF}),
        anmShort(9, {99, 0x12, 0x34}),
        anmShort(10, {0xFF, 0x7FFFFF80}),
        anmShort(11, {1, 2}),
        anmLong(2, {0xFFFF, 0x8000, 0x7FFF}, textArea("NL", 3)),
        anmLong(3, {0xFFFF, 0x8000, 0xFF, 4, 8}, {'A', 'B', 0, 0, 'C', 'D', 0, 0, 'E', 'F', 0, 0}),
        anmLong(6, {-1, 2, -3, 4, 250}, textArea("S\"Q", 4)),
        anmLong(1, {0, 0, 0}, {'A', 0, 'B', 0}),
        anmEnd(),
    });
    EXPECT_EQ(convertAnm(tmp, "t.anm", file),
              "{\r\nNUM_SEQUENCES 259\r\n"
              "NHOTSPOTS 255\r\n"
              "HOTSPOT -1,-32768,255\r\n"
              "UNKNOWN_TOKEN_9 18,52\r\n"
              "UNKNOWN_TOKEN_10 -1,-128\r\n"
              "UNKNOWN_TOKEN_11 1,2\r\n"
              "\r\nNLSEQUENCE \"NL\",-1,-32768,32767\r\n"
              "\r\nCHAINSEQUENCE \"AB\",65535,32768,255,\"CD\",\"EF\"\r\n"
              "SIZESPRITE \"S\"Q\",-1,2,-3,4,250\r\n"
              "\r\nSEQUENCE \"A\",0,0,0\r\n"
              "\r\n}\r\n");
}

TEST(Anm, TokensFollowEachOtherWithoutAlignment)
{
    TempDir tmp;
    // A SEQUENCE with a 5-byte text at offset 4 puts the next token at 33.
    std::vector<uint8_t> file = anmFile({anmLong(1, {1, 2, 3}, textArea("ABCD", 5)), anmShort(4, {7}), anmEnd()});
    ASSERT_EQ(file.size(), 4u + 29 + 12 + 8);
    EXPECT_EQ(convertAnm(tmp, "u.anm", file), "\r\nSEQUENCE \"ABCD\",1,2,3\r\n\r\nFRAME 7\r\n\r\n}\r\n");
}

TEST(Anm, UnrecognisedCodesEndTheWalkWithAMessageAndStillSucceed)
{
    TempDir tmp;
    // Run through the program so that standard error can be read.
    writeFile(tmp / "a.anm", anmFile({anmShort(-128, {}), anmEnd()}));
    writeFile(tmp / "b.anm", anmFile({anmShort(4, {1}), anmLong(4, {}, textArea("X", 2)), anmEnd()}));
    writeFile(tmp / "c.anm", anmFile({anmLong(127, {}, textArea("X", 2))}));
    writeFile(tmp / "d.anm", anmFile({anmShort(5, {})}));
    RunResult r = runTool({"a.anm", "b.anm", "c.anm", "d.anm"}, tmp.path);
    EXPECT_EQ(r.out, "a.anm\tDONE!\nb.anm\tDONE!\nc.anm\tDONE!\nd.anm\tDONE!\n\n");
    EXPECT_EQ(r.err, "Unknown token -128 found, position: 7\n"
                     "Unknown token 4 found, position: 19\n"
                     "Unknown token 127 found, position: 7\n"
                     "Unknown token 5 found, position: 7\n");
    EXPECT_EQ(readText(tmp / "b.anm.FILES" + S + "b.anm"), "\r\nFRAME 1\r\n\r\n}\r\n");
    EXPECT_EQ(readText(tmp / "a.anm.FILES" + S + "a.anm"), "\r\n}\r\n");
}

TEST(Anm, ChainSequenceTextEndsOutOfOrderAreClamped)
{
    TempDir tmp;
    ByteList text = {'A', 'B', 'C', 'D', 'E', 'F'};
    std::vector<uint8_t> file = anmFile({anmLong(3, {1, 2, 3, 5, 2}, text),    // second end before the first
                                         anmLong(3, {1, 2, 3, 200, 250}, text),  // both past the text
                                         anmEnd()});
    EXPECT_EQ(convertAnm(tmp, "c.anm", file),
              "\r\nCHAINSEQUENCE \"ABCDE\",1,2,3,\"\",\"F\"\r\n"
              "\r\nCHAINSEQUENCE \"ABCDEF\",1,2,3,\"\",\"\"\r\n\r\n}\r\n");
}

TEST(Anm, WrongMagicShortFilesAndTruncatedStreamsLeaveNothing)
{
    TempDir tmp;
    std::vector<uint8_t> good = anmFile({anmShort(0, {1}), anmLong(1, {0, 1, 2}, textArea("A", 2)), anmEnd()});
    std::vector<std::pair<std::string, std::vector<uint8_t>>> bad = {
        {"three bytes", {'B', 'N', 'M'}},
        {"lower-case magic", [&] { auto f = good; f[0] = 'b'; f[1] = 'n'; f[2] = 'm'; return f; }()},
        {"no end token", std::vector<uint8_t>(good.begin(), good.end() - 8)},
        {"end token's head cut", std::vector<uint8_t>(good.begin(), good.end() - 5)},
        {"text area cut", std::vector<uint8_t>(good.begin(), good.begin() + 4 + 12 + 25)},
        {"head cut", std::vector<uint8_t>(good.begin(), good.begin() + 6)},
        {"magic only", {'B', 'N', 'M', ' '}},
    };
    for (size_t i = 0; i < bad.size(); i++) {
        std::string name = numberedName("b", i, ".anm");
        EXPECT_EQ(convertAnm(tmp, name, bad[i].second), "<failed>") << bad[i].first;
        EXPECT_FALSE(exists(tmp / (name + ".FILES"))) << bad[i].first;
    }
}

// Every operand of every keyword, edited to another value at the edge of its
// range, comes back from the rebuilt file as the edited script says.
TEST(Anm, EveryOperandOfEveryKeywordEditedComesBack)
{
    TempDir tmp;
    writeFile(tmp / "all.ANM", anmFile({
        anmShort(0, {1}), anmLong(1, {1, 2, 3}, textArea("SEQ", 4)), anmShort(4, {1}), anmShort(7, {1}),
        anmShort(8, {1, 2, 3}), anmShort(9, {0, 1, 2}), anmShort(10, {1, 2}), anmShort(11, {1, 2}),
        anmLong(2, {1, 2, 3}, textArea("NL", 3)), anmLong(3, {1, 2, 3, 2, 4}, {'A', 0, 'B', 0, 'C', 0}),
        anmLong(5, {1, 2, 3}, textArea("SP", 3)), anmLong(6, {1, 2, 3, 4, 5}, textArea("SZ", 3)), anmEnd(),
    }));
    ASSERT_EQ(runTool({"all.ANM"}, tmp.path).status, 0);
    const std::string edited =
        "{\r\nNUM_SEQUENCES 65535\r\n"
        "\r\nSEQUENCE \"seq\",-32768,32767,-1\r\n"
        "\r\nFRAME 255\r\n"
        "NHOTSPOTS 254\r\n"
        "HOTSPOT -32768,32767,255\r\n"
        "UNKNOWN_TOKEN_9 255,254\r\n"
        "UNKNOWN_TOKEN_10 -128,127\r\n"
        "UNKNOWN_TOKEN_11 127,-128\r\n"
        "\r\nNLSEQUENCE \"nl2\",-5,-6,-7\r\n"
        "\r\nCHAINSEQUENCE \"a1\",65535,0,255,\"b22\",\"c333\"\r\n"
        "SPRITE \"sp\",-32768,32767,255\r\n"
        "SIZESPRITE \"size\",-1,-2,-3,-4,255\r\n"
        "\r\n}\r\n";
    const std::string script = tmp / "all.ANM.FILES" + S + "all.ANM";
    writeFile(script, ByteList(edited.begin(), edited.end()));
    ASSERT_EQ(runTool({"all.ANM"}, tmp.path, packerPath()).status, 0);
    EXPECT_EQ(convertAnm(tmp, "again.ANM", readFile(tmp / "all.packed.ANM")), edited);
}
