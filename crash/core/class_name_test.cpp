#include "crash/core/class_name.h"

#include <gtest/gtest.h>

namespace outer::inner {
struct EThreadFailure {
  virtual ~EThreadFailure() = default;
};
struct ELater : EThreadFailure {};
}  // namespace outer::inner

namespace qor {
namespace {

TEST(ClassName, DemangledWithDotsForScopes) {
  EXPECT_EQ(ClassName(typeid(outer::inner::EThreadFailure)), "outer.inner.EThreadFailure");
  const outer::inner::EThreadFailure& object = outer::inner::ELater();
  EXPECT_EQ(ClassName(typeid(object)), "outer.inner.ELater") << "the dynamic type";
  EXPECT_EQ(ClassName(typeid(int)), "int");
}

}  // namespace
}  // namespace qor
