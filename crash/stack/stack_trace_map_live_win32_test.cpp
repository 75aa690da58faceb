// A companion text map, written by our map writer from the program's own
// debug tables, must resolve the program's frames in a stack trace exactly
// as the compact information embedded in the program does. The build keeps
// the program as linked, before its information was embedded, beside it
// as <name>.debug.exe: the same code at the same addresses, but with no
// debug information the store can read, until <name>.debug.map appears.
// Both programs run the same scenarios as children and print their traces.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "crash/debuginfo/debug_info_live.h"
#include "crash/debuginfo/testing/debug_tables.h"
#include "crash/debuginfo/testing/text_map_writer.h"
#include "crash/disasm/debug_info_hooks.h"
#include "crash/stack/stack_trace_win32.h"
#include "crash/stack/testing/stack_walk_scenarios_win32.h"
#include "runtime/raise.h"

namespace qor {
void TraceHere();
constexpr char kTraceOption[] = "--write-traces";
std::string g_trace;

__attribute__((noinline)) void TraceHere() {
  g_trace = TraceStack(false, false, false, 0, false, false, 0, 0, 0, nullptr, nullptr, nullptr, 0,
                       false, nullptr, false);
}

// The child's frames: named without spaces, as a linker's map names its
// publics (mangled), so that the map can carry them.
namespace maplive {

void TraceRaise(const runtime::RaiseRecord& record) {
  g_trace = TraceStack(false, false, false, record.address, true, false, 0, 0, 0, nullptr, nullptr,
                       nullptr, 0, false, nullptr, false);
}

void RecursionOfFour() {
  scenario::RunRecursion(4);
}

void Run(std::ofstream& out, const char* name, void (*scenario)()) {
  g_trace.clear();
  scenario();
  out << "== " << name << "\n" << g_trace << "\n";
}

// The child's work: the traces of the scenarios, each after a heading.
int WriteTraces(const char* path) {
  InstallDebugInfoHooks();
  scenario::capture = TraceHere;
  std::ofstream out(path, std::ios::binary);
  Run(out, "chain", scenario::RunChain);
  Run(out, "recursion", RecursionOfFour);
  Run(out, "callback", scenario::RunCallback);
  Run(out, "thread", scenario::RunThread);
  runtime::raise_hook = TraceRaise;
  Run(out, "exception", scenario::RunThrow);
  runtime::raise_hook = nullptr;
  return out ? 0 : 1;
}

}  // namespace maplive

namespace {

std::string Folder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string self(path, length);
  return self.substr(0, self.rfind('\\') + 1);
}

// Runs `program` from this program's folder as a child that writes its
// traces; their text, or empty when the child failed.
std::string TracesOf(const std::string& program) {
  const std::string folder = Folder();
  const std::string output = folder + program + ".traces";
  std::string command = "\"" + folder + program + "\" " + kTraceOption + " \"" + output + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return {};
  }
  DWORD code = 1;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::ifstream in(output, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  in.close();
  DeleteFileA(output.c_str());
  return code == 0 ? text.str() : std::string();
}

// The traces with the module column's name made alike and the columns'
// padding, which follows the name's length, taken out. A text map holds no
// inline chains: the lines of inlined functions, which only the embedded
// information adds, are left out.
std::string Normalised(const std::string& traces, const std::string& module) {
  std::istringstream rows(traces);
  std::string result;
  for (std::string row; std::getline(rows, row);) {
    if (!row.empty() && row.back() == '\r') row.pop_back();
    if (row.ends_with(" [inlined]")) continue;
    std::istringstream words(row);
    for (std::string word; words >> word;) result += (word == module ? "<program>" : word) + " ";
    result += "\n";
  }
  return result;
}

TEST(MapLiveTest, CompanionMapResolvesFramesAsTheEmbeddedInformationDoes) {
  const std::string name = "stack_trace_map_live_test";
  const std::string map_path = Folder() + name + ".debug.map";
  DeleteFileA(map_path.c_str());

  const std::string without = TracesOf(name + ".debug.exe");
  ASSERT_FALSE(without.empty()) << "the program as linked did not run";
  EXPECT_EQ(without.find("scenario.Chain5"), std::string::npos)
      << "it must have no information yet";

  const std::shared_ptr<const TMapFile> own = LiveDebugInfo(0);
  ASSERT_TRUE(own->Valid);
  test::TextMapLayout layout;
  layout.code_address = own->BaseOfCode;
  layout.code_size = own->TopOfCode - own->BaseOfCode;
  { std::ofstream(map_path, std::ios::binary) << test::WriteTextMap(test::TablesOf(*own), layout); }
  const std::string embedded = TracesOf(name + ".exe");
  const std::string from_map = TracesOf(name + ".debug.exe");
  DeleteFileA(map_path.c_str());

  std::printf("%s", embedded.c_str());
  ASSERT_NE(embedded.find("scenario.Chain5"), std::string::npos);
  EXPECT_EQ(Normalised(from_map, name + ".debug.exe"), Normalised(embedded, name + ".exe"));
}

}  // namespace
}  // namespace qor

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == qor::kTraceOption)
    return qor::maplive::WriteTraces(argv[2]);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
