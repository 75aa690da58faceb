#include "crash/disasm/function_info.h"

namespace qor {

// Off Windows there is no message table to ask; this is the system's text.
std::string InvalidParameterText() { return "The parameter is incorrect. "; }

}  // namespace qor
