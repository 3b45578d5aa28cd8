#include "SimCrypto.h"

#include "StbSimulator.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstring>
#include <memory>

namespace quillon::sim {

namespace {

constexpr const char* kCheckSalt = "qezmor";

} // namespace

std::string boxPad(std::string_view text)
{
    const size_t count = kBoxBlock - text.size() % kBoxBlock;
    std::string padded(text);
    padded.append(count, static_cast<char>(count));
    return padded;
}

size_t boxUnpaddedLength(std::string_view plain)
{
    if (plain.empty() || plain.size() % kBoxBlock != 0)
        return std::string_view::npos;
    const auto count = static_cast<uint8_t>(plain.back());
    if (count < 1 || count > kBoxBlock)
        return std::string_view::npos;
    for (size_t i = plain.size() - count; i < plain.size(); ++i) {
        if (static_cast<uint8_t>(plain[i]) != count)
            return std::string_view::npos;
    }
    return plain.size() - count;
}

BoxCipher::BoxCipher(const uint8_t* key, bool encrypt) : ctx_(EVP_CIPHER_CTX_new()), encrypt_(encrypt)
{
    ok_ = ctx_ && EVP_CipherInit_ex(ctx_, EVP_aes_128_cbc(), nullptr, key,
                                    reinterpret_cast<const unsigned char*>(kBoxIv), encrypt ? 1 : 0) == 1;
    if (ok_)
        EVP_CIPHER_CTX_set_padding(ctx_, 0);
}

BoxCipher::~BoxCipher()
{
    EVP_CIPHER_CTX_free(ctx_);
}

void BoxCipher::restart()
{
    ok_ = ok_ && EVP_CipherInit_ex(ctx_, nullptr, nullptr, nullptr, reinterpret_cast<const unsigned char*>(kBoxIv),
                                   encrypt_ ? 1 : 0) == 1;
}

std::string BoxCipher::update(std::string_view data)
{
    if (!ok_ || data.size() % kBoxBlock != 0)
        return {};
    std::string out(data.size(), '\0');
    int n = 0;
    if (!data.empty() &&
        (EVP_CipherUpdate(ctx_, reinterpret_cast<unsigned char*>(out.data()), &n,
                          reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size())) != 1 ||
         static_cast<size_t>(n) != data.size()))
        return {};
    return out;
}

std::string boxEncryptFrame(const uint8_t* key, std::string_view plaintext)
{
    BoxCipher cipher(key, true);
    return cipher.update(boxPad(plaintext));
}

std::string boxMd5Hex(std::string_view data, bool upperCase)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr) != 1)
        return {};
    static const char lower[] = "0123456789abcdef";
    static const char upper[] = "0123456789ABCDEF";
    const char* digits = upperCase ? upper : lower;
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
    }
    return hex;
}

std::string boxLoginField(const std::string& user, const std::string& password)
{
    // The box joins the two in a 256-byte buffer, so at most 255 characters count.
    const std::string token = boxMd5Hex(std::string_view(user + password).substr(0, 255), false).substr(0, 16);
    return boxMd5Hex(token + kCheckSalt, true).substr(0, 8) + token;
}

std::string boxSessionField(const uint8_t* key)
{
    // The check covers the key as a C text: its bytes up to the first zero byte.
    const auto* text = reinterpret_cast<const char*>(key);
    const std::string_view asText(text, strnlen(text, kBoxBlock));
    return boxMd5Hex(std::string(asText) + kCheckSalt, true).substr(0, 8) + std::string(text, kBoxBlock);
}

std::string boxSealKey(const uint8_t* key, size_t length)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(kSimBoxPrivateKeyPem, -1), BIO_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(
        bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr, EVP_PKEY_free);
    if (!pkey)
        return {};
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(pkey.get(), nullptr),
                                                                    EVP_PKEY_CTX_free);
    unsigned char out[512];
    size_t outLen = sizeof out;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_sign(ctx.get(), out, &outLen, key, length) != 1)
        return {};
    return std::string(reinterpret_cast<const char*>(out), outLen);
}

} // namespace quillon::sim
