// qor_symbol_store INPUT STORE
// Writes the symbol file of INPUT, a linked 32-bit MinGW program with DWARF
// line information and a CodeView record, into the symbol store STORE as
// STORE/<debug file>/<debug id>/<debug file without .pdb>.sym, the layout
// in which crash servers' processors look for it, and prints that path.
#include <cstdio>
#include <filesystem>

#include "tools/qor_convert/file_bytes.h"
#include "tools/qor_convert/symbol_file.h"

int main(int argc, char** argv) {
  using namespace qor::convert;
  if (argc != 3) {
    std::fprintf(stderr, "usage: qor_symbol_store INPUT STORE\n");
    return 1;
  }
  std::vector<uint8_t> bytes;
  PeFile pe;
  SymbolModule module;
  std::string text, error;
  if (!LoadFile(argv[1], bytes)) error = "cannot read it";
  if (error.empty() && pe.Parse(std::move(bytes), error)) BuildSymbolFile(pe, module, text, error);
  if (!error.empty()) {
    std::fprintf(stderr, "qor_symbol_store: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  const std::filesystem::path path = std::filesystem::path(argv[2]) / SymbolStorePath(module);
  std::error_code failed;
  std::filesystem::create_directories(path.parent_path(), failed);
  if (failed || !SaveFile(path.string(), std::vector<uint8_t>(text.begin(), text.end()))) {
    std::fprintf(stderr, "qor_symbol_store: cannot write %s\n", path.string().c_str());
    return 1;
  }
  std::printf("%s\n", path.string().c_str());
  return 0;
}
