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

TEST(BreakpadSymbols, StorePathDropsOnlyAPdbExtension) {
  EXPECT_EQ(SymbolStorePath({"Uninstall.pdb", "ID1"}), "Uninstall.pdb/ID1/Uninstall.sym");
  EXPECT_EQ(SymbolStorePath({"TOOL.PDB", "ID1"}), "TOOL.PDB/ID1/TOOL.sym");
  EXPECT_EQ(SymbolStorePath({"tool.exe", "ID1"}), "tool.exe/ID1/tool.exe.sym");
}

}  // namespace
}  // namespace qor::convert
