#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct evp_cipher_ctx_st;

namespace quillon::sim {

// The box's own side of the link cipher, straight on OpenSSL: AES-128-CBC from the fixed vector
// with PKCS#5 padding, the MD5 check codes of the login and the RSA seal of the session key.

constexpr size_t kBoxBlock = 16;
constexpr size_t kBoxFieldSize = 24; // the authentication field in front of every request
// The fixed vector of every frame and the start of every bulk stream, as 16 character codes.
constexpr const char* kBoxIv = "5A1C90E7B34F0D62";

// The text with 1 to 16 padding bytes, each holding their count.
std::string boxPad(std::string_view text);
// The length of `plain` without its padding when that padding is well-formed, else npos.
size_t boxUnpaddedLength(std::string_view plain);

// AES-128-CBC over whole blocks with a 16-byte key. One object is one chain: every call continues
// from the last block of the previous one until restart().
class BoxCipher {
public:
    BoxCipher(const uint8_t* key, bool encrypt);
    ~BoxCipher();
    BoxCipher(const BoxCipher&) = delete;
    BoxCipher& operator=(const BoxCipher&) = delete;

    void restart(); // back to the fixed vector
    // `data` must be a whole number of blocks; empty on a cipher failure.
    std::string update(std::string_view data);

private:
    evp_cipher_ctx_st* ctx_;
    bool encrypt_;
    bool ok_ = false;
};

// One frame: padded and encrypted from the fixed vector.
std::string boxEncryptFrame(const uint8_t* key, std::string_view plaintext);

// Lower- or upper-case hexadecimal MD5 of `data`.
std::string boxMd5Hex(std::string_view data, bool upperCase);

// The 24-byte field the box expects before the session key is known: 8 check characters, then
// the 16-character token of the user name and password.
std::string boxLoginField(const std::string& user, const std::string& password);
// The field of every frame after the handshake: 8 check characters, then the 16 key bytes.
std::string boxSessionField(const uint8_t* key);

// The session key sealed with the box family's private key (PKCS#1 type 1); empty on failure.
std::string boxSealKey(const uint8_t* key, size_t length);

} // namespace quillon::sim
