#include "crash/modules/method_thunk.h"

#include <cstddef>

namespace qor {
namespace {

void PutAddress(std::array<uint8_t, kMethodThunkSize>& bytes, std::size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::array<uint8_t, kMethodThunkSize> MethodThunkBytes(uint32_t thunk_address, uint32_t object,
                                                       uint32_t code) {
  std::array<uint8_t, kMethodThunkSize> bytes{};
  bytes[0] = 0x58;  // pop eax
  bytes[1] = 0x68;  // push object
  PutAddress(bytes, 2, object);
  bytes[6] = 0x50;  // push eax
  bytes[7] = 0xff;  // jmp dword [thunk + 13]
  bytes[8] = 0x25;
  PutAddress(bytes, 9, thunk_address + 13);
  PutAddress(bytes, 13, code);
  return bytes;
}

}  // namespace qor
