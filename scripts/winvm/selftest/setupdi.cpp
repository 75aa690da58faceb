// Enumerates all device classes through SetupAPI, which needs a working
// Wine prefix with its device registry.
#include <windows.h>
#include <setupapi.h>
#include <cstdio>
int main() {
  HDEVINFO h = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  if (h == INVALID_HANDLE_VALUE) {
    std::printf("SetupDiGetClassDevsA failed: %lu\n", GetLastError());
    return 1;
  }
  SP_DEVINFO_DATA d{};
  d.cbSize = sizeof d;
  DWORD n = 0;
  while (SetupDiEnumDeviceInfo(h, n, &d)) ++n;
  SetupDiDestroyDeviceInfoList(h);
  std::printf("SetupDiGetClassDevsA ok, %lu devices\n", n);
  return 0;
}
