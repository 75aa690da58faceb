// Started by os_version_9x_win32_test under Wine's win98 version mode:
// prints what the 9x paths of the system facts give, one value a line.
#include <cstdio>

#include "crash/modules/free_resources.h"
#include "crash/modules/os_version.h"
#include "crash/modules/thread_obfuscator.h"

int main() {
  const qor::TOS& os = qor::CurrentOs();
  std::printf("%u\n%u\n%u.%u.%u\n", os.Is9x, os.Kind, static_cast<unsigned>(os.Major),
              static_cast<unsigned>(os.Minor), static_cast<unsigned>(os.Build));
  for (auto kind : {qor::kFreeSystemResources, qor::kFreeGdiResources, qor::kFreeUserResources}) {
    std::printf("%u\n", static_cast<unsigned>(qor::FreeSystemResources(kind)));
  }
  const qor::ThreadObfuscator& obfuscator = qor::CurrentThreadObfuscator();
  std::printf("%08x %d\n%s\n", static_cast<unsigned>(obfuscator.value), obfuscator.marks_9x,
              os.Description.c_str());
  return 0;
}
