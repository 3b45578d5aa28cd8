#pragma once

#include <cstdint>

namespace quillon
{

// Qt's own texts (the buttons of message boxes, the file dialogs) in the window's language: the
// Chinese translation shipped with Qt is installed for Chinese and removed for English. Needs a
// QApplication. False when the Chinese translation could not be found; Qt's English stays.
bool followQtLanguage(uint8_t language);
// True while Qt's Chinese translation is installed.
bool qtTranslationInstalled();

} // namespace quillon
