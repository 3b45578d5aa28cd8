#include "Frame.h"

#include <BoxText.h>
#include <Logger.h>

#include <openssl/evp.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace quillon {

const char* const kLinkIv = "5A1C90E7B34F0D62";

std::string buildFrameText(const uint8_t* authField, const std::string& text)
{
    // Every text reaches the box here, so this is where it takes the box's encoding; the cut
    // counts the box's bytes and never splits a character.
    const std::string boxText = toBox(text);
    std::string frame(reinterpret_cast<const char*>(authField), kAuthFieldSize);
    frame.append(cutBoxBytes(boxText, kFrameTextArea - 1, boxEncoding()));
    return frame;
}

std::string buildFrame(const uint8_t* authField, const char* function, const char* call, const char* parameter,
                       const char* data)
{
    std::string text = function ? function : "";
    text += '^';
    text += call ? call : "";
    text += '^';
    text += parameter ? parameter : "";
    if (data) {
        text += '^';
        text += data;
    }
    return buildFrameText(authField, text);
}

int pkcs5PaddedLength(int n)
{
    return n + kAesBlock - (n % kAesBlock);
}

int aes_PKCS5Padding_src2dst(const uint8_t* src, int srcLength, uint8_t* dst, int dstSize)
{
    const int padded = pkcs5PaddedLength(srcLength);
    if (!src || !dst || srcLength < 0 || dstSize < padded) {
        std::printf("Invalid params, nDstSize < nSrcSize.\n");
        return -1;
    }
    std::memcpy(dst, src, static_cast<size_t>(srcLength));
    std::memset(dst + srcLength, padded - srcLength, static_cast<size_t>(padded - srcLength));
    return 0;
}

namespace {

// The cipher is fetched once and each thread keeps one context: setting them up anew for every
// frame costs more than encrypting the frame.
const EVP_CIPHER* aes128Cbc()
{
    static EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
    return cipher;
}

// One context per thread and direction keeps its key schedule: a frame under the same key only
// sets the vector again, which costs a fraction of a full set-up.
struct CachedContext {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    std::array<uint8_t, kAesBlock> key{};
    bool keyed = false;
    ~CachedContext() { EVP_CIPHER_CTX_free(ctx); }
};

EVP_CIPHER_CTX* threadContext(const uint8_t* key, const uint8_t* iv, bool encrypt)
{
    thread_local CachedContext contexts[2];
    CachedContext& c = contexts[encrypt ? 1 : 0];
    if (!c.ctx || !aes128Cbc())
        return nullptr;
    const bool sameKey = c.keyed && std::memcmp(c.key.data(), key, kAesBlock) == 0;
    if (EVP_CipherInit_ex(c.ctx, sameKey ? nullptr : aes128Cbc(), nullptr, sameKey ? nullptr : key, iv,
                          encrypt ? 1 : 0) != 1) {
        c.keyed = false;
        return nullptr;
    }
    if (!sameKey) {
        std::memcpy(c.key.data(), key, kAesBlock);
        c.keyed = true;
        EVP_CIPHER_CTX_set_padding(c.ctx, 0);
    }
    return c.ctx;
}

int aesCbc(const uint8_t* in, int length, const uint8_t* key, const uint8_t* iv, uint8_t* out, bool encrypt)
{
    if (length < 0 || length % kAesBlock != 0)
        return -1;
    // EVP copies the vector, so the caller's stays as it was.
    EVP_CIPHER_CTX* ctx = threadContext(key, iv, encrypt);
    if (!ctx) {
        std::printf(encrypt ? "Unable to set encryption key in aeskey\n" : "Unable to set decryption key in aeskey\n");
        return -1;
    }
    int outLen = 0;
    if (length > 0 && EVP_CipherUpdate(ctx, out, &outLen, in, length) != 1)
        return -1;
    return length;
}

} // namespace

int aes_cbc_encrypt(const uint8_t* in, int length, const uint8_t* key, const uint8_t* iv, uint8_t* out)
{
    return aesCbc(in, length, key, iv, out, true);
}

int aes_cbc_decrypt(const uint8_t* in, int length, const uint8_t* key, const uint8_t* iv, uint8_t* out)
{
    return aesCbc(in, length, key, iv, out, false);
}

std::string encryptFrame(const std::string& plaintext, const uint8_t* key)
{
    const int n = pkcs5PaddedLength(static_cast<int>(plaintext.size()));
    std::string padded(static_cast<size_t>(n), '\0');
    if (aes_PKCS5Padding_src2dst(reinterpret_cast<const uint8_t*>(plaintext.data()), static_cast<int>(plaintext.size()),
                                 reinterpret_cast<uint8_t*>(padded.data()), n) != 0) {
        Logger::instance().error("aes_PKCS5Padding_src2dst() failed.\n");
        return {};
    }
    std::string cipher(static_cast<size_t>(n), '\0');
    if (aes_cbc_encrypt(reinterpret_cast<const uint8_t*>(padded.data()), n, key,
                        reinterpret_cast<const uint8_t*>(kLinkIv), reinterpret_cast<uint8_t*>(cipher.data())) < 0) {
        Logger::instance().error("aes_cbc_encrypt() failed.\n");
        return {};
    }
    return cipher;
}

int parseStatusCode(const std::string& reply, const char* function)
{
    if (function && reply.compare(std::min<size_t>(3, reply.size()), std::strlen(function), function) != 0)
        return 402;
    char digits[4] = {};
    for (size_t i = 0; i < 3 && i < reply.size() && reply[i] != '\0'; ++i)
        digits[i] = reply[i];
    const int code = static_cast<int>(std::atol(digits));
    Logger::instance().debug("get statuscode:%d", code);
    return code;
}

bool getReturnValue(const std::string& reply, std::string& value, size_t valueSize, const char* function,
                    const char* call)
{
    // The reply is a C text: nothing behind its terminating zero counts.
    const std::string text = reply.substr(0, reply.find('\0'));
    std::string prefix = std::string(function ? function : "") + "^" + (call ? call : "") + "^";
    prefix.resize(std::min<size_t>(prefix.size(), 63));
    const size_t at = text.find(prefix);
    if (at == std::string::npos) {
        value.clear();
        return false;
    }
    const std::string_view raw = std::string_view(text).substr(at + prefix.size());
    value = fromBox(cutBoxBytes(raw, valueSize > 0 ? valueSize - 1 : 0, boxEncoding()));
    Logger::instance().debug("return value:%s", value.c_str());
    return true;
}

std::string valueAfterLastCaret(const std::string& reply)
{
    const std::string text = reply.substr(0, reply.find('\0'));
    const size_t at = text.rfind('^');
    return at == std::string::npos ? std::string() : fromBox(std::string_view(text).substr(at + 1));
}

void splitData(const char* buffer, int length, char separator, DataEntityList& list)
{
    while (length > 0) {
        const void* hit = std::memchr(buffer, separator, static_cast<size_t>(length));
        if (!hit) {
            list.push_back({buffer, length});
            return;
        }
        const int n = static_cast<int>(static_cast<const char*>(hit) - buffer) + 1;
        list.push_back({buffer, n});
        buffer += n;
        length -= n;
    }
}

} // namespace quillon
