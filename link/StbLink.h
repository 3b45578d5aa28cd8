#pragma once

#include "Commandio.h"
#include "FileSender.h"
#include "LinkObserver.h"
#include "LinkSocket.h"
#include "LinkTimeouts.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct evp_cipher_ctx_st;

namespace quillon
{

// The state of the link to one box, shared by the worker (which alone receives and changes the
// session), the watchdog and the window (stop frames). Every exchange works on one of these.
class StbLink
{
public:
    StbLink(Commandio& queues, LinkObserver* observer);
    ~StbLink();
    StbLink(const StbLink&) = delete;
    StbLink& operator=(const StbLink&) = delete;

    Commandio& queues;
    LinkObserver* observer;
    LinkTimeouts timeouts;
    LinkSocket socket;
    // The firmware image sender of the running upgrade (its own connection, its own thread).
    FileSender fileSender{queues};

    // Session: the AES key from the handshake and the field in front of every frame. Written by the
    // worker in the handshake only; read by the window's stop frames.
    std::array<uint8_t, 16> sessionKey{};
    std::array<uint8_t, 25> authField{}; // 24 bytes and a zero byte
    std::string linkIp = "0.0.0.0";
    std::string boxModulusHex; // the box family's RSA modulus

    // Text of the last link error ("%s:%d"), written by the worker.
    std::string errorText;
    // The errno of the last failed socket call of the calling thread (the window sends stop frames
    // while the worker receives, so each thread keeps its own).
    static thread_local int lastError;

    uint8_t linkState() const { return linkStateValue_.load(); }
    // Sets the state; going down shuts the connection; then tells the observer and waits for it.
    void setLinkState(uint8_t state);
    // Takes a link that is up down (the socket closed, the observer told) and returns true; false,
    // doing nothing, when it is down already. The watchdog and an exchange that notice the same
    // loss report it once, so no late "disconnect" covers the exchange's own verdict.
    bool markLinkLost();

    // Output line of a running diagnostic to the observer.
    void output(OutputChannel channel, const std::string& line);

    // Pads, encrypts and sends one frame on the link; bytes sent, or -1 (lastError set).
    int sendEncrypted(const std::string& plaintext);

    // One reply within `timeout`: its plaintext with the padding removed. Returns the plaintext
    // length, 0 when nothing arrived in time, negative on failure (lastError set).
    int receiveDecrypted(std::string& plaintext, std::chrono::milliseconds timeout);
    int receiveDecrypted(std::string& plaintext) { return receiveDecrypted(plaintext, timeouts.reply); }

    // Bulk stream: one continuous CBC chain from the fixed vector over all segments.
    int beginStreamDecrypt();
    // One segment of the stream, decrypted; padding at its end zeroed but kept. Returns the segment
    // length, 0 when nothing arrived in time, negative on failure.
    int receiveStreamDecrypted(std::string& plaintext, std::chrono::milliseconds timeout);

    // The raw receive: up to `size` bytes within `timeout` (bytes carried from an earlier receive
    // first). With ch -1 one receive; otherwise it gathers up to the count-th occurrence of ch and
    // keeps the rest for the next call (-2 when the buffer fills first). 0 when nothing arrived,
    // -1 on failure or when the box closed the connection.
    int receiveTillCh(char* buffer, int size, int ch, int count, std::chrono::milliseconds timeout);

    // Drops whatever an earlier exchange left unread (a late reply), so that it cannot be taken
    // for the answer of the next request. The worker calls it before every exchange.
    void discardStale();

private:
    int receiveCipher(std::string& cipher, std::chrono::milliseconds timeout, bool eager);
    bool eagerRead_ = false; // try the socket before waiting (bulk segments usually wait already)
    // The receive limit last given to the socket, so that it is set only when it changes. Kept
    // per connection: a new connection may get the same descriptor number without the limit.
    bool setReceiveLimit(const LinkSocket::Use& use, std::chrono::milliseconds limit);
    unsigned long receiveLimitGeneration_ = 0;
    long receiveLimitMs_ = -1;

    std::atomic<uint8_t> linkStateValue_{0};
    std::string carry_; // received bytes that belong to the next receive
    evp_cipher_ctx_st* stream_ = nullptr;
};

// The text of a link failure: the string-table text and the socket error as "%s:%d", then the
// system's reason for a nonzero error in brackets ("connect socket failed.:111 (Connection refused)").
std::string linkErrorText(int stringId, int error);

} // namespace quillon
