#include "crash/stack/code_location.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "crash/stack/testing/stack_test_process.h"

namespace qor::test {
namespace {

// Debug information whose lookup fails.
class FailingProcess : public TestProcess {
 public:
  std::shared_ptr<const TMapFile> DebugInfoAt(uint32_t) const override {
    throw std::runtime_error("lookup failed");
  }
};

TEST(CodeLocationTest, ModuleUnitLineAndFunctionFromDebugInformation) {
  const TestProcess process;
  EXPECT_EQ(FormatCodeLocation(process.Context(), kLeaf + 3), "00401063 test.exe Main 41 Leaf");
  EXPECT_EQ(FormatCodeLocation(process.Context(), kMiddle), "00401020 test.exe Main 20 Middle");
}

TEST(CodeLocationTest, QuestionMarksWithoutDebugInformation) {
  const TestProcess process;
  EXPECT_EQ(FormatCodeLocation(process.Context(), kBadAddress), "00001234 ???");
  EXPECT_EQ(FormatCodeLocation(process.Context(), kHelperFunction), "10001000 ???");
  EXPECT_EQ(FormatCodeLocation(process.Context(), 0), "00000000 ???");
  const FailingProcess failing;
  EXPECT_EQ(FormatCodeLocation(failing.Context(), kLeaf), "00401060 ???");
}

}  // namespace
}  // namespace qor::test
