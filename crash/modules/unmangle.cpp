#include "crash/modules/unmangle.h"

namespace qor {
namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// Template-like names ("@%...%@Name") keep the text after the last "%@" as
// a member name that the cut at the first "$" would otherwise lose.
std::string PercentSuffix(const std::string& name) {
  if (name.size() < 2 || name[1] != '%') return {};
  size_t at = name.rfind("%@");
  if (at == std::string::npos || at < 2) return {};
  return "." + name.substr(at + 2);
}

// Compiler helper names ("@_$xx$@Unit@...") carry a prefix up to "$@"
// that must not be cut at its "$".
size_t ScanStart(const std::string& name) {
  if (name.size() > 6 && name[1] == '_' && name[2] == '$') {
    size_t dollar = name.find('$', 4);
    if (dollar != std::string::npos && dollar + 1 < name.size() && name[dollar + 1] == '@') {
      return dollar + 1;
    }
  }
  return 2;
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

bool Unmangle(std::string& name, std::string& unit) {
  unit.clear();
  ReplaceAll(name, "::", ".");
  if (name.empty() || name[0] != '@') return false;

  const std::string suffix = PercentSuffix(name);
  bool has_unit = false;
  bool destructor = false;
  for (size_t i = ScanStart(name); i < name.size(); ++i) {
    if (name[i] == '@') {
      name[i] = '.';
      if (!has_unit) {
        unit = name.substr(1, i - 1);
        has_unit = true;
      }
    } else if (name[i] == '$') {
      // "$bdtr" is the destructor, "$bctr" the constructor.
      destructor = i + 2 < name.size() && name[i + 2] == 'd';
      name = name.substr(0, i) + suffix;
      break;
    }
  }

  if (has_unit && name.size() > unit.size() + 2) {
    name.erase(0, unit.size() + 2);
  } else {
    unit.clear();
    name.erase(0, 1);
  }

  if (!name.empty() && name[0] == '%') name.erase(0, 1);
  if (!name.empty() && name[0] == '.') name[0] = '@';
  if (!name.empty() && name.back() == '.') name += destructor ? "Destroy" : "Create";
  name = Trim(name);
  if (!name.empty() && name.back() == '.') name += '?';
  return true;
}

}  // namespace qor
