// The upload's decisions against a scripted server: what is sent, what
// stays queued, and when the server is asked again.
#include "crash/delivery/crash_upload.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

#include "crash/delivery/upload_queue.h"

namespace qor {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kNow = 1700000000;

class CrashUploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("qor_crash_upload_" + std::string(::testing::UnitTest::GetInstance()
                                                     ->current_test_info()->name()));
    fs::remove_all(folder_);
    settings_.url = "http://127.0.0.1:9/crash";
    settings_.product = "Uninstall";
    settings_.version = "2.1";
    settings_.queue_folder = (folder_ / "queue").string();
    settings_.min_interval_seconds = 0;
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Answers with the scripted results in turn and keeps every request.
  HttpPoster Server() {
    return [this](const HttpPostRequest& request) {
      requests_.push_back(request);
      HttpPostResult result;
      if (!answers_.empty()) {
        result = answers_.front();
        answers_.pop_front();
      }
      return result;
    };
  }
  void Answer(int status, const std::string& retry_after = "") {
    answers_.push_back({HttpPostResult::Kind::kAnswered, status, retry_after});
  }
  UploadEntry Report(const std::string& guid) const {
    return UploadEntry{{{"guid", "", "", guid}, {kMinidumpField, "x.dmp", "", "MDMP"}}};
  }
  UploadRun Deliver(const std::string& guid, int64_t now) {
    const UploadEntry entry = Report(guid);
    return DeliverUploads(settings_, &entry, now, Server());
  }
  // The guid field of the i-th request.
  std::string SentGuid(size_t i) const {
    const std::string& body = requests_.at(i).body;
    const size_t at = body.find("name=\"guid\"\r\n\r\n");
    return at == std::string::npos ? "" : body.substr(at + 15, body.find("\r\n", at + 15) - at - 15);
  }

  fs::path folder_;
  UploadSettings settings_;
  std::deque<HttpPostResult> answers_;
  std::vector<HttpPostRequest> requests_;
};

TEST_F(CrashUploadTest, NoUrlSendsAndStoresNothing) {
  settings_.url.clear();
  const UploadRun run = Deliver("a", kNow);
  EXPECT_EQ(run.report, UploadStatus::kNotConfigured);
  EXPECT_TRUE(requests_.empty());
  EXPECT_FALSE(fs::exists(settings_.queue_folder));
  // The defaults are the same as no URL.
  EXPECT_EQ(DeliverUploads(UploadSettings{}, nullptr, kNow, Server()).report,
            UploadStatus::kNotConfigured);
}

TEST_F(CrashUploadTest, ReportEntryCarriesTheFieldsAndTheMinidump) {
  fs::create_directories(folder_);
  const std::string dump("MDMP\0\x93\xa7", 7);
  std::ofstream(folder_ / "Uninstall.dmp", std::ios::binary) << dump;
  const auto entry = CrashUploadEntry(
      settings_, {"5f0c", (folder_ / "Uninstall.dmp").string(), "Uninstall.txt", "report text"});
  ASSERT_TRUE(entry);
  std::vector<std::string> names;
  for (const FormPart& part : entry->parts) names.push_back(part.name + "/" + part.file_name);
  EXPECT_EQ(names, (std::vector<std::string>{"prod/", "ver/", "guid/",
                                             "upload_file_minidump/Uninstall.dmp",
                                             "upload_file_report/Uninstall.txt"}));
  EXPECT_EQ(entry->parts[0].bytes, "Uninstall");
  EXPECT_EQ(entry->parts[2].bytes, "5f0c");
  EXPECT_EQ(entry->parts[3].bytes, dump);
  EXPECT_FALSE(CrashUploadEntry(settings_, {"g", (folder_ / "none.dmp").string(), "r", "t"}));

  settings_.gzip_body = true;
  const HttpPostRequest request = UploadRequest(settings_, *entry);
  EXPECT_EQ(request.content_encoding, "gzip");
  EXPECT_EQ(request.content_type.rfind("multipart/form-data; boundary=", 0), 0u);
  settings_.gzip_body = false;
  EXPECT_EQ(UploadRequest(settings_, *entry).content_encoding, "");
}

