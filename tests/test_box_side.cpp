// The simulated box's own side of the link cipher, against vectors made with the openssl command
// line (not with the tool's code):
//   printf 'TEXT' | openssl enc -aes-128-cbc -K 30313233343536373839414243444546
//       -iv 35413143393045374233344630443632 | xxd -p
//   printf 'adminquillon' | openssl md5          (the login token), then 'TOKENqezmor'

#include <SimCrypto.h>

#include <gtest/gtest.h>

using namespace quillon::sim;

namespace {

const uint8_t* kKey = reinterpret_cast<const uint8_t*>("0123456789ABCDEF");

std::string hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

} // namespace

TEST(BoxSide, FramesMatchTheCommandLineVectors)
{
    EXPECT_EQ(hex(boxEncryptFrame(kKey, "123456780123456789ABCDEFread^STB_model^null")),
              "5ee1f7a30de448c002eeda292db820bb5554a27b9021843e4cfe9e439dc6cc2e"
              "95384a1ceadd4d329f5b951d493df9a7");
    EXPECT_EQ(hex(boxEncryptFrame(kKey, std::string("200read^STB_model^QB-5000") + '\0')),
              "f227110592817814be3c35b4eab2fd62a247e83b344e1681fd2465ab94a10d14");
    EXPECT_EQ(hex(boxEncryptFrame(kKey, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345")),
              "f2b4415dc9f0f4563c66298854afb4d097237ae8e651c3f125ab1b9aa9733d94"
              "80b094523f2a34f67777683968fcc040");
}

TEST(BoxSide, OneChainOverManyUpdatesAndBackToTheVector)
{
    const std::string plain = boxPad(std::string(70, 'q'));
    ASSERT_EQ(plain.size(), 80u);
    BoxCipher whole(kKey, true);
    const std::string once = whole.update(plain);
    BoxCipher pieces(kKey, true);
    std::string chained = pieces.update(plain.substr(0, 16));
    chained += pieces.update(plain.substr(16, 48));
    chained += pieces.update(plain.substr(64));
    EXPECT_EQ(chained, once);
    pieces.restart();
    EXPECT_EQ(pieces.update(plain), once);
    BoxCipher back(kKey, false);
    EXPECT_EQ(back.update(once), plain);
    EXPECT_EQ(back.update("odd length"), ""); // not whole blocks
}

TEST(BoxSide, Padding)
{
    EXPECT_EQ(boxPad(""), std::string(16, '\x10'));
    EXPECT_EQ(boxPad("abc"), "abc" + std::string(13, '\x0d'));
    EXPECT_EQ(boxUnpaddedLength(boxPad("abc")), 3u);
    EXPECT_EQ(boxUnpaddedLength(boxPad(std::string(16, 'x'))), 16u);
    EXPECT_EQ(boxUnpaddedLength(std::string(15, 'x') + '\x00'), std::string::npos);
    EXPECT_EQ(boxUnpaddedLength(std::string(15, 'x') + '\x11'), std::string::npos);
    EXPECT_EQ(boxUnpaddedLength(std::string(13, 'x') + "\x03\x02\x03"), std::string::npos);
    EXPECT_EQ(boxUnpaddedLength("short\x01"), std::string::npos); // not whole blocks
}

TEST(BoxSide, LoginAndSessionFields)
{
    EXPECT_EQ(boxMd5Hex("", false), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(boxLoginField("admin", "quillon"), "55C90541fbc5f8246264faf3");
    const std::string key("\x41\x42\x00\x43\x44\x45\x46\x47\x48\x49\x4a\x4b\x4c\x4d\x4e\x4f", 16);
    const std::string field = boxSessionField(reinterpret_cast<const uint8_t*>(key.data()));
    EXPECT_EQ(field.substr(0, 8), "1FB33658"); // MD5 of "AB" and the salt: the key up to its zero byte
    EXPECT_EQ(field.substr(8), key);
}
