// A library whose start-up, under the loader lock, calls the loading
// program's exported ReportFromLibraryStart, which reports a failure.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    const auto report = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA(nullptr), "ReportFromLibraryStart")));
    if (report) report();
  }
  return TRUE;
}
