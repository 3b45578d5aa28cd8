#include <BoxText.h>
#include <IniFile.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace quillon;

TEST(IniFile, ProfileSemanticsOnRead)
{
    IniFile ini;
    ini.parse("top=0\r\n[Stb]\r\n Key = v1 \r\nkey=v2\r\n;c=3\r\n[stb]\r\nother=x\n[b]\nk=\n");
    EXPECT_EQ(ini.value("STB", "KEY"), "v1"); // names ignore case, the first occurrence wins, values trimmed
    EXPECT_EQ(ini.value("stb", "other", "none"), "none"); // a repeated section is not reached
    EXPECT_EQ(ini.value("stb", "c", "none"), "none");     // comments are not keys
    EXPECT_EQ(ini.value("b", "k", "none"), "");
    EXPECT_EQ(ini.value("missing", "k", "fb"), "fb");
    // Every letter of the alphabet is matched either way, the first and the last included.
    IniFile letters;
    letters.parse("[AZ_Zone]\r\nZoneKey=z\r\nABCDEFGHIJKLMNOPQRSTUVWXYZ=all\r\n");
    EXPECT_EQ(letters.value("az_zone", "zonekey", "none"), "z");
    EXPECT_EQ(letters.value("az_zone", "abcdefghijklmnopqrstuvwxyz", "none"), "all");
    EXPECT_FALSE(ini.modified());
}

TEST(IniFile, WritesInPlaceWithCrLf)
{
    IniFile ini;
    ini.parse("; head\n[a]\nx = 1\ny=2\n\n[b]\nz=3\n");
    ini.setValue("A", "X", "9");  // replaces the line, written without blanks
    ini.setValue("a", "new", ""); // after the last entry, before the blank line
    ini.setValue("c", "k", "v");  // a new section at the end
    EXPECT_TRUE(ini.modified());
    EXPECT_EQ(ini.text(), "; head\r\n[a]\r\nX=9\r\ny=2\r\nnew=\r\n\r\n[b]\r\nz=3\r\n[c]\r\nk=v\r\n");
    IniFile empty;
    empty.setValue("s", "k", "v");
    EXPECT_EQ(empty.text(), "[s]\r\nk=v\r\n");
}

// A file the box reads is in the box's encoding on disk and UTF-8 here. Faults caught: Chinese
// values read or written as the raw bytes of the other encoding, a missing file taken as an
// error (or a folder as an empty file), a value cut at its own "=", a header's blanks or a key's
// case making a section or key unreachable, a write going to a repeated section.
TEST(IniFile, BoxFilesAndTheEdgesOfTheFormat)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quillon-ini-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "folder.ini");
    const fs::path file = dir / "account.ini";
    // "[ 帐号 ]" / "名=中文" / "url = http://h/?a=1&b=2" / "no equals sign", in GBK
    std::ofstream(file, std::ios::binary)
        << "[ \xD5\xCA\xBA\xC5 ]\r\n\xC3\xFB=\xD6\xD0\xCE\xC4\r\n"
           "url = http://h/?a=1&b=2\r\nno equals sign\r\n[\xD5\xCA\xBA\xC5]\r\nx=second\r\n";
    setBoxEncoding(BoxEncoding::Gbk);
    IniFile ini;
    ASSERT_TRUE(ini.loadBoxFile(file.string()));
    EXPECT_FALSE(ini.modified());
    EXPECT_EQ(ini.value("帐号", "名"), "中文");
    EXPECT_EQ(ini.value("帐号", "URL"), "http://h/?a=1&b=2");
    EXPECT_EQ(ini.value("帐号", "no equals sign", "none"), "none");
    EXPECT_EQ(ini.value("帐号", "x", "none"), "none"); // the repeated section is not reached

    ini.setValue("帐号", "x", "第一");
    ini.setValue("帐号", "名", "新");
    const std::string bytes = ini.boxText();
    EXPECT_NE(bytes.find("\xC3\xFB=\xD0\xC2\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("no equals sign\r\nx=\xB5\xDA\xD2\xBB\r\n"), std::string::npos) << "after the last line";
    EXPECT_NE(bytes.find("x=second"), std::string::npos); // the repeated section is left as it was
    EXPECT_EQ(bytes.find("\xE4"), std::string::npos);     // no UTF-8 lead byte of these characters

    IniFile none;
    EXPECT_TRUE(none.loadBoxFile((dir / "missing.ini").string()));
    EXPECT_EQ(none.text(), "");
    IniFile folder;
    EXPECT_FALSE(folder.loadBoxFile((dir / "folder.ini").string()));
    fs::remove_all(dir);
}
