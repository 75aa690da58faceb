// Registered as the "mailto" program by the mail-client test: writes the
// command line it was started with to the file named by QOR_MAILTO_RECORD
// and signals the test's event.
#include <windows.h>

#include <cstring>

int main() {
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("QOR_MAILTO_RECORD", path, sizeof path);
  if (length == 0 || length >= sizeof path) return 1;
  const char* line = GetCommandLineA();
  const HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  CloseHandle(file);
  const HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, "qorTestMailtoRecorded");
  if (done == nullptr) return 1;
  SetEvent(done);
  CloseHandle(done);
  return 0;
}
