#include "Session.h"

#include "Frame.h"
#include "Md5.h"
#include "StbLink.h"

#include <Logger.h>
#include <StringTable.h>

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon {

std::string tokenHash(const std::string& userName, const std::string& password)
{
    // The two are joined in a 256-byte buffer, so at most 255 characters enter the hash.
    std::string joined = userName + password;
    joined.resize(std::min<size_t>(joined.size(), 255));
    return md5Hex({joined}, 16, false).substr(0, 16);
}

std::string checkCodeOf(const std::string& text)
{
    return md5Hex({text, "qezmor"}, 16, true).substr(0, 8);
}

std::string firstAuthField(const std::string& userName, const std::string& password)
{
    const std::string t = tokenHash(userName, password);
    return checkCodeOf(t) + t;
}

std::string sessionAuthField(const std::string& sessionKey)
{
    const std::string asText = sessionKey.substr(0, sessionKey.find('\0'));
    return checkCodeOf(asText) + sessionKey.substr(0, 16);
}

bool isValidModulusHex(const std::string& hex)
{
    if (hex.size() != 256)
        return false;
    for (unsigned char c : hex) {
        if (!std::isxdigit(c))
            return false;
    }
    return true;
}

namespace {

using PkeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

PkeyPtr publicKeyFromModulus(const std::string& modulusHex)
{
    PkeyPtr key(nullptr, EVP_PKEY_free);
    BIGNUM* n = nullptr;
    BIGNUM* e = BN_new();
    OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
    OSSL_PARAM* params = nullptr;
    EVP_PKEY_CTX* ctx = nullptr;
    EVP_PKEY* raw = nullptr;
    if (isValidModulusHex(modulusHex) && BN_hex2bn(&n, modulusHex.c_str()) && e && BN_set_word(e, 65537) && bld &&
        OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n) && OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e) &&
        (params = OSSL_PARAM_BLD_to_param(bld)) && (ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr)) &&
        EVP_PKEY_fromdata_init(ctx) == 1 && EVP_PKEY_fromdata(ctx, &raw, EVP_PKEY_PUBLIC_KEY, params) == 1) {
        key.reset(raw);
    }
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    BN_free(e);
    BN_free(n);
    return key;
}

} // namespace

int rsa_decrypt(const std::string& modulusHex, const uint8_t* block, int length, std::string& recovered)
{
    recovered.clear();
    PkeyPtr key = publicKeyFromModulus(modulusHex);
    if (!key)
        return -1;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key.get(), nullptr),
                                                                    EVP_PKEY_CTX_free);
    unsigned char out[512];
    size_t outLen = sizeof out;
    // The box encrypts the key with its private half: opening it is a signature recovery.
    if (!ctx || EVP_PKEY_verify_recover_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_verify_recover(ctx.get(), out, &outLen, block, static_cast<size_t>(length)) != 1) {
        // On the log, not standard output: the command line keeps that for data.
        Logger::instance().error("RSA_public_decrypt() failed, rsa decrypt text size:%d", -1);
        return -1;
    }
    recovered.assign(reinterpret_cast<const char*>(out), outLen);
    return static_cast<int>(outLen);
}

namespace {

// Connects within `timeout`; 0, or -1 with errno set.
int connectWithin(int fd, const sockaddr_in& address, std::chrono::milliseconds timeout)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (r < 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        r = ::poll(&p, 1, static_cast<int>(timeout.count()));
        if (r == 0) {
            errno = ETIMEDOUT;
            r = -1;
        } else if (r > 0) {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
            errno = err;
            r = err ? -1 : 0;
        }
    }
    const int saved = errno;
    ::fcntl(fd, F_SETFL, flags);
    errno = saved;
    return r;
}

} // namespace

