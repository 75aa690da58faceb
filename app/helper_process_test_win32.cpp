// Carried programs under Wine: run from a new directory of their own, with
// the directory gone afterwards whether the program finished, failed, was
// killed, hung or never started, and a planted file of the same name never
// run. The carried program is helper_process_test_child.exe.
#include "app/helper_process.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

namespace app {
namespace {

using ::testing::HasSubstr;

constexpr char kName[] = "carried.exe";
constexpr uint32_t kMinute = 60000;

std::string TempFolder() {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(temp), temp);
  return temp;
}

std::set<std::string> TempEntries() {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((TempFolder() + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.insert(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class HelperProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    path = path.substr(0, path.find_last_of('\\') + 1) + QOR_TEST_CHILD;
    child_ = ReadFileBytes(path);
    ASSERT_GT(child_.size(), 1000u) << path;
    before_ = TempEntries();
  }

  // Nothing that a run made stays in the temporary folder.
  void TearDown() override { EXPECT_EQ(TempEntries(), before_); }

  HelperRun Run(const std::vector<std::string>& arguments, uint32_t timeout_ms = kMinute) {
    return RunCarriedProgram(Image(), kName, arguments, timeout_ms);
  }
  std::span<const uint8_t> Image() const {
    return {reinterpret_cast<const uint8_t*>(child_.data()), child_.size()};
  }

  std::string child_;
  std::set<std::string> before_;
};

// True when `path` is <temporary folder>varnel-<16 hex digits>\carried.exe.
bool IsInNewDirectory(const std::string& path) {
  const std::string start = TempFolder() + "varnel-";
  const std::string end = std::string("\\") + kName;
  if (path.size() != start.size() + 16 + end.size() || path.compare(0, start.size(), start) ||
      path.compare(path.size() - end.size(), end.size(), end)) {
    return false;
  }
  const std::string random = path.substr(start.size(), 16);
  return random.find_first_not_of("0123456789abcdef") == std::string::npos;
}

TEST_F(HelperProcessTest, RunsFromANewDirectoryNeverThePlantedFile) {
  // A program of the expected name planted in the temporary folder itself.
  const std::string planted = TempFolder() + kName;
  ASSERT_TRUE(std::ofstream(planted, std::ios::binary).write(child_.data(), child_.size()));
  before_ = TempEntries();

  const HelperRun run = Run({"echo", "hello", "world"});
  ASSERT_TRUE(run.finished) << run.failure;
  EXPECT_EQ(run.exit_code, 0u);
  const std::string self = "\nself ";
  const size_t at = run.output.find(self);
  ASSERT_NE(at, std::string::npos) << run.output;
  std::string words = run.output.substr(0, at);
  if (!words.empty() && words.back() == '\r') words.pop_back();
  EXPECT_EQ(words, "hello world");
  std::string path = run.output.substr(at + self.size());
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  EXPECT_TRUE(IsInNewDirectory(path)) << path;
  EXPECT_EQ(ReadFileBytes(planted), child_) << "the planted file was changed";
  EXPECT_TRUE(DeleteFileA(planted.c_str()));
  before_.erase(kName);
}

TEST_F(HelperProcessTest, FailureExitCodeIsReported) {
  const HelperRun run = Run({"exit", "7"});
  ASSERT_TRUE(run.finished) << run.failure;
  EXPECT_EQ(run.exit_code, 7u);
}

// Someone else kills the carried program once it signals `hanging`.
DWORD WINAPI KillCarriedProgram(void* hanging) {
  if (WaitForSingleObject(static_cast<HANDLE>(hanging), kMinute) != WAIT_OBJECT_0) return 1;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry = {sizeof(entry)};
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ParentProcessID != GetCurrentProcessId() || lstrcmpiA(entry.szExeFile, kName))
      continue;
    const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
    TerminateProcess(process, 9);
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return 0;
}

TEST_F(HelperProcessTest, KilledProgramEndsTheRun) {
  const HANDLE hanging = CreateEventA(nullptr, TRUE, FALSE, "qor-helper-process-test-hang");
  ASSERT_NE(hanging, nullptr);
  const HANDLE killer = CreateThread(nullptr, 0, KillCarriedProgram, hanging, 0, nullptr);
  ASSERT_NE(killer, nullptr);
  const HelperRun run = Run({"hang"});
  WaitForSingleObject(killer, kMinute);
  CloseHandle(killer);
  CloseHandle(hanging);
  ASSERT_TRUE(run.finished) << run.failure;
  EXPECT_EQ(run.exit_code, 9u);
  EXPECT_EQ(run.output, "");
}

TEST_F(HelperProcessTest, HangingProgramIsEndedAfterTheTimeout) {
  const HelperRun run = Run({"hang"}, 500);
  EXPECT_FALSE(run.finished);
  EXPECT_EQ(run.failure, "did not finish in time");
}

TEST_F(HelperProcessTest, WhatCannotRunSaysWhy) {
  const std::string garbage = "no program at all";
  const HelperRun bad = RunCarriedProgram(
      {reinterpret_cast<const uint8_t*>(garbage.data()), garbage.size()}, kName, {}, kMinute);
  EXPECT_FALSE(bad.finished);
  EXPECT_THAT(bad.failure, HasSubstr("could not be started (error "));

  const HelperRun missing = RunCarriedProgram({}, kName, {}, kMinute);
  EXPECT_FALSE(missing.finished);
  EXPECT_EQ(missing.failure, "is missing from this program");
}

TEST_F(HelperProcessTest, UnusableTemporaryFolderSaysWhy) {
  char old_tmp[MAX_PATH] = {};
  const bool had_tmp = GetEnvironmentVariableA("TMP", old_tmp, MAX_PATH) > 0;
  SetEnvironmentVariableA("TMP", "C:\\qor-no-such-folder\\below");
  const HelperRun run = Run({"echo", "x"});
  SetEnvironmentVariableA("TMP", had_tmp ? old_tmp : nullptr);
  EXPECT_FALSE(run.finished);
  EXPECT_THAT(run.failure, HasSubstr("could not be written to the temporary folder (error "));
  EXPECT_EQ(GetFileAttributesA("C:\\qor-no-such-folder"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace app
