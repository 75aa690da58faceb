#include "crash/core/except_object.h"

#include <windows.h>

#include <string_view>

#include "crash/core/class_chain.h"
#include "crash/core/class_name.h"
#include "crash/core/except_request.h"
#include "crash/core/os_exception_text.h"
#include "crash/modules/guarded_call.h"
#include "crash/modules/module_tools.h"
#include "crash/modules/pe_image.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

// True when `address` lies inside a section of a loaded module.
bool InModuleSection(uint32_t address) {
  uint32_t base = 0;
  std::string file_name;
  if (!ModuleOfAddress(address, base, file_name)) return false;
  const LiveMemory memory;
  const uint32_t nt_headers = NtHeaders(memory, base);
  uint32_t count = 0;
  uint32_t table = 0;
  if (nt_headers == 0 || !SectionTable(memory, nt_headers, count, table)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    SectionHeader section;
    if (!ReadSection(memory, nt_headers, i, section)) return false;
    const uint32_t start = base + section.virtual_address;
    if (address >= start && address - start < section.virtual_size) return true;
  }
  return false;
}

// A mangled class name: letters, digits and "_" (a leading "*" marks a
// class local to its file).
bool IsMangledName(const char* name) {
  if (*name == '*') ++name;
  size_t length = 0;
  for (; name[length] != 0 && length < 1024; ++length) {
    const char c = name[length];
    const bool ok =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return length > 0 && length < 1024;
}

bool IsPlausibleClass(const std::type_info* type) {
  const uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(type));
  uint32_t type_vtable = 0;
  if (!SafeRead(address, &type_vtable, sizeof(type_vtable))) return false;
  if (!InModuleSection(address) || !InModuleSection(type_vtable)) return false;
  const char* name = type->name();
  return InModuleSection(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name))) &&
         IsMangledName(name);
}

bool CheckObject(uint32_t object) {
  uint32_t vtable = 0;
  uint32_t type = 0;
  if (!SafeRead(object, &vtable, sizeof(vtable)) || !InModuleSection(vtable)) return false;
  if (!SafeRead(vtable - 4, &type, sizeof(type))) return false;
  const auto* dynamic = reinterpret_cast<const std::type_info*>(uintptr_t{type});
  if (!IsPlausibleClass(dynamic)) return false;
  // Every base is checked before the next one is asked for.
  for (const std::type_info* link : ClassChain(*dynamic)) {
    if (!IsPlausibleClass(link)) return false;
    if (link != dynamic && std::string_view(link->name()) == dynamic->name()) return false;
  }
  return true;
}

const void* Pointer(uint32_t object) {
  return reinterpret_cast<const void*>(uintptr_t{object});
}

}  // namespace

bool IsPlausibleObject(uint32_t object) {
  if (object == 0) return false;
  bool plausible = false;
  if (!Guarded([&] { plausible = CheckObject(object); })) return false;
  return plausible;
}

std::string ExceptClassText(uint32_t object) {
  std::string text = "Unknown";
  if (object == 0) return text;
  std::string name;
  if (Guarded([&] { name = ClassName(DynamicClass(Pointer(object))); })) text = name;
  return text;
}

std::string ExceptMessageText(uint32_t object) {
  if (object == 0) return "Unknown";
  std::string message;
  if (!Guarded([&] { message = ObjectMessageOrClass(Pointer(object)); })) return "Unknown";
  std::erase_if(message, [](char c) { return static_cast<unsigned char>(c) < 32; });
  return message.empty() ? "Unknown" : message;
}

bool IsClassOrDescendant(uint32_t object, std::string_view name) {
  if (object == 0) return false;
  bool found = false;
  if (!Guarded([&] { found = ClassChainHas(DynamicClass(Pointer(object)), name); })) return false;
  return found;
}

bool IsReportedObject(uint32_t object) {
  if (object == 0) return false;
  bool reported = false;
  Guarded([&] { reported = ObjectMessageOrClass(Pointer(object)) == ReportedMarker; });
  return reported;
}

std::string AccessViolationText(const EXCEPTION_RECORD& record) {
  const uint32_t address =
      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress));
  const bool write = record.NumberParameters > 0 && record.ExceptionInformation[0] != 0;
  const uint32_t target =
      record.NumberParameters > 1 ? static_cast<uint32_t>(record.ExceptionInformation[1]) : 0;
  uint32_t base = 0;
  std::string file_name;
  if (ModuleOfAddress(address, base, file_name)) {
    file_name = file_name.substr(file_name.find_last_of("\\/:") + 1);
  } else {
    file_name.clear();
  }
  return AccessViolationMessage(address, file_name, write, target);
}

}  // namespace qor
