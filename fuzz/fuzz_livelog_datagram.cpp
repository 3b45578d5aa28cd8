// A datagram as the live-log receiver takes it, through to the viewer's rows and the files:
// zero bytes to line feeds, the file text with CR LF, the keyword filter, the row store with
// its row rule, and the text shown. The first byte chooses the filter.
#include <LiveLogReceiver.h>
#include <LogFilter.h>
#include <LogRows.h>

#include <BoxText.h>

#include <cstddef>
#include <cstdint>
#include <string>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static LogRows rows; // kept between inputs, so the row rule and the shared buffer are exercised
    if (size == 0)
        return 0;
    const uint8_t choice = data[0];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (text.size() > LiveLogReceiver::kMaxDatagram)
        return 0; // the receiver drops these
    LiveLogReceiver::zeroBytesToLineFeeds(text);
    if (text.find('\0') != std::string::npos)
        __builtin_trap();
    std::string file;
    LiveLogReceiver::appendFileText(file, text);
    if (file.size() < text.size())
        __builtin_trap();

    std::vector<std::string> words;
    for (int i = 0; i < 22; ++i)
        if (choice & (1u << (i % 8)) && i % 3 == 0)
            words.emplace_back(kLogKeywords[i]);
    if (choice & 0x80)
        words.push_back(text.substr(0, choice % 7)); // a custom word cut from the datagram itself
    const LogFilter filter(words);
    const std::string shown = fromBox(text);
    const bool matched = !filter.empty() && filter.matches(shown);
    (void)upperText(shown);
    rows.appendLive(text, matched, rows.filterGeneration());
    if (rows.size() == 0 || rows.row(rows.size() - 1) != text)
        __builtin_trap();
    if (rows.matches(rows.size() - 1, filter) != matched)
        __builtin_trap();
    return 0;
}
