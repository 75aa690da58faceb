// A test server for isapi_failure_win32_test_extension.dll: it loads the
// extension, calls its HttpExtensionProc with control blocks of its own,
// and records per connection what the extension and the core send back.
#include <windows.h>
#include <httpext.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One connection: everything the server was asked to do for it.
struct Connection {
  std::string status;  // of the response header, "" when none was sent
  int headers = 0;
  std::string body;
  bool done = false;
  DWORD status_code_when_done = 0;
  EXTENSION_CONTROL_BLOCK block = {};
};

Connection& Of(HCONN connection) { return *static_cast<Connection*>(connection); }

BOOL WINAPI WriteClient(HCONN connection, LPVOID buffer, LPDWORD size, DWORD) {
  Of(connection).body.append(static_cast<const char*>(buffer), *size);
  return TRUE;
}

BOOL WINAPI ServerSupport(HCONN connection, DWORD code, LPVOID buffer, LPDWORD, LPDWORD type) {
  Connection& c = Of(connection);
  if (code == HSE_REQ_SEND_RESPONSE_HEADER) {
    ++c.headers;
    c.status = static_cast<const char*>(buffer);
    c.body += reinterpret_cast<const char*>(type);
    return TRUE;
  }
  if (code == HSE_REQ_DONE_WITH_SESSION) {
    c.done = true;
    c.status_code_when_done = c.block.dwHttpStatusCode;
    return TRUE;
  }
  return FALSE;
}

class IsapiFailure : public testing::Test {
 public:
  static void SetUpTestSuite() {
    library = LoadLibraryA("isapi_failure_win32_test_extension.dll");
    ASSERT_NE(library, nullptr);
    extension_proc = reinterpret_cast<decltype(extension_proc)>(
        reinterpret_cast<void*>(GetProcAddress(library, "HttpExtensionProc")));
    finish_pending = reinterpret_cast<decltype(finish_pending)>(
        reinterpret_cast<void*>(GetProcAddress(library, "qorTestFinishPending")));
    ASSERT_NE(extension_proc, nullptr);
    ASSERT_NE(finish_pending, nullptr);
  }

  // Serves one request with `query`; returns the extension's result.
  static DWORD Serve(Connection& c, const char* query) {
    EXTENSION_CONTROL_BLOCK& b = c.block;
    b.cbSize = sizeof b;
    b.dwVersion = MAKELONG(HSE_VERSION_MINOR, HSE_VERSION_MAJOR);
    b.ConnID = &c;
    b.lpszMethod = const_cast<char*>("GET");
    b.lpszQueryString = const_cast<char*>(query);
    b.lpszPathInfo = const_cast<char*>("/");
    b.lpszPathTranslated = const_cast<char*>("C:\\");
    b.lpszContentType = const_cast<char*>("");
    b.WriteClient = WriteClient;
    b.ServerSupportFunction = ServerSupport;
    return extension_proc(&b);
  }

  static HMODULE library;
  static DWORD(WINAPI* extension_proc)(EXTENSION_CONTROL_BLOCK*);
  static void(WINAPI* finish_pending)();
};

HMODULE IsapiFailure::library = nullptr;
DWORD(WINAPI* IsapiFailure::extension_proc)(EXTENSION_CONTROL_BLOCK*) = nullptr;
void(WINAPI* IsapiFailure::finish_pending)() = nullptr;

// One request served on a thread of its own.
struct Job {
  Connection c;
  std::string query;
  DWORD result = 0;
};

DWORD WINAPI ServeJob(void* job) {
  auto& j = *static_cast<Job*>(job);
  j.result = IsapiFailure::Serve(j.c, j.query.c_str());
  return 0;
}

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

TEST_F(IsapiFailure, AnsweredRequestPassesUntouched) {
  Connection c;
  EXPECT_EQ(Serve(c, "ok"), DWORD{HSE_STATUS_SUCCESS});
  EXPECT_EQ(c.status, "200 OK");
  EXPECT_EQ(c.body, "Content-Type: text/plain\r\n\r\nfine");
  EXPECT_EQ(c.block.dwHttpStatusCode, 200u);  // handed back from the core's copy
}

