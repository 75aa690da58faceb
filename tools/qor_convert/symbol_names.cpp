#include "tools/qor_convert/symbol_names.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace qor::convert {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Removes a trailing "(...)" parameter list and the qualifiers after it.
void DropParameters(std::string& name) {
  for (bool again = true; again;) {
    again = false;
    for (const char* qualifier : {" const", " volatile", " &&", " &", " noexcept"}) {
      if (EndsWith(name, qualifier)) {
        name.resize(name.size() - std::string(qualifier).size());
        again = true;
      }
    }
  }
  if (name.empty() || name.back() != ')') return;
  int depth = 0;
  for (size_t i = name.size(); i-- > 0;) {
    if (name[i] == ')') ++depth;
    if (name[i] == '(' && --depth == 0) {
      name.resize(i);
      return;
    }
  }
}

// Removes a return type ("int tw<int>" gives "tw<int>"): the text up to the
// last space outside brackets that is not part of an operator's name.
void DropReturnType(std::string& name) {
  int depth = 0;
  for (size_t i = name.size(); i-- > 0;) {
    const char c = name[i];
    if (c == '>' || c == ')' || c == ']') ++depth;
    if (c == '<' || c == '(' || c == '[') --depth;
    if (c != ' ' || depth != 0) continue;
    const size_t word = name.rfind("operator", i);
    if (word != std::string::npos && word + 8 == i) continue;
    name.erase(0, i + 1);
    return;
  }
}

void ReplaceScopes(std::string& name) {
  for (size_t at = name.find("::"); at != std::string::npos; at = name.find("::", at + 1)) {
    name.replace(at, 2, ".");
  }
}

// GCC's specialised copies of a function ("f.isra.0", "f.part.1",
// "f.constprop.0", "f.cold") are the function itself to a reader; the
// demangler shows them as " [clone .isra.0]".
void DropCloneSuffixes(std::string& name) {
  for (size_t at; (at = name.find(" [clone ")) != std::string::npos;) {
    const size_t end = name.find(']', at);
    name.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
  }
  for (const char* suffix : {".isra.", ".part.", ".constprop.", ".cold", ".lto_priv."}) {
    const size_t at = name.find(suffix);
    if (at != std::string::npos && at > 0) name.resize(at);
  }
}

}  // namespace

std::string UnqualifiedName(const std::string& readable) {
  std::string last;
  int depth = 0;
  for (char c : readable) {
    if (c == '<' || c == '(') ++depth;
    if (c == '>' || c == ')') --depth;
    if (c == '.' && depth == 0) {
      last.clear();
    } else if (depth == 0 && c != '>' && c != ')') {
      last.push_back(c);
    }
  }
  return last;
}

std::string FitName(const std::string& readable, size_t limit) {
  if (readable.size() <= limit) return readable;
  std::string shorter;
  int depth = 0;
  for (char c : readable) {
    if (c == '<' && depth++ == 0) shorter += "<...>";
    if (depth == 0) shorter.push_back(c);
    if (c == '>' && depth > 0) --depth;
  }
  if (shorter.size() <= limit) return shorter;
  return shorter.substr(shorter.size() - limit);
}

std::string ReadableDemangledName(const std::string& demangled) {
  std::string name = demangled;
  DropCloneSuffixes(name);
  DropParameters(name);
  DropReturnType(name);
  ReplaceScopes(name);
  return name;
}

std::string ReadableSymbolName(const std::string& symbol) {
  std::string name = symbol;
  if (!name.empty() && (name[0] == '_' || name[0] == '@')) name.erase(0, 1);
  DropCloneSuffixes(name);
  // stdcall and fastcall names end in "@" and the size of the arguments,
  // C++ names as well as C names.
  const size_t at = name.rfind('@');
  if (at != std::string::npos && at + 1 < name.size() &&
      name.find_first_not_of("0123456789", at + 1) == std::string::npos) {
    name.resize(at);
  }
  if (name.rfind("_Z", 0) == 0) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), std::free);
    if (status == 0 && demangled) return ReadableDemangledName(demangled.get());
  }
  return name;
}

}  // namespace qor::convert
