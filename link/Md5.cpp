#include "Md5.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

namespace quillon
{

namespace
{

bool digest(std::initializer_list<std::string_view> parts, unsigned char out[EVP_MAX_MD_SIZE], unsigned int& len)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1)
        return false;
    for (std::string_view part : parts) {
        if (EVP_DigestUpdate(ctx.get(), part.data(), part.size()) != 1)
            return false;
    }
    return EVP_DigestFinal_ex(ctx.get(), out, &len) == 1;
}

} // namespace

std::string md5Hex(std::initializer_list<std::string_view> parts, int digestBytes, bool upperCase)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!digest(parts, md, len))
        return {};
    const int n = std::clamp(digestBytes, 0, static_cast<int>(len));
    std::string hex;
    hex.reserve(static_cast<size_t>(n) * 2);
    for (int i = 0; i < n; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", md[i]);
        hex += two;
    }
    if (upperCase)
        std::transform(hex.begin(), hex.end(), hex.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return hex;
}

} // namespace quillon
