// A small program whose DWARF seeds the converter's fuzzer: inlined
// functions, a template, and exception handling.
#include <cstdio>

template <int N>
struct Scale {
  static int Of(int x) { return x * N; }
};

static inline int Twice(int x) { return Scale<2>::Of(x); }

int main(int argc, char** argv) {
  try {
    if (argc > 5) throw argc;
  } catch (int v) {
    return v;
  }
  std::printf("%d %s\n", Twice(argc), argv[0]);
  return 0;
}