void connectExchange(StbLink& link, const ReqConnect& request)
{
    Logger& log = Logger::instance();
    ResConnect response;

    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        link.errorText = linkErrorText(350, errno);
        log.info("%s", link.errorText.c_str());
        response.setResult(STA_ERROR, link.errorText, 0);
        link.queues.pushResponse(response);
        return;
    }
    link.socket.adopt(fd);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(request.port));
    int rc = -1;
    if (::inet_pton(AF_INET, request.ip.c_str(), &address.sin_addr) == 1 && request.port > 0 && request.port < 65536)
        rc = connectWithin(fd, address, link.timeouts.reply);
    else
        errno = EINVAL;
    if (rc != 0) {
        link.errorText = linkErrorText(351, errno);
        log.error("%s", link.errorText.c_str());
        response.setResult(STA_ERROR, link.errorText, 0);
        link.queues.pushResponse(response);
        link.socket.close();
        return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    const std::string first = firstAuthField(request.userName, request.password);
    link.authField.fill(0);
    std::memcpy(link.authField.data(), first.data(), kAuthFieldSize);

    // The handshake travels in clear.
    const std::string hello = buildFrame(link.authField.data(), "initialize", "connection", "null");
    if (::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(hello.size())) {
        link.errorText = linkErrorText(352, errno);
        log.error("%s", link.errorText.c_str());
        response.setResult(STA_ERROR, link.errorText, kCodeDisconnect);
        link.queues.pushResponse(response);
        link.socket.close();
        return;
    }

    constexpr int kRsaBlock = 128;
    char reply[kFrameBufferSize + 1] = {};
    int got = link.receiveTillCh(reply, kFrameBufferSize, -1, -1, link.timeouts.reply);
    // The block and the status belong together; a reply cut by the network is completed.
    const auto deadline = std::chrono::steady_clock::now() + link.timeouts.reply;
    while (got > 0 && got < kRsaBlock + 3 + 10 && std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int more = link.receiveTillCh(reply + got, kFrameBufferSize - got, -1, -1, left);
        if (more <= 0)
            break;
        got += more;
    }
    // The rest of the echo (initialize^connection^null and its zero byte) belongs to this reply as
    // well; left behind it would be taken for the start of the next one. A box that stops short of
    // it is given a moment, not the whole limit.
    static constexpr char kEcho[] = "initialize^connection^null";
    const auto restDeadline = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(500));
    auto echoIncomplete = [&] {
        const int echoed = got - kRsaBlock - 3;
        return echoed >= 0 && echoed < static_cast<int>(sizeof kEcho) &&
               std::memcmp(reply + kRsaBlock + 3, kEcho, static_cast<size_t>(echoed)) == 0;
    };
    while (got > 0 && echoIncomplete() && std::chrono::steady_clock::now() < restDeadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(restDeadline - std::chrono::steady_clock::now());
        const int more = link.receiveTillCh(reply + got, kFrameBufferSize - got, -1, -1, left);
        if (more <= 0)
            break;
        got += more;
    }
    if (got < 0) {
        link.errorText = linkErrorText(353, link.lastError);
        log.error("%s", link.errorText.c_str());
        response.setResult(STA_ERROR, link.errorText, kCodeDisconnect);
        link.queues.pushResponse(response);
        link.socket.close();
        return;
    }
    if (got == 0) {
        response.setResult(STA_ERROR, loadUiString(315), 0);
        link.queues.pushResponse(response);
        link.socket.close();
        return;
    }

    int status = 402;
    if (got >= kRsaBlock + 3 && std::strncmp(reply + kRsaBlock + 3, "initialize", 10) == 0) {
        char digits[4] = {reply[kRsaBlock], reply[kRsaBlock + 1], reply[kRsaBlock + 2], 0};
        status = static_cast<int>(std::atol(digits));
    }
    log.debug("get statuscode:%d", status);
    if (status != 200) {
        response.setResult(STA_ERROR, "", static_cast<int16_t>(status));
        link.queues.pushResponse(response);
        link.socket.close();
        return;
    }

    std::string key;
    const int n = rsa_decrypt(link.boxModulusHex, reinterpret_cast<const uint8_t*>(reply), kRsaBlock, key);
    if (n != 16) {
        log.error("rsa_decrypt() failed, nSize=%d", n);
        response.setResult(STA_ERROR, "", 0);
        link.queues.pushResponse(response);
        link.setLinkState(0);
        return;
    }
    std::memcpy(link.sessionKey.data(), key.data(), 16);
    const std::string field = sessionAuthField(key);
    link.authField.fill(0);
    std::memcpy(link.authField.data(), field.data(), kAuthFieldSize);
    link.linkIp = request.ip.substr(0, 15);
    response.setResult(STA_OK, "", 0);
    link.queues.pushResponse(response);
    link.setLinkState(1);
}

void disconnectExchange(StbLink& link, const ReqDisConnect&)
{
    ResDisConnect response;
    link.setLinkState(0);
    response.setResult(STA_OK, "", 0);
    link.queues.pushResponse(response);
}

} // namespace quillon
