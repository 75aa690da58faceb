// The upload through the system's WinINet to HTTP servers that the test
// starts on 127.0.0.1 and that record every request: what a crash server
// receives, and how the queue copes with failing and busy servers.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "crash/delivery/crash_upload.h"
#include "crash/delivery/testing/peer_process.h"
#include "crash/delivery/upload_folder.h"
#include "crash/delivery/upload_queue.h"

namespace qor {
namespace {

namespace fs = std::filesystem;
using testing::PeerProcess;

// Every byte value, and the text a careless builder would take for a part's end.
std::string DumpBytes() {
  std::string bytes("MDMP\x93\xa7", 6);
  for (int i = 0; i < 4096; ++i) bytes += static_cast<char>(i * 13 % 256);
  return bytes + "\r\n--qor-form-\r\n--";
}

class CrashUploadWin32Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    peer_ = new PeerProcess("http_upload_peer.py",
                            {"ok:ok", "fail:fail", "busy:busy", "busydate:busy-date"});
  }
  static void TearDownTestSuite() {
    delete peer_;
    peer_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(peer_->ready()) << "the HTTP test server did not start";
    folder_ = fs::temp_directory_path() /
              ("qor_upload_" + std::string(::testing::UnitTest::GetInstance()
                                               ->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    dump_path_ = (folder_ / "Uninstall.dmp").string();
    std::ofstream(dump_path_, std::ios::binary) << DumpBytes();
    settings_.product = "Uninstall";
    settings_.version = "2.1.0.7";
    settings_.queue_folder = (folder_ / "queue").string();
    settings_.min_interval_seconds = 0;
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Only ever a server of this test on the loopback address.
  void UseServer(const std::string& name) {
    settings_.url = "http://127.0.0.1:" + std::to_string(peer_->Port(name)) + "/submit?x=1";
  }
  CrashUpload Report(const std::string& guid) const {
    return {guid, dump_path_, "Uninstall.txt", "Exception: access violation\r\n"};
  }
  UploadRun DeliverAt(const std::string& guid, int64_t now) const {
    const std::optional<UploadEntry> entry = CrashUploadEntry(settings_, Report(guid));
    return DeliverUploads(settings_, &*entry, now, PostWithWinInet);
  }
  static int Count(const std::string& server) {
    return std::stoi(peer_->Ask("count " + server)["count"]);
  }
  static std::map<std::string, std::string> Request(const std::string& server, int k) {
    return peer_->Ask("request " + server + " " + std::to_string(k));
  }
  size_t Waiting() const {
    return UploadQueue(settings_.queue_folder, 100, 1ull << 30).Waiting().size();
  }

  static PeerProcess* peer_;
  fs::path folder_;
  std::string dump_path_;
  UploadSettings settings_;
};

PeerProcess* CrashUploadWin32Test::peer_ = nullptr;

TEST_F(CrashUploadWin32Test, ServerReceivesTheFormWithTheMinidump) {
  UseServer("ok");
  for (const bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    settings_.gzip_body = gzip;
    const int before = Count("ok");
    const UploadRun run = UploadCrashReport(settings_, Report("0f9e3a5c-guid"));
    EXPECT_EQ(run.report, UploadStatus::kSent);
    ASSERT_EQ(Count("ok"), before + 1);
    auto request = Request("ok", before + 1);
    EXPECT_EQ(request["method"], "POST");
    EXPECT_EQ(request["path"], "/submit?x=1");
    EXPECT_EQ(request["content_type"].rfind("multipart/form-data; boundary=", 0), 0u);
    EXPECT_EQ(request["content_encoding"], gzip ? "gzip" : "");
    EXPECT_EQ(request["fields"],
              "prod\nver\nguid\nupload_file_minidump Uninstall.dmp\n"
              "upload_file_report Uninstall.txt");
    EXPECT_EQ(request["part:prod"], "Uninstall");
    EXPECT_EQ(request["part:ver"], "2.1.0.7");
    EXPECT_EQ(request["part:guid"], "0f9e3a5c-guid");
    EXPECT_EQ(request["part:upload_file_minidump"], DumpBytes());
    EXPECT_EQ(request["part:upload_file_report"], "Exception: access violation\r\n");
    std::cout << "request as recorded:\n" << request["head"] << request["fields"] << "\n";
  }
  EXPECT_EQ(Waiting(), 0u);
}

TEST_F(CrashUploadWin32Test, ServerErrorLeavesTheReportQueuedForTheNextStart) {
  UseServer("fail");
  const int failed = Count("fail");
  EXPECT_EQ(UploadCrashReport(settings_, Report("kept")).report, UploadStatus::kQueued);
  EXPECT_EQ(Count("fail"), failed + 1);
  EXPECT_EQ(Waiting(), 1u);

  UseServer("ok");
  const int sent = Count("ok");
  const UploadRun retry = RetryQueuedUploads(settings_);
  EXPECT_EQ(retry.sent, 1);
  EXPECT_EQ(Waiting(), 0u);
  ASSERT_EQ(Count("ok"), sent + 1);
  auto request = Request("ok", sent + 1);
  EXPECT_EQ(request["part:guid"], "kept");
  EXPECT_EQ(request["part:upload_file_minidump"], DumpBytes());
}

TEST_F(CrashUploadWin32Test, BusyServerIsNotAskedBeforeItsRetryAfter) {
  // In seconds (120) and as an HTTP date 120 seconds ahead of the server's
  // clock, which is this machine's.
  for (const char* server : {"busy", "busydate"}) {
    SCOPED_TRACE(server);
    fs::remove_all(settings_.queue_folder);
    UseServer(server);
    const int before = Count(server);
    const int64_t now = std::time(nullptr);
    EXPECT_EQ(DeliverAt("a", now).report, UploadStatus::kQueued);
    EXPECT_EQ(Count(server), before + 1);
    EXPECT_EQ(DeliverAt("b", now + 100).report, UploadStatus::kQueued);
    EXPECT_EQ(DeliverUploads(settings_, nullptr, now + 100, PostWithWinInet).sent, 0);
    EXPECT_EQ(Count(server), before + 1);
    EXPECT_EQ(Waiting(), 2u);
    DeliverUploads(settings_, nullptr, now + 125, PostWithWinInet);
    EXPECT_EQ(Count(server), before + 2);
  }
}

TEST_F(CrashUploadWin32Test, QueueNeverGrowsPastItsCaps) {
  UseServer("fail");
  settings_.queue_max_reports = 3;
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(UploadCrashReport(settings_, Report("n" + std::to_string(i))).report,
              UploadStatus::kQueued);
    EXPECT_LE(Waiting(), 3u);
  }
  const size_t entry_size = EncodeUploadEntry(*CrashUploadEntry(settings_, Report("n9"))).size();
  settings_.queue_max_reports = 10;
  settings_.queue_max_bytes = entry_size * 2 + entry_size / 2;
  for (int i = 6; i < 9; ++i) {
    UploadCrashReport(settings_, Report("n" + std::to_string(i)));
    uint64_t bytes = 0;
    for (const FolderFile& file : ListFolderFiles(settings_.queue_folder)) {
      if (file.name != "upload.state") bytes += file.size;
    }
    EXPECT_LE(bytes, settings_.queue_max_bytes);
    EXPECT_EQ(Waiting(), 2u);
  }
  // The oldest went: the two newest remain, and the server saw the oldest
  // waiting report first each time.
  UseServer("ok");
  const int sent = Count("ok");
  EXPECT_EQ(RetryQueuedUploads(settings_).sent, 2);
  EXPECT_EQ(Request("ok", sent + 1)["part:guid"], "n7");
  EXPECT_EQ(Request("ok", sent + 2)["part:guid"], "n8");
}

// Run on its own with wininet.dll disabled (see CMakeLists.txt).
TEST(CrashUploadWithoutWinInet, FailsClearlyAndKeepsTheReport) {
  const HMODULE wininet = LoadLibraryA("wininet.dll");
  if (wininet != nullptr) FreeLibrary(wininet);
  ASSERT_EQ(wininet, nullptr) << "this test needs wininet.dll disabled";
  HttpPostRequest request{"http://127.0.0.1:9/", "text/plain", "", "x"};
  EXPECT_EQ(PostWithWinInet(request).kind, HttpPostResult::Kind::kUnavailable);

  const fs::path folder = fs::temp_directory_path() / "qor_upload_no_wininet";
  fs::remove_all(folder);
  UploadSettings settings;
  settings.url = request.url;
  settings.queue_folder = folder.string();
  const UploadEntry entry{{{"guid", "", "", "g"}}};
  const UploadRun run = DeliverUploads(settings, &entry, std::time(nullptr), PostWithWinInet);
  EXPECT_EQ(run.report, UploadStatus::kUnavailable);
  EXPECT_EQ(run.waiting, 1u);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace qor
