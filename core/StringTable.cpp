#include "StringTable.h"

#include <algorithm>
#include <atomic>
#include <iterator>

namespace quillon {

namespace {

struct Entry {
    int id;
    const char* chinese;
    const char* english;
};

constexpr Entry kEntries[] = {
#include "StringTableData.inc"
};

// Read by the worker thread without a lock; a switch during a lookup gives one or the other text.
std::atomic<uint8_t> g_language{LanguageChinese};
std::atomic<int> g_offset{0};

const Entry* find(int id)
{
    const auto it = std::lower_bound(std::begin(kEntries), std::end(kEntries), id,
                                     [](const Entry& e, int value) { return e.id < value; });
    return (it != std::end(kEntries) && it->id == id) ? it : nullptr;
}

struct CodeText {
    int code;
    int id;
};

constexpr CodeText kStatusTexts[] = {
    {0, 300},   {1, 302},   {2, 301},   {200, 303}, {300, 304}, {301, 305}, {302, 306},
    {303, 307}, {304, 319}, {401, 308}, {402, 309}, {403, 310}, {404, 311}, {501, 312},
    {502, 313}, {601, 314}, {602, 315}, {603, 316}, {701, 317}, {801, 318},
};

} // namespace

void setUiLanguage(uint8_t language)
{
    g_language = language;
    g_offset = language == LanguageEnglish ? kEnglishIdOffset : 0;
}

uint8_t uiLanguage()
{
    return g_language;
}

std::string loadUiString(int id)
{
    const long full = static_cast<long>(id) + g_offset.load();
    if (full >= 0 && full < kEnglishIdOffset) {
        if (const Entry* e = find(static_cast<int>(full)))
            return e->chinese;
    } else if (full >= kEnglishIdOffset && full < 2 * kEnglishIdOffset) {
        if (const Entry* e = find(static_cast<int>(full - kEnglishIdOffset)))
            return e->english;
    }
    return {};
}

std::string statusCodeText(int code)
{
    for (const CodeText& c : kStatusTexts) {
        if (c.code == code)
            return loadUiString(c.id);
    }
    return {};
}

int stringTableSize()
{
    return static_cast<int>(std::size(kEntries));
}

} // namespace quillon
