// What the trace test program's exported routine writes before the number
// of its call.
#pragma once

inline constexpr char kTraceTargetReport[] = "qor-trace test report\r\nthread 1: main\r\n";
