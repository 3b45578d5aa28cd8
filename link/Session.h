#pragma once

#include "Messages.h"

#include <string>

namespace quillon {

class StbLink;

// The modulus of the simulated box family (its private half lives only in the simulator).
// Real boxes belong to other families: the window and the command line take --box-modulus.
extern const char* const kDefaultBoxModulus;

// First 16 digits of the lower-case hexadecimal MD5 of the user name followed by the password.
std::string tokenHash(const std::string& userName, const std::string& password);
// First 8 digits of the upper-case hexadecimal MD5 of the text followed by the salt "qezmor".
std::string checkCodeOf(const std::string& text);
// The first authentication field: checkCodeOf(T) then T, with T = tokenHash(user, password).
std::string firstAuthField(const std::string& userName, const std::string& password);
// The field after the handshake: checkCodeOf(the key up to its first zero byte), then the 16 key bytes.
std::string sessionAuthField(const std::string& sessionKey);

// Opens the 128-byte RSA block of the handshake with the box family's public key (PKCS#1 type 1
// padding). The recovered bytes on success; -1 on failure.
int rsa_decrypt(const std::string& modulusHex, const uint8_t* block, int length, std::string& recovered);

// True when the text is 256 hexadecimal digits (a 1024-bit modulus).
bool isValidModulusHex(const std::string& hex);

void connectExchange(StbLink& link, const ReqConnect& request);
void disconnectExchange(StbLink& link, const ReqDisConnect& request);

} // namespace quillon
