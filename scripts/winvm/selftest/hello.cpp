// Prints a line and its arguments, returns 3: checks output and exit code
// travel from the guest back to the host.
#include <cstdio>
int main(int argc, char** argv) {
  std::printf("hello from win32\n");
  for (int i = 1; i < argc; ++i) std::printf("arg%d=[%s]\n", i, argv[i]);
  return 3;
}
