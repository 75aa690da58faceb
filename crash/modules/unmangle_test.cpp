#include "crash/modules/unmangle.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(Unmangle, Table) {
  struct Case {
    const char* in;
    bool mangled;
    const char* name;
    const char* unit;
  } cases[] = {
      {"@Main@TForm1@FormCreate$qqrp14System@TObject", true, "TForm1.FormCreate", "Main"},
      {"@Unit1@TFoo@$bctr$qqrv", true, "TFoo.Create", "Unit1"},
      {"@Unit1@TFoo@$bdtr$qqrv", true, "TFoo.Destroy", "Unit1"},
      {"@Unit1@Variable", true, "Variable", "Unit1"},
      {"@Routine$qqrv", true, "Routine", ""},
      {"@Unit@@Operator$qqrv", true, "@Operator", "Unit"},
      // A "%...%@" name keeps its member after the cut at the first "$".
      {"@%TList__1$i%@Add$qqri", true, "TList__1.Add$qqri", ""},
      // Helper names: the prefix up to "$@" is not cut at its "$".
      {"@_$DCT$@Unit@Foo$qqrv", true, "Unit.Foo", "_$DCT$"},
      {"@_$X$qqrv", true, "_", ""},
      {"@Unit@", true, "Unit.Create", ""},
      {"@Name. ", true, "Name.?", ""},
      {"Plain", false, "Plain", ""},
      {"Outer::Inner", false, "Outer.Inner", ""},
      {"", false, "", ""},
      {"@", true, "", ""},
  };
  for (const Case& c : cases) {
    std::string name = c.in, unit = "stale";
    EXPECT_EQ(Unmangle(name, unit), c.mangled) << c.in;
    EXPECT_EQ(name, c.name) << c.in;
    EXPECT_EQ(unit, c.unit) << c.in;
  }
}

}  // namespace
}  // namespace qor
