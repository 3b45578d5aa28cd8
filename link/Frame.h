#pragma once

#include "Messages.h"

#include <cstdint>
#include <string>

namespace quillon {

constexpr int kAuthFieldSize = 24;
constexpr int kFrameBufferSize = 2048; // 24-byte field + 2024-byte text area
constexpr int kFrameTextArea = kFrameBufferSize - kAuthFieldSize;
constexpr int kMaxReceive = 1440; // one reply, 90 AES blocks: one TCP segment on Ethernet
constexpr int kAesBlock = 16;

// The fixed initialisation vector of every frame and the start of every bulk stream.
extern const char* const kLinkIv; // "5A1C90E7B34F0D62"

// 24 bytes of the authentication field then the text function^call^parameter[^data] in the box's
// encoding (core/BoxText.h), cut to fit the 2024-byte text area (2023 bytes and the terminator)
// without splitting a character.
std::string buildFrame(const uint8_t* authField, const char* function, const char* call, const char* parameter,
                       const char* data = nullptr);
// The same with an already composed text.
std::string buildFrameText(const uint8_t* authField, const std::string& text);

// n rounded up to the next multiple of 16, always adding 1 to 16 bytes.
int pkcs5PaddedLength(int n);
// Copies src and pads it; 0, or -1 when dst is too small for the padded length.
int aes_PKCS5Padding_src2dst(const uint8_t* src, int srcLength, uint8_t* dst, int dstSize);
// AES-128-CBC of `length` bytes (a multiple of 16) with a private copy of the vector; returns
// `length`, or -1 when the cipher cannot be set up.
int aes_cbc_encrypt(const uint8_t* in, int length, const uint8_t* key, const uint8_t* iv, uint8_t* out);
int aes_cbc_decrypt(const uint8_t* in, int length, const uint8_t* key, const uint8_t* iv, uint8_t* out);

// The padded and encrypted form of a plaintext frame; empty on a cipher failure.
std::string encryptFrame(const std::string& plaintext, const uint8_t* key);

// The three-digit status at the start of a reply; 402 when `function` is given and the reply does
// not echo it right behind the digits ("abc" reads as 0).
int parseStatusCode(const std::string& reply, const char* function);
// The text behind the first "function^call^" of the reply, up to its terminating zero byte and at
// most valueSize - 1 bytes of the box's text, as UTF-8; false (and an empty value) when the prefix
// does not occur.
bool getReturnValue(const std::string& reply, std::string& value, size_t valueSize, const char* function,
                    const char* call);
// Everything after the last "^" of a reply (up to its zero byte) as UTF-8; empty when there is none.
std::string valueAfterLastCaret(const std::string& reply);

// Appends one slice per record: each runs through the next separator (included); the rest
// after the last separator forms a final slice.
void splitData(const char* buffer, int length, char separator, DataEntityList& list);

} // namespace quillon
