#include "runtime/exceptions.h"

#include <gtest/gtest.h>

namespace runtime {
namespace {

// Handlers catch the base class and show Message; a message changed after
// construction (as handlers that add context do) must be what they show.
TEST(Exceptions, DerivedClassesAreCaughtAsExceptionWithTheirMessage) {
  try {
    throw EOSError("Access is denied.", 5);
  } catch (Exception& e) {
    e.Message += " (while restarting)";
    EXPECT_STREQ(e.what(), "Access is denied. (while restarting)");
    EXPECT_EQ(dynamic_cast<EOSError&>(e).ErrorCode, 5u);
  }
  EXPECT_THROW(throw EAbort(""), std::exception);
}

}  // namespace
}  // namespace runtime
