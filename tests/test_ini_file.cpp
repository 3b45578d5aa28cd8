#include <IniFile.h>

#include <gtest/gtest.h>

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
