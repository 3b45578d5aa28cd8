#include <BoxText.h>

#include <algorithm>

#include <gtest/gtest.h>

using namespace quillon;

namespace
{

// Expected bytes were produced with `printf TEXT | iconv -f UTF-8 -t GBK | xxd`.
TEST(BoxText, ChineseGoesToTheBoxAsGbkAndComesBack)
{
    EXPECT_EQ(toBox("中文", BoxEncoding::Gbk), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(fromBox("\xD6\xD0\xCE\xC4", BoxEncoding::Gbk), "中文");
    // Eleven characters are 22 bytes in GBK (33 in UTF-8), inside a 32-byte limit.
    const std::string id = "用户一二三四五六七八九";
    EXPECT_EQ(toBox(id, BoxEncoding::Gbk).size(), 22u);
    EXPECT_EQ(fromBox(toBox(id, BoxEncoding::Gbk), BoxEncoding::Gbk), id);
    EXPECT_EQ(toBox(id, BoxEncoding::Utf8), id);
    EXPECT_EQ(toBox("plain ascii ^ 1.2.3.4", BoxEncoding::Gbk), "plain ascii ^ 1.2.3.4");
}

TEST(BoxText, WhatTheBoxCannotHoldBecomesAQuestionMark)
{
    // An emoji has no GBK form; invalid UTF-8 bytes never reach the box as they are.
    EXPECT_EQ(toBox("a\xF0\x9F\x98\x80"
                    "b中",
                    BoxEncoding::Gbk),
              "a?b\xD6\xD0");
    EXPECT_EQ(toBox("a\xFF"
                    "b",
                    BoxEncoding::Gbk),
              "a?b");
    EXPECT_EQ(toBox("a\xC3"
                    "b",
                    BoxEncoding::Utf8),
              "a?b");
    // Only the bad byte goes: good characters of every length around it reach a UTF-8 box whole.
    EXPECT_EQ(toBox("中\xFF"
                    "é😀\x80文",
                    BoxEncoding::Utf8),
              "中?é😀?文");
}

// Every lead byte against every second byte, checked against the table of well-formed UTF-8
// sequences: the second byte's range depends on the lead, the others are 80..BF.
TEST(BoxText, Utf8CheckFollowsTheTableOfWellFormedSequences)
{
    struct Lead {
        int from, to, length, secondLow, secondHigh;
    };
    const Lead table[] = {
        {0x00, 0x7F, 1, 0, 0},       {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF},
        {0xE1, 0xEC, 3, 0x80, 0xBF}, {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF},
        {0xF0, 0xF0, 4, 0x90, 0xBF}, {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
    };
    auto leadOf = [&](int c) -> const Lead* {
        for (const Lead& lead : table)
            if (c >= lead.from && c <= lead.to)
                return &lead;
        return nullptr;
    };
    int mismatches = 0;
    for (int c = 0; c < 256; ++c) {
        const Lead* lead = leadOf(c);
        if (c > 0 && !lead) {
            for (size_t more = 0; more <= 3; ++more)
                EXPECT_FALSE(isValidUtf8(std::string(1, char(c)) + std::string(more, '\x80'))) << std::hex << c;
        }
        if (!lead || lead->length == 1)
            continue;
        for (int second = 0; second < 256; ++second) {
            const bool wellFormed = second >= lead->secondLow && second <= lead->secondHigh;
            for (char rest : {'\x80', '\xBF'}) {
                std::string bytes{char(c), char(second)};
                bytes.append(size_t(lead->length - 2), rest);
                if (isValidUtf8(bytes) != wellFormed && ++mismatches <= 10)
                    ADD_FAILURE() << std::hex << c << " " << second << " " << int(uint8_t(rest));
                if (wellFormed) {
                    // Cut short, or one byte after the second out of range, it is not UTF-8.
                    EXPECT_FALSE(isValidUtf8(bytes.substr(0, bytes.size() - 1))) << std::hex << c << " " << second;
                    if (lead->length > 2) {
                        bytes[2] = '\xC0';
                        EXPECT_FALSE(isValidUtf8(bytes)) << std::hex << c << " " << second;
                    }
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(isValidUtf8("a\x7F"));
}

TEST(BoxText, ReadingFallsBackWithoutLosingBytes)
{
    // Valid UTF-8 from a box is taken as UTF-8 under either setting.
    EXPECT_EQ(fromBox("中文", BoxEncoding::Gbk), "中文");
    // GBK under the UTF-8 setting is still read as GBK.
    EXPECT_EQ(fromBox("\xD6\xD0\xCE\xC4", BoxEncoding::Utf8), "中文");
    // A byte GBK does not know, and a lead byte cut off at the end, each show as U+FFFD.
    EXPECT_EQ(fromBox("a\xFF"
                      "b\xD6\xD0",
                      BoxEncoding::Gbk),
              "a\xEF\xBF\xBD"
              "b中");
    EXPECT_EQ(fromBox("\xD6\xD0\xCE", BoxEncoding::Gbk), "中\xEF\xBF\xBD");
    // Overlong forms and surrogates are not UTF-8.
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));
    // The smallest four-byte character is UTF-8, not an overlong form.
    EXPECT_TRUE(isValidUtf8("\xF0\x90\x80\x80"));
    EXPECT_FALSE(isValidUtf8("\xF0\x8F\xBF\xBF"));
    // 0x80 is the first byte that is not ASCII: it is converted, never passed on as it is.
    const std::string shown = fromBox("a\x80"
                                      "b",
                                      BoxEncoding::Gbk);
    EXPECT_TRUE(isValidUtf8(shown)) << shown;
    EXPECT_NE(shown, "a\x80"
                     "b");
    EXPECT_EQ(toBox("a\x80"
                    "b",
                    BoxEncoding::Gbk),
              "a?b");
}

TEST(BoxText, CutsNeverSplitACharacter)
{
    const std::string gbk = "a\xD6\xD0\xCE\xC4"; // a中文
    EXPECT_EQ(cutBoxBytes(gbk, 2, BoxEncoding::Gbk), "a");
    EXPECT_EQ(cutBoxBytes(gbk, 3, BoxEncoding::Gbk), "a\xD6\xD0");
    EXPECT_EQ(cutBoxBytes(gbk, 99, BoxEncoding::Gbk), gbk);
    EXPECT_EQ(cutBoxBytes("a中", 3, BoxEncoding::Utf8), "a");
    EXPECT_EQ(cutBoxBytes("a中", 4, BoxEncoding::Utf8), "a中");
    // Bytes a UTF-8 box should not have sent are cut one by one, characters still whole.
    const std::string stray = "\xFF中\x80\xC3文";
    const size_t kept[] = {0, 1, 1, 1, 4, 5, 6, 6, 6, 9}; // bytes kept at each limit from 0 to 9
    for (size_t limit = 0; limit <= stray.size(); ++limit)
        EXPECT_EQ(cutBoxBytes(stray, limit, BoxEncoding::Utf8), stray.substr(0, kept[limit])) << limit;
}

// Texts longer than the converter's working buffer, with bad bytes on either side of where the
// buffer fills. Faults caught: output lost or repeated when the buffer fills, a bad byte after a
// full buffer taken as the end of the text, a GBK lead byte at the end of a cut counted as whole.
TEST(BoxText, LongTextsConvertWholeAcrossTheConvertersBuffer)
{
    // The text of the first `count` characters, in UTF-8 and in GBK: every seventh is ASCII.
    const auto text = [](int from, int count, bool inGbk) {
        std::string out;
        for (int i = from; i < from + count; ++i)
            out += i % 7 == 0 ? "x" : (inGbk ? "\xD6\xD0" : "中");
        return out;
    };
    const int total = 1500;
    EXPECT_EQ(toBox(text(0, total, false), BoxEncoding::Gbk), text(0, total, true));
    EXPECT_EQ(fromBox(text(0, total, true), BoxEncoding::Gbk), text(0, total, false));

    for (int at : {300, 511, 512, 600, 1024, total - 1}) {
        const std::string broken = text(0, at, true) + "\xFF" + text(at, total - at, true);
        EXPECT_EQ(fromBox(broken, BoxEncoding::Gbk), text(0, at, false) + "\xEF\xBF\xBD" + text(at, total - at, false))
            << at;
        const std::string emoji = text(0, at, false) + "\xF0\x9F\x98\x80" + text(at, total - at, false);
        EXPECT_EQ(toBox(emoji, BoxEncoding::Gbk), text(0, at, true) + "?" + text(at, total - at, true)) << at;
    }

    EXPECT_EQ(cutBoxBytes("ab\xD6", 2, BoxEncoding::Gbk), "ab");
    EXPECT_EQ(cutBoxBytes("ab\xD6\xD0", 3, BoxEncoding::Gbk), "ab");
    EXPECT_EQ(cutBoxBytes("ab\xD6\xD0x", 4, BoxEncoding::Gbk), "ab\xD6\xD0");
}

TEST(BoxText, SettingAndNames)
{
    BoxEncoding e = BoxEncoding::Gbk;
    EXPECT_TRUE(parseBoxEncoding("UTF-8", e));
    EXPECT_EQ(e, BoxEncoding::Utf8);
    EXPECT_TRUE(parseBoxEncoding("gbk", e));
    EXPECT_EQ(e, BoxEncoding::Gbk);
    EXPECT_FALSE(parseBoxEncoding("latin1", e));
    EXPECT_EQ(boxEncoding(), BoxEncoding::Gbk); // the default
    setBoxEncoding(BoxEncoding::Utf8);
    EXPECT_EQ(boxByteLength("中"), 3u);
    setBoxEncoding(BoxEncoding::Gbk);
    EXPECT_EQ(boxByteLength("中"), 2u);
}

} // namespace

// Faults caught: an encoding name a user types in one of its usual spellings refused, or an
// unknown name taken for one of the two.
TEST(BoxText, EncodingNamesInTheirUsualSpellings)
{
    for (const char* name : {"gbk", "GBK", "utf-8", "UTF-8", "utf8", "UTF8"}) {
        BoxEncoding encoding = std::string_view(name).size() == 3 ? BoxEncoding::Utf8 : BoxEncoding::Gbk;
        EXPECT_TRUE(parseBoxEncoding(name, encoding)) << name;
        EXPECT_EQ(encoding, std::string_view(name).size() == 3 ? BoxEncoding::Gbk : BoxEncoding::Utf8) << name;
    }
    BoxEncoding encoding = BoxEncoding::Gbk;
    EXPECT_FALSE(parseBoxEncoding("gb2312", encoding));
    EXPECT_FALSE(parseBoxEncoding("utf", encoding));
}
