#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon
{

// The character encoding of the box: every text that goes to or comes from a box, and every
// file a box reads, is in it. Inside the tool (window, terminal, PC-only files) text is UTF-8.
enum class BoxEncoding { Gbk, Utf8 };

// Process-wide setting; GBK unless changed (--box-encoding).
void setBoxEncoding(BoxEncoding encoding);
BoxEncoding boxEncoding();

// "gbk" or "utf-8" (any case; "utf8" too). False for anything else, `out` untouched.
bool parseBoxEncoding(std::string_view name, BoxEncoding& out);

// UTF-8 text as the box stores it. A character the box's encoding cannot hold, and a byte
// that is not part of valid UTF-8, becomes '?'.
std::string toBox(std::string_view utf8);
std::string toBox(std::string_view utf8, BoxEncoding encoding);

// The box's bytes as UTF-8, under either setting: bytes that are valid UTF-8 are taken as UTF-8
// (a UTF-8 box, or text that came from one; GBK text of more than a character or two is almost
// never valid UTF-8), anything else is read as GBK. A byte that still cannot be read shows as
// U+FFFD, one per bad byte, so nothing is silently dropped.
std::string fromBox(std::string_view bytes);
std::string fromBox(std::string_view bytes, BoxEncoding encoding);

// Length of `utf8` in the box's encoding, for the byte limits the box imposes.
size_t boxByteLength(std::string_view utf8);

// The longest prefix of `bytes` (text in `encoding`) of at most `limit` bytes that does not
// split a character.
std::string_view cutBoxBytes(std::string_view bytes, size_t limit, BoxEncoding encoding);

// True when `bytes` is well-formed UTF-8 (no overlongs, no surrogates, nothing past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

} // namespace quillon
