#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// Chinese texts have id N, English texts N + 10000.
constexpr int kEnglishIdOffset = 10000;

enum UiLanguage : uint8_t { LanguageChinese = 0, LanguageEnglish = 1 };

// Sets the language of every later lookup (any value but 1 means Chinese). Touches no window.
void setUiLanguage(uint8_t language);
uint8_t uiLanguage();

// The text of entry `id` in the current language; empty for an id without an entry.
std::string loadUiString(int id);

// The user text for a status code of a box reply or a response; empty for an unknown code.
std::string statusCodeText(int code);

// Number of entries (each present in both languages), for reviews and tests.
int stringTableSize();

} // namespace quillon
