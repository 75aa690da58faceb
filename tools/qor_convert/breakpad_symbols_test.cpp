#include "tools/qor_convert/breakpad_symbols.h"

#include <gtest/gtest.h>

namespace qor::convert {
namespace {

using Kind = CfiRegisterRule::Kind;

CfiState EntryState() {
  CfiState state;
  state.cfa = {4, 4};
  state.registers[8] = {Kind::kOffset, -4};
  return state;
}

TEST(CfiRuleText, WritesRegisterOffsetsAndExpressionsInPostfix) {
  CfiState state = EntryState();
  EXPECT_EQ(*CfiRuleText(state, nullptr, 8), ".cfa: $esp 4 + .ra: .cfa -4 + ^");
  // A realigned frame: CFA = *(ebp - 16); ebp saved at ebp + 0; a rule that
  // uses the CFA pushed before it; a value rule.
  state.cfa = {0, 0, {0x75, 0x70, 0x06}};
  state.registers[5] = {Kind::kExpression, 0, 0, {0x75, 0x00}};
  state.registers[3] = {Kind::kExpression, 0, 0, {0x23, 0x08}};
  state.registers[6] = {Kind::kValOffset, -12};
  state.registers[7] = {Kind::kRegister, 0, 1};
  EXPECT_EQ(*CfiRuleText(state, nullptr, 8),
            ".cfa: $ebp -16 + ^ $ebx: .cfa 8 + ^ $ebp: $ebp 0 + ^ $esi: .cfa -12 + "
            "$edi: $ecx .ra: .cfa -4 + ^");
}

TEST(CfiRuleText, DeltasNameOnlyChangesAndRestoredRegisters) {
  const CfiState entry = EntryState();
  CfiState pushed = entry;
  pushed.cfa.offset = 8;
  pushed.registers[3] = {Kind::kOffset, -8};
  EXPECT_EQ(*CfiRuleText(pushed, &entry, 8), ".cfa: $esp 8 + $ebx: .cfa -8 + ^");
  EXPECT_EQ(*CfiRuleText(pushed, &pushed, 8), "");
  // After the pop the caller's ebx is back in ebx; the records cannot drop
  // a rule, so they say that.
  EXPECT_EQ(*CfiRuleText(entry, &pushed, 8), ".cfa: $esp 4 + $ebx: $ebx");
}

TEST(CfiRuleText, RefusesWhatHasNoPostfixForm) {
  CfiState state = EntryState();
  state.cfa = {0, 0, {0x96 /*DW_OP_nop*/}};
  EXPECT_FALSE(CfiRuleText(state, nullptr, 8));
  state = EntryState();
  state.registers[3] = {Kind::kExpression, 0, 0, {0x22 /*plus with one value*/}};
  EXPECT_FALSE(CfiRuleText(state, nullptr, 8));
  state = EntryState();
  state.registers[8] = {Kind::kUndefined};  // the outermost frame
  EXPECT_FALSE(CfiRuleText(state, nullptr, 8));
  state = EntryState();
  state.registers[40] = {Kind::kOffset, -8};  // an x87 register: not needed to unwind
  EXPECT_EQ(*CfiRuleText(state, nullptr, 8), ".cfa: $esp 4 + .ra: .cfa -4 + ^");
}

TEST(BreakpadSymbols, FunctionsLinesPublicsAndFrames) {
  CompactTables tables;
  tables.segments = {{0x00, 0x30, "b.cpp"}, {0x40, 0x10, "a.cpp"}};
  tables.publics = {{"ns.First", 0x00}, {"ns.First.alias", 0x00}, {"Second", 0x20}, {"Third", 0x40},
                    {"crt_start", 0x60}};
  tables.lines = {{10, 0x00}, {11, 0x08}, {20, 0x20}, {7, 0x44}};
  CfiFunction frame{0x1000, 0x1010, 8, {{0x1000, EntryState()}}};
  CfiFunction unwritable = frame;
  unwritable.begin = 0x1040;
  unwritable.rows[0].state.cfa.expression = {0x96};
  unwritable.rows[0].address = 0x1040;
  const std::string text = WriteBreakpadSymbols({"t.pdb", "ABC1", 0x1000, 0x1080}, tables,
                                                {frame, unwritable});
  EXPECT_EQ(text,
            "MODULE windows x86 ABC1 t.pdb\n"
            "FILE 0 b.cpp\n"
            "FILE 1 a.cpp\n"
            "FUNC 1000 20 0 ns.First\n"
            "1000 8 10 0\n"
            "1008 18 11 0\n"
            "FUNC 1020 20 0 Second\n"
            "1020 10 20 0\n"  // the unit ends at 0x1030: padding has no line
            "FUNC 1040 20 0 Third\n"
            "1044 c 7 1\n"
            "PUBLIC 1060 0 crt_start\n"
            "STACK CFI INIT 1000 10 .cfa: $esp 4 + .ra: .cfa -4 + ^\n");
}

// Main (main.cpp) calls Outer at line 5, which is inlined; Outer calls
// Inner at line 30 of outer.h, inlined too; Outer is inlined a second time
// at line 6. Lines give where the innermost function stands; INLINE records
// give each call's site, parents first and around their children.
TEST(BreakpadSymbols, InlineChainsBecomeNestedInlineRecords) {
  CompactTables tables;
  tables.segments = {{0x00, 0x40, "main.cpp"}};
  tables.publics = {{"Main", 0x00}, {"Next", 0x40}};
  tables.lines = {{4, 0x00}, {5, 0x04}, {6, 0x18}, {7, 0x20}};
  const CompactInlineFrame outer_at_29{"Outer", "outer.h", 29}, outer_at_30{"Outer", "outer.h", 30};
  const CompactInlineFrame inner{"Inner", "inner.h", 12};
  tables.inlines = {{0x04, {outer_at_29}},
                    {0x08, {inner, outer_at_30}},
                    {0x10, {outer_at_29}},
                    {0x18, {outer_at_29}},  // the second call, right after the first
                    {0x20, {}}};
  const std::string text = WriteBreakpadSymbols({"t.pdb", "ABC1", 0x1000, 0x1040}, tables, {});
  EXPECT_EQ(text,
            "MODULE windows x86 ABC1 t.pdb\n"
            "FILE 0 main.cpp\n"
            "FILE 1 outer.h\n"
            "FILE 2 inner.h\n"
            "INLINE_ORIGIN 0 Outer\n"
            "INLINE_ORIGIN 1 Inner\n"
            "FUNC 1000 40 0 Main\n"
            "INLINE 0 5 0 0 1004 14\n"
            "INLINE 1 30 1 1 1008 8\n"
            "INLINE 0 6 0 0 1018 8\n"
            "1000 4 4 0\n"
            "1004 4 29 1\n"
            "1008 8 12 2\n"
            "1010 10 29 1\n"  // both calls stand at line 29 of Outer
            "1020 20 7 0\n");
}

TEST(BreakpadSymbols, StorePathDropsOnlyAPdbExtension) {
  EXPECT_EQ(SymbolStorePath({"Uninstall.pdb", "ID1"}), "Uninstall.pdb/ID1/Uninstall.sym");
  EXPECT_EQ(SymbolStorePath({"TOOL.PDB", "ID1"}), "TOOL.PDB/ID1/TOOL.sym");
  EXPECT_EQ(SymbolStorePath({"tool.exe", "ID1"}), "tool.exe/ID1/tool.exe.sym");
}

}  // namespace
}  // namespace qor::convert
