// The crash-report settings of Uninstall.exe: the library's defaults with
// this program's recipient and the GUI library's interception points.
#include <string>

#include "crash/core/settings.h"
#include "gui/application.h"

namespace {

// The code of the two member functions, taken with the compiler's
// bound-member extension: for a constant member pointer the result is a
// constant too, so the record stays constant data that exists before any
// code runs.
using HandleExceptionCode = void (*)(gui::Application*);
using ShowExceptionCode = void (*)(gui::Application*, const std::string&);

}  // namespace

namespace qor {

TExceptSettings ExceptSettings{
    .MailAddress = "support@varnel.example",
    .HookTargets = {
        .GuiHandleException = reinterpret_cast<const void*>(
            HandleExceptionCode(&gui::Application::HandleException)),
        .GuiShowException = reinterpret_cast<const void*>(
            ShowExceptionCode(&gui::Application::ShowException)),
    }};

}  // namespace qor
