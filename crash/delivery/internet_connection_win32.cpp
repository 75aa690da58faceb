#include <windows.h>

#include "crash/delivery/library_win32.h"
#include "crash/delivery/mail_client.h"

namespace qor {

bool HasInternetConnection() {
  using ConnectedStateProc = BOOL(WINAPI*)(DWORD*, DWORD);
  const Library wininet("wininet.dll");
  const auto connected = wininet.Find<ConnectedStateProc>("InternetGetConnectedState");
  DWORD flags = 0;
  return connected != nullptr && connected(&flags, 0) != FALSE;
}

}  // namespace qor
