// Shows a message box; the self-test takes a screenshot of it under Xvfb.
#include <windows.h>
int main() {
  return MessageBoxA(nullptr, "winvm message box", "winvm", MB_OK) == IDOK ? 0 : 1;
}
