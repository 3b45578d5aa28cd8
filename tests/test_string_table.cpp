#include <StringTable.h>

#include <utility>

#include <gtest/gtest.h>

using namespace quillon;

namespace
{

struct LanguageGuard {
    ~LanguageGuard() { setUiLanguage(LanguageChinese); }
};

} // namespace

TEST(StringTable, LooksUpInTheCurrentLanguage)
{
    LanguageGuard guard;
    setUiLanguage(LanguageChinese);
    EXPECT_EQ(loadUiString(303), "操作成功");
    EXPECT_EQ(loadUiString(17), "日志管理");
    setUiLanguage(LanguageEnglish);
    EXPECT_EQ(loadUiString(303), "success.");
    EXPECT_EQ(loadUiString(17), " Log ");
    EXPECT_EQ(loadUiString(472), "The common.cfg file is applicable to ");
    // The product's own spelling is kept.
    EXPECT_EQ(loadUiString(304), "Same version, havn't upgrade.");
    EXPECT_EQ(loadUiString(306), "Finished ugrade, automatic reboot.");
    EXPECT_EQ(loadUiString(406), "reading stb infomaton...");
    EXPECT_EQ(loadUiString(425), "Ping stoping...");
    // Any value other than 1 is Chinese.
    setUiLanguage(7);
    EXPECT_EQ(loadUiString(25), "连接(&C)");
}

TEST(StringTable, UnknownIdsGiveEmptyText)
{
    LanguageGuard guard;
    for (uint8_t lang : {0, 1}) {
        setUiLanguage(lang);
        EXPECT_EQ(loadUiString(42), "");
        EXPECT_EQ(loadUiString(-5), "");
        EXPECT_EQ(loadUiString(99999), "");
    }
}

TEST(StringTable, EnglishIdsAreReachableDirectlyFromChinese)
{
    LanguageGuard guard;
    setUiLanguage(LanguageChinese);
    EXPECT_EQ(loadUiString(10303), "success.");
    setUiLanguage(LanguageEnglish);
    EXPECT_EQ(loadUiString(10303), ""); // 20303 has no entry
}

TEST(StringTable, StatusCodes)
{
    LanguageGuard guard;
    setUiLanguage(LanguageEnglish);
    EXPECT_EQ(statusCodeText(404), "already exist other connect");
    EXPECT_EQ(statusCodeText(2), "disconnect");
    EXPECT_EQ(statusCodeText(304), "don't upgrade at stb standby.");
    EXPECT_EQ(statusCodeText(602), "no data");
    EXPECT_EQ(statusCodeText(999), "");
    EXPECT_EQ(statusCodeText(123), "");
    setUiLanguage(LanguageChinese);
    EXPECT_EQ(statusCodeText(404), "已存在其它连接");
    EXPECT_EQ(statusCodeText(501), "非法连接，或用户名和密码不正确");
}

// Every code a box can answer with reaches the user as its own message.
TEST(StringTable, EveryBoxStatusHasItsMessage)
{
    LanguageGuard guard;
    setUiLanguage(LanguageEnglish);
    const std::pair<int, const char*> codes[] = {
        {0, "unknown error."},
        {1, "None data in receive message."},
        {2, "disconnect"},
        {200, "success."},
        {300, "Same version, havn't upgrade."},
        {301, "upgrading......"},
        {302, "Finished ugrade, automatic reboot."},
        {303, "illegal file, upgrade failed."},
        {304, "don't upgrade at stb standby."},
        {401, "illegal parameter, operation failed."},
        {402, "illegal command, operation failed."},
        {403, "channel does not exist, operation failed."},
        {404, "already exist other connect"},
        {501, "illegal connect, username or passwd invalid."},
        {502, "illegal operation"},
        {601, "channel does not exist, operation failed."},
        {602, "no data"},
        {603, "Play url invalid"},
        {701, "Receiving......"},
        {801, "IPTV not start"},
    };
    for (const auto& [code, text] : codes)
        EXPECT_EQ(statusCodeText(code), text) << code;
    setUiLanguage(LanguageChinese);
    EXPECT_EQ(statusCodeText(801), "IPTV未启动");
}

TEST(StringTable, EveryGroupIsPresentInBothLanguages)
{
    LanguageGuard guard;
    const int ids[] = {1,   2,   3,   4,   10,  11,  14,  19,  21,  64,  67,  122, 131, 156,
                       159, 190, 193, 258, 261, 269, 293, 297, 300, 320, 330, 338, 350, 353,
                       400, 476, 480, 481, 486, 487, 700, 704, 790, 793, 794, 802, 816};
    for (int id : ids) {
        setUiLanguage(LanguageChinese);
        EXPECT_FALSE(loadUiString(id).empty()) << id;
        setUiLanguage(LanguageEnglish);
        EXPECT_FALSE(loadUiString(id).empty()) << id;
    }
    EXPECT_EQ(stringTableSize(), 365);
}
