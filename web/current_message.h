// The message of the exception being handled, for a program's own answer
// to a failed request.
#pragma once

#include <string>

namespace web {

// Call inside a catch block: the message of the exception that is being
// handled; "Unknown exception" for one that carries none.
std::string CurrentExceptionMessage();

}  // namespace web
