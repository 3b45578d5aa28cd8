#include "BoxText.h"

#include <atomic>
#include <cerrno>
#include <cstdint>

#include <iconv.h>

namespace quillon
{

namespace
{

std::atomic<BoxEncoding> g_encoding{BoxEncoding::Gbk};

constexpr const char* kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// Length of the well-formed UTF-8 sequence at `s`, or 0 when there is none.
size_t utf8SequenceLength(std::string_view s)
{
    const auto b = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const auto cont = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    if (s.empty())
        return 0;
    const uint8_t c = b(0);
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        if (c == 0xE0 && b(1) < 0xA0)
            return 0; // overlong
        if (c == 0xED && b(1) >= 0xA0)
            return 0; // surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        if (c == 0xF0 && b(1) < 0x90)
            return 0; // overlong
        if (c == 0xF4 && b(1) >= 0x90)
            return 0; // past U+10FFFF
        return 4;
    }
    return 0;
}

bool isAscii(std::string_view s)
{
    for (char c : s) {
        if (static_cast<uint8_t>(c) >= 0x80)
            return false;
    }
    return true;
}

// One conversion descriptor per thread and direction, reset before each use.
class Converter
{
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `in`; at a sequence it cannot convert, calls `onBad(rest)`, which appends a
    // substitute and returns how many input bytes to skip (at least one).
    template <typename OnBad> std::string convert(std::string_view in, OnBad onBad)
    {
        std::string out;
        out.reserve(in.size() * 2 + 8);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[1024];
        size_t at = 0;
        while (at < in.size()) {
            char* src = const_cast<char*>(in.data() + at);
            size_t srcLeft = in.size() - at;
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            at = in.size() - srcLeft;
            if (r != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL (a sequence cut at the end): substitute and go on.
            const size_t skip = onBad(out, in.substr(at));
            at += skip > 0 ? skip : 1;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t cd_;
};

Converter& utf8ToGbk()
{
    thread_local Converter c("GBK", "UTF-8");
    return c;
}

Converter& gbkToUtf8()
{
    thread_local Converter c("UTF-8", "GBK");
    return c;
}

std::string encodeGbk(std::string_view utf8)
{
    if (isAscii(utf8))
        return std::string(utf8);
    Converter& c = utf8ToGbk();
    if (!c.ok())
        return std::string(utf8);
    return c.convert(utf8, [](std::string& out, std::string_view rest) {
        out += '?';
        const size_t n = utf8SequenceLength(rest);
        return n > 0 ? n : size_t{1};
    });
}

std::string decodeGbk(std::string_view bytes)
{
    if (isAscii(bytes))
        return std::string(bytes);
    Converter& c = gbkToUtf8();
    if (!c.ok())
        return std::string(bytes);
    return c.convert(bytes, [](std::string& out, std::string_view) {
        out += kReplacement;
        return size_t{1};
    });
}

// Invalid UTF-8 kept as UTF-8 with every bad byte replaced.
std::string repairUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t n = utf8SequenceLength(bytes.substr(at));
        if (n == 0) {
            out += '?';
            ++at;
        } else {
            out.append(bytes.substr(at, n));
            at += n;
        }
    }
    return out;
}

} // namespace

void setBoxEncoding(BoxEncoding encoding)
{
    g_encoding.store(encoding);
}

BoxEncoding boxEncoding()
{
    return g_encoding.load();
}

bool parseBoxEncoding(std::string_view name, BoxEncoding& out)
{
    std::string lower;
    for (char c : name)
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower == "gbk") {
        out = BoxEncoding::Gbk;
        return true;
    }
    if (lower == "utf-8" || lower == "utf8") {
        out = BoxEncoding::Utf8;
        return true;
    }
    return false;
}

bool isValidUtf8(std::string_view bytes)
{
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t n = utf8SequenceLength(bytes.substr(at));
        if (n == 0)
            return false;
        at += n;
    }
    return true;
}

std::string toBox(std::string_view utf8, BoxEncoding encoding)
{
    if (encoding == BoxEncoding::Gbk)
        return encodeGbk(utf8);
    return isValidUtf8(utf8) ? std::string(utf8) : repairUtf8(utf8);
}

std::string toBox(std::string_view utf8)
{
    return toBox(utf8, boxEncoding());
}

std::string fromBox(std::string_view bytes, BoxEncoding encoding)
{
    if (isAscii(bytes))
        return std::string(bytes);
    if (isValidUtf8(bytes))
        return std::string(bytes);
    (void)encoding; // both settings read non-UTF-8 bytes as GBK
    return decodeGbk(bytes);
}

std::string fromBox(std::string_view bytes)
{
    return fromBox(bytes, boxEncoding());
}

size_t boxByteLength(std::string_view utf8)
{
    return toBox(utf8).size();
}

std::string_view cutBoxBytes(std::string_view bytes, size_t limit, BoxEncoding encoding)
{
    if (bytes.size() <= limit)
        return bytes;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t n = 1;
        const auto c = static_cast<uint8_t>(bytes[at]);
        if (encoding == BoxEncoding::Gbk) {
            if (c >= 0x81 && c <= 0xFE && at + 1 < bytes.size())
                n = 2;
        } else {
            n = utf8SequenceLength(bytes.substr(at));
            if (n == 0)
                n = 1;
        }
        if (at + n > limit)
            break;
        at += n;
    }
    return bytes.substr(0, at);
}

} // namespace quillon