TEST_F(IsapiFailure, FailedRequestGetsStatus500AndTheErrorPage) {
  Connection c;
  EXPECT_EQ(Serve(c, "throw=<b>Disk full</b>"), DWORD{HSE_STATUS_ERROR});
  EXPECT_EQ(c.headers, 1);
  EXPECT_EQ(c.status, "500 Internal Server Error");
  EXPECT_EQ(c.block.dwHttpStatusCode, 500u);
  EXPECT_EQ(c.body.rfind("Content-Type: text/html\r\n\r\n<html><head><title>", 0), 0u) << c.body;
  EXPECT_TRUE(Contains(c.body, ">Request failed: &lt;b&gt;Disk full&lt;/b&gt;.</p>")) << c.body;
  EXPECT_TRUE(Contains(c.body, "exception message : &lt;b&gt;Disk full&lt;/b&gt;")) << c.body;
  // The continue caption is empty in the extension's settings.
  EXPECT_TRUE(Contains(c.body, "&nbsp;continue application&nbsp;</button>"));
  EXPECT_FALSE(Contains(c.body, "<b>"));
}

TEST_F(IsapiFailure, HeaderAlreadySentGetsNoSecondHeader) {
  Connection c;
  EXPECT_EQ(Serve(c, "header=late failure"), DWORD{HSE_STATUS_ERROR});
  EXPECT_EQ(c.headers, 1);
  EXPECT_EQ(c.status, "200 OK");
  EXPECT_EQ(c.body.rfind("Content-Type: text/plain\r\n\r\npartial\r\n<html><head>", 0), 0u)
      << c.body;
  EXPECT_TRUE(Contains(c.body, "Request failed: late failure"));
}

TEST_F(IsapiFailure, FaultInTheRequestIsReportedToo) {
  Connection c;
  EXPECT_EQ(Serve(c, "fault"), DWORD{HSE_STATUS_ERROR});
  EXPECT_EQ(c.status, "500 Internal Server Error");
  EXPECT_TRUE(Contains(c.body, "Request failed: Access Violation")) << c.body;
}

TEST_F(IsapiFailure, PendingRequestKeepsItsEntryUntilDoneWithSession) {
  Connection c;
  EXPECT_EQ(Serve(c, "pending"), DWORD{HSE_STATUS_PENDING});
  EXPECT_FALSE(c.done);
  // Later calls through the copy still reach this server.
  finish_pending();
  EXPECT_EQ(c.status, "202 Accepted");
  EXPECT_EQ(c.body, "Content-Type: text/plain\r\n\r\nlater");
  EXPECT_TRUE(c.done);
  // What the extension set in its copy reached the server before the end.
  EXPECT_EQ(c.status_code_when_done, 202u);
}

TEST_F(IsapiFailure, SimultaneousFailuresGetTheirOwnReports) {
  constexpr int kThreads = 8;
  std::vector<Job> jobs(kThreads);
  std::vector<HANDLE> threads;
  for (int i = 0; i < kThreads; ++i) {
    jobs[i].query = "throw=failure number " + std::to_string(i) + " of the burst";
    threads.push_back(CreateThread(nullptr, 0, ServeJob, &jobs[i], 0, nullptr));
  }
  WaitForMultipleObjects(kThreads, threads.data(), TRUE, INFINITE);
  for (HANDLE t : threads) CloseHandle(t);
  for (int i = 0; i < kThreads; ++i) {
    const Job& j = jobs[i];
    EXPECT_EQ(j.result, DWORD{HSE_STATUS_ERROR});
    EXPECT_EQ(j.c.headers, 1);
    for (int other = 0; other < kThreads; ++other) {
      const std::string message = "failure number " + std::to_string(other) + " of the burst";
      EXPECT_EQ(Contains(j.c.body, "Request failed: " + message + ".</p>"), other == i) << i;
      EXPECT_EQ(Contains(j.c.body, "exception message : " + message + ".\r\n"), other == i) << i;
    }
  }
}

}  // namespace
