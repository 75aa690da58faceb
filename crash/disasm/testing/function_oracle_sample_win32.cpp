// A program for the function-analysis oracle: switches dense enough for
// jump tables, loops, try/catch and calls that never return. It is only
// analysed, never run, so its results need not make sense.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

volatile int sink;

__attribute__((noinline)) int Classify(int value) {
  switch (value) {
    case 0: return 10;
    case 1: return value * 3 + sink;
    case 2: return sink - 7;
    case 3: return 44;
    case 4: return sink ^ 0x55;
    case 5: return 91;
    case 6: return sink + 12;
    default: return -1;
  }
}

__attribute__((noinline)) int SumOfSquares(const std::vector<int>& values) {
  int sum = 0;
  for (int v : values) {
    if (v < 0) continue;
    sum += v * v;
  }
  return sum;
}

__attribute__((noinline)) int Parse(const std::string& text) {
  try {
    return std::stoi(text);
  } catch (const std::invalid_argument&) {
    return -1;
  } catch (...) {
    throw;
  }
}

__attribute__((noinline, noreturn)) void Fail(const char* why) {
  std::fputs(why, stderr);
  std::exit(3);
}

__attribute__((noinline)) int Checked(int value) {
  if (value > 1000) Fail("too large");
  if (value < -1000) throw std::out_of_range("too small");
  if (value == 13) std::abort();
  if (value == 14) ExitProcess(14);
  return Classify(value % 8) + value;
}

__attribute__((noinline)) int Nested(int rows, int columns) {
  int total = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      switch ((r + c) & 7) {
        case 0: total += 1; break;
        case 1: total -= 2; break;
        case 2: total *= 3; break;
        case 3: total ^= r; break;
        case 4: total += c; break;
        case 5: total |= 16; break;
        default: total = Checked(total); break;
      }
    }
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> values;
  for (int i = 1; i < argc; ++i) values.push_back(Parse(argv[i]));
  try {
    return Nested(SumOfSquares(values), argc) + Checked(argc);
  } catch (const std::exception& error) {
    std::puts(error.what());
    return 1;
  }
}
