#include "crash/attach/system_error_text.h"
#include "crash/disasm/function_info.h"

namespace qor {

std::string InvalidParameterText() { return SystemErrorText(kInvalidParameterError); }

}  // namespace qor
