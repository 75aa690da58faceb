// Escaping of bytes as an escape character and two hexadecimal digits, for
// the encoded mail subject ("=") and for mailto URLs ("%").
#pragma once

#include <string>
#include <string_view>

#include "crash/attach/char_set.h"

namespace qor {

// Every byte of `text` that is in `set` becomes `escape` followed by its
// code as two upper-case hexadecimal digits.
std::string EscapeChars(std::string_view text, const CharSet& set, char escape);

// Every byte except "0"-"9", "A"-"Z" and "a"-"z".
CharSet NonAlphanumericChars();

// What a mailto URL must not carry plainly: line feed, carriage return,
// blank, double quote, "#", "%", "&", "+", "<", "=", ">" and "?".
CharSet MailtoEscapeChars();

}  // namespace qor
