// The exception dialog of a console program: its text on standard output.
#include <windows.h>

#include "crash/core/except_box.h"
#include "crash/core/except_box_console_win32.h"
#include "crash/core/settings_win32.h"

namespace qor {

std::string ExceptBoxMessage(const ExceptBoxRequest& request, const char* ending) {
  const TExceptSettings& settings = ExceptSettings;
  const auto text = request.frozen ? settings.FrozenMessage.View() : settings.ErrorMessage.View();
  return ExpandPlaceholders(text, AppNameFor(AppNameUse::kDialogTitle),
                            request.exception_message + ending);
}

bool IsConsoleProgram() {
  const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

void WriteConsoleReport(const ExceptBoxRequest& request) {
  std::string text = ExceptBoxMessage(request, "") + "\r\n";
  if (ExceptSettings.ShowDetailsAtStart || !ExceptSettings.ButtonCaptions[3].Empty()) {
    text += "\r\n" + request.report + "\r\n";
  }
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (output && output != INVALID_HANDLE_VALUE) {
    WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

}  // namespace qor