TEST_F(CrashUploadTest, FailuresStayQueuedAndGoFirstNextTime) {
  Answer(500);
  EXPECT_EQ(Deliver("a", kNow).report, UploadStatus::kQueued);
  answers_.push_back({HttpPostResult::Kind::kNoConnection, 0, ""});
  const UploadRun second = Deliver("b", kNow + 1);
  EXPECT_EQ(second.report, UploadStatus::kQueued);
  EXPECT_EQ(second.waiting, 2u);
  ASSERT_EQ(requests_.size(), 2u);
  EXPECT_EQ(SentGuid(1), "a");  // the older report is tried first

  Answer(200);
  Answer(201);
  const UploadRun third = DeliverUploads(settings_, nullptr, kNow + 2, Server());
  EXPECT_EQ(third.sent, 2);
  EXPECT_EQ(third.waiting, 0u);
  EXPECT_EQ(SentGuid(3), "b");
}

TEST_F(CrashUploadTest, BusyServerIsNotAskedBeforeItsRetryAfter) {
  Answer(429, "120");
  EXPECT_EQ(Deliver("a", kNow).report, UploadStatus::kQueued);
  EXPECT_EQ(Deliver("b", kNow + 119).waiting, 2u);
  EXPECT_EQ(requests_.size(), 1u);
  Answer(200);
  Answer(429, "Tue, 14 Nov 2023 22:23:40 GMT");  // kNow + 120 + 500
  const UploadRun run = DeliverUploads(settings_, nullptr, kNow + 120, Server());
  EXPECT_EQ(run.sent, 1);
  EXPECT_EQ(run.waiting, 1u);
  EXPECT_EQ(DeliverUploads(settings_, nullptr, kNow + 619, Server()).sent, 0);
  EXPECT_EQ(requests_.size(), 3u);
  // Without a usable value, the configured wait applies.
  Answer(429, "later");
  DeliverUploads(settings_, nullptr, kNow + 620, Server());
  EXPECT_EQ(UploadQueue(settings_.queue_folder, 5, 1 << 20).LoadState().not_before,
            kNow + 620 + settings_.busy_wait_seconds);
}

TEST_F(CrashUploadTest, OneRequestPerInterval) {
  settings_.min_interval_seconds = 60;
  Answer(200);
  Answer(200);
  EXPECT_EQ(Deliver("a", kNow).report, UploadStatus::kSent);
  EXPECT_EQ(Deliver("b", kNow + 59).report, UploadStatus::kQueued);
  EXPECT_EQ(requests_.size(), 1u);
  Deliver("c", kNow + 60);
  EXPECT_EQ(requests_.size(), 2u);
  EXPECT_EQ(SentGuid(1), "b");
}

TEST_F(CrashUploadTest, RefusedAndDamagedReportsAreDropped) {
  Answer(413);
  EXPECT_EQ(Deliver("a", kNow).report, UploadStatus::kRefused);
  EXPECT_EQ(fs::directory_iterator(settings_.queue_folder)->path().filename(), "upload.state");

  Answer(500);
  Deliver("b", kNow);
  const std::string name = UploadQueue(settings_.queue_folder, 5, 1 << 20).Waiting().at(0);
  fs::resize_file(fs::path(settings_.queue_folder) / name, 20);
  Answer(200);
  const UploadRun run = Deliver("c", kNow + 1);
  EXPECT_EQ(run.report, UploadStatus::kSent);
  EXPECT_EQ(run.waiting, 0u);
  EXPECT_EQ(SentGuid(2), "c");
}

TEST_F(CrashUploadTest, WithoutAQueueOnlyTheNewReportIsTried) {
  settings_.queue_folder.clear();
  Answer(500);
  EXPECT_EQ(Deliver("a", kNow).report, UploadStatus::kLost);
  Answer(200);
  EXPECT_EQ(Deliver("b", kNow).report, UploadStatus::kSent);
  EXPECT_EQ(requests_.size(), 2u);
  answers_.push_back({HttpPostResult::Kind::kUnavailable, 0, ""});
  EXPECT_EQ(Deliver("c", kNow).report, UploadStatus::kLost);
}

}  // namespace
}  // namespace qor
