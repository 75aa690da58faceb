#include "crash/core/class_chain.h"

#include <cxxabi.h>

#include <algorithm>
#include <exception>

#include "crash/attach/qor_exception.h"
#include "crash/core/class_name.h"
#include "runtime/exceptions.h"

namespace qor {
namespace {

void AddWithBases(const std::type_info& type, std::vector<const std::type_info*>& chain) {
  if (chain.size() >= kMaxClassChain) return;
  if (std::find(chain.begin(), chain.end(), &type) != chain.end()) return;
  chain.push_back(&type);
  if (const auto* single = dynamic_cast<const abi::__si_class_type_info*>(&type)) {
    AddWithBases(*single->__base_type, chain);
  } else if (const auto* multiple = dynamic_cast<const abi::__vmi_class_type_info*>(&type)) {
    for (unsigned i = 0; i < multiple->__base_count; ++i) {
      AddWithBases(*multiple->__base_info[i].__base_type, chain);
    }
  }
}

// `object` (most derived, of class `dynamic`) seen as its base `target`, or
// null when `target` is no accessible base.
template <typename Target>
Target* Upcast(void* object, const std::type_info& dynamic) {
  void* adjusted = object;
  if (!typeid(Target).__do_catch(&dynamic, &adjusted, 1)) return nullptr;
  return static_cast<Target*>(adjusted);
}

}  // namespace

const std::type_info& DynamicClass(const void* object) {
  const auto* const* vtable = *static_cast<const std::type_info* const* const*>(object);
  return *vtable[-1];
}

std::vector<const std::type_info*> ClassChain(const std::type_info& type) {
  std::vector<const std::type_info*> chain;
  AddWithBases(type, chain);
  return chain;
}

bool ClassChainHas(const std::type_info& type, std::string_view name) {
  for (const std::type_info* link : ClassChain(type)) {
    if (ClassName(*link) == name) return true;
  }
  return false;
}

std::string ObjectMessageOrClass(const void* object) {
  void* mutable_object = const_cast<void*>(object);
  const std::type_info& type = DynamicClass(object);
  if (const auto* own = Upcast<QorException>(mutable_object, type)) return own->Message;
  if (const auto* program = Upcast<runtime::Exception>(mutable_object, type)) {
    return program->Message;
  }
  if (const auto* standard = Upcast<std::exception>(mutable_object, type)) return standard->what();
  return ClassName(type);
}

bool ReplaceObjectMessage(void* object, std::string_view text) {
  const std::type_info& type = DynamicClass(object);
  if (auto* own = Upcast<QorException>(object, type)) {
    own->Message = text;
  } else if (auto* program = Upcast<runtime::Exception>(object, type)) {
    program->Message = text;
  } else {
    return false;
  }
  return true;
}

}  // namespace qor
