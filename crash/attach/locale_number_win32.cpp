#include <windows.h>

#include "crash/attach/locale_number.h"
#include "crash/attach/number_text.h"

namespace qor {
namespace {

char ReadDecimalChar() {
  char buffer[8] = {};
  if (GetLocaleInfoA(GetThreadLocale(), LOCALE_SDECIMAL, buffer, sizeof(buffer)) == 0 ||
      buffer[0] == '\0') {
    return ',';
  }
  return buffer[0];
}

}  // namespace

char LocaleDecimalChar() {
  static const char decimal_char = ReadDecimalChar();
  return decimal_char;
}

std::string FormatByteSize(int64_t bytes) { return FormatByteSize(bytes, LocaleDecimalChar()); }

}  // namespace qor
