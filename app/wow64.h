// Whether this 32-bit program runs on 64-bit Windows (under WoW64), where it
// can neither remove device nodes nor reach the real System32\drivers.
#pragma once

namespace app {

// IsWow64Process decides, looked up at run time: the 9x family and old NT
// systems lack it and are never 64-bit. When it exists but fails the answer
// is true: the 64-bit helper then either runs or cannot start, and either
// way the removal is never done halfway from the 32-bit side.
bool RunsUnderWow64();

}  // namespace app
