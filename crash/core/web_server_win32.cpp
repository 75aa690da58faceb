#include "crash/core/web_server.h"

#include <windows.h>
#include <httpext.h>

#include <cstring>
#include <memory>
#include <new>

#include "crash/attach/qor_exception.h"
#include "crash/core/code_patch.h"
#include "crash/core/core_module.h"
#include "crash/core/error_page.h"
#include "crash/core/os_exception_text.h"
#include "crash/core/report_exception.h"
#include "crash/core/request_table.h"
#include "crash/core/settings.h"
#include "crash/core/settings_win32.h"
#include "crash/modules/guarded_call.h"

namespace qor {
namespace {

static_assert(sizeof(EXTENSION_CONTROL_BLOCK) == 144, "the server's control block");

using ExtensionProc = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
using ServerSupport = BOOL(WINAPI*)(HCONN, DWORD, LPVOID, LPDWORD, LPDWORD);

CRITICAL_SECTION web_lock;
bool web_lock_made = false;
RequestTable requests;
// The report of the request this thread serves, filled by the extension's
// exception handler.
thread_local std::string thread_report;

class WebLock {
 public:
  WebLock() { EnterCriticalSection(&web_lock); }
  WebLock(const WebLock&) = delete;
  WebLock& operator=(const WebLock&) = delete;
  ~WebLock() { LeaveCriticalSection(&web_lock); }
};

uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

EXTENSION_CONTROL_BLOCK* Block(const void* copy) {
  return static_cast<EXTENSION_CONTROL_BLOCK*>(const_cast<void*>(copy));
}

// The server's own block learns what the extension told the copy: the
// status code and the log text it reports.
void HandBack(const EXTENSION_CONTROL_BLOCK& copy, EXTENSION_CONTROL_BLOCK& server) {
  server.dwHttpStatusCode = copy.dwHttpStatusCode;
  std::memcpy(server.lpszLogData, copy.lpszLogData, sizeof server.lpszLogData);
}

// Takes a request out of the table and frees its copy; the header flag,
// false when the request was already gone (its copy freed with it).
bool RemoveRequest(const EXTENSION_CONTROL_BLOCK* copy, size_t hint) {
  const WebLock lock;
  TWebRequest* entry = requests.FindCopy(copy, hint);
  if (entry == nullptr) return false;
  HandBack(*copy, *Block(entry->Server));
  const std::unique_ptr<const EXTENSION_CONTROL_BLOCK> owned(copy);
  return requests.Remove(copy, hint);
}

// Notes what a call to the server did to its request: the response header
// went out, or a pending request ended its session, which takes it out of
// the table.
void NoteServerCall(HCONN connection, DWORD code, BOOL result) {
  const bool header = (result && code == HSE_REQ_SEND_RESPONSE_HEADER) ||
                      code == HSE_REQ_SEND_RESPONSE_HEADER_EX;
  const bool done = code == HSE_REQ_DONE_WITH_SESSION;
  if (!header && !done) return;
  const void* copy = nullptr;
  {
    const WebLock lock;
    TWebRequest* entry = requests.FindConnection(Address(connection));
    if (entry == nullptr) return;
    if (header) entry->HeaderSent = true;
    copy = entry->Copy;
  }
  if (done) RemoveRequest(static_cast<const EXTENSION_CONTROL_BLOCK*>(copy), 0);
}

BOOL WINAPI ServerSupportHook(HCONN connection, DWORD code, LPVOID buffer, LPDWORD size,
                              LPDWORD type) {
  ServerSupport real = nullptr;
  {
    const WebLock lock;
    if (const TWebRequest* entry = requests.FindConnection(Address(connection))) {
      real = reinterpret_cast<ServerSupport>(entry->ServerSupport);
      // What the server logs for a finished session is what the extension
      // set in its copy.
      if (code == HSE_REQ_DONE_WITH_SESSION) HandBack(*Block(entry->Copy), *Block(entry->Server));
    }
  }
  if (real == nullptr) return FALSE;
  const BOOL result = real(connection, code, buffer, size, type);
  NoteServerCall(connection, code, result);
  return result;
}

std::string FaultText(const GuardedFault& fault) {
  // The guard knows no more than where the fault happened.
  if (fault.code == EXCEPTION_ACCESS_VIOLATION) {
    return AccessViolationMessage(fault.address, "", false, 0);
  }
  return OsExceptionText(fault.code);
}

// Calls the extension's own entry with the copy. A failure it does not
// handle itself is reported here; one it handles reaches the report through
// its exception handler and this thread's report.
DWORD CallExtension(EXTENSION_CONTROL_BLOCK* copy, std::string& report) {
  const auto real = reinterpret_cast<ExtensionProc>(
      const_cast<void*>(ExceptSettings.HookTargets.IsapiExtensionEntry));
  thread_report.clear();
  DWORD result = HSE_STATUS_ERROR;
  GuardedFault fault;
  try {
    if (Guarded([&] { result = real(copy); }, &fault)) {
      report = thread_report;
    } else {
      QorException object(FaultText(fault));
      ReportException(false, Address(&object), fault.address, &report, 0, 0, true);
      result = HSE_STATUS_ERROR;
    }
  } catch (...) {
    ReportException(false, 0, 0, &report, 0, 0, true);
    result = HSE_STATUS_ERROR;
  }
  thread_report.clear();
  return result;
}

// Sends the error page through the server's own routines, with a header
// of status 500 unless the extension sent one already.
void SendErrorPage(EXTENSION_CONTROL_BLOCK& server, bool header_sent, const std::string& report) {
  server.dwHttpStatusCode = 500;
  if (!header_sent) {
    char status[] = "500 Internal Server Error";
    char header[] = "Content-Type: text/html\r\n\r\n";
    DWORD size = sizeof status - 1;
    server.ServerSupportFunction(server.ConnID, HSE_REQ_SEND_RESPONSE_HEADER, status, &size,
                                 reinterpret_cast<LPDWORD>(header));
  }
  std::string page = ErrorPageHtml(report, ExceptSettings, AppNameFor(AppNameUse::kDialogTitle));
  DWORD length = static_cast<DWORD>(page.size());
  server.WriteClient(server.ConnID, page.data(), &length, 0);
}

DWORD WINAPI WrapExtensionProc(EXTENSION_CONTROL_BLOCK* server) {
  auto* copy = new (std::nothrow) EXTENSION_CONTROL_BLOCK(*server);
  if (copy == nullptr) return HSE_STATUS_ERROR;
  copy->ServerSupportFunction = ServerSupportHook;
  size_t index;
  try {
    const WebLock lock;
    index = requests.Add(reinterpret_cast<uintptr_t>(server->ServerSupportFunction), copy,
                         Address(server->ConnID), server);
  } catch (const std::bad_alloc&) {
    // Nothing may leave for the server's frames; without room in the
    // table the request cannot be served.
    delete copy;
    return HSE_STATUS_ERROR;
  }
  std::string report;
  const DWORD result = CallExtension(copy, report);
  // A pending request keeps its entry until it says it is done with the
  // session; the copy may be gone by now, freed there.
  if (result == HSE_STATUS_PENDING) return result;
  const bool header_sent = RemoveRequest(copy, index);
  if (result == HSE_STATUS_ERROR && !report.empty()) {
    try {
      SendErrorPage(*server, header_sent, report);
    } catch (...) {
      // No memory for the page: the request ends with what was sent.
    }
  }
  return result;
}

// The extension's handler of a failed request, in its catch block (a
// member function: the object comes in ECX).
void __attribute__((thiscall)) IsapiHandleException(void*, EXTENSION_CONTROL_BLOCK*) {
  ReportException(false, 0, 0, &thread_report, 0, 0, true);
}

void __attribute__((thiscall)) CgiHandleException(void*) {
  ReportException(false, 0, 0, nullptr, 0, 0, true);
}

void PatchEntry(const void* target, const void* replacement) {
  if (target != nullptr) PatchEntryJump(Address(target), Address(replacement));
}

// Points the core module's export of `entry` at `replacement`, so that the
// server, which looks the entry up by name, calls the replacement.
void RedirectExport(const void* entry, const void* replacement) {
  const uint32_t base = CoreModule();
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(uintptr_t{base});
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(uintptr_t{base + dos->e_lfanew});
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (directory.VirtualAddress == 0) return;
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(uintptr_t{base + directory.VirtualAddress});
  auto* slots = reinterpret_cast<const uint32_t*>(uintptr_t{base + exports->AddressOfFunctions});
  const uint32_t new_rva = Address(replacement) - base;
  for (DWORD i = 0; i < exports->NumberOfFunctions; ++i) {
    if (slots[i] == Address(entry) - base) RecordPatch(Address(&slots[i]), &new_rva, 4);
  }
}

}  // namespace

void InstallWebServerHooks() {
  const THookTargets& targets = ExceptSettings.HookTargets;
  PatchEntry(targets.CgiHandler, reinterpret_cast<const void*>(CgiHandleException));
  PatchEntry(targets.IsapiHandler, reinterpret_cast<const void*>(IsapiHandleException));
  if (targets.IsapiExtensionEntry == nullptr) return;
  InitializeCriticalSection(&web_lock);
  web_lock_made = true;
  ExceptSettings.WebServerMode = true;
  RedirectExport(targets.IsapiExtensionEntry, reinterpret_cast<const void*>(WrapExtensionProc));
}

void RemoveWebServerHooks() {
  if (!web_lock_made) return;
  ExceptSettings.WebServerMode = false;
  DeleteCriticalSection(&web_lock);
  web_lock_made = false;
}

bool CgiOutputApplies() {
  if (ExceptSettings.HookTargets.CgiHandler == nullptr || !ExceptSettings.ConsoleOutput) {
    return false;
  }
  const auto* base = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

void WriteCgiErrorPage(const std::string& report) {
  const std::string response =
      CgiErrorResponse(ErrorPageHtml(report, ExceptSettings, AppNameFor(AppNameUse::kDialogTitle)));
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), response.data(), static_cast<DWORD>(response.size()),
            &written, nullptr);
}

}  // namespace qor
