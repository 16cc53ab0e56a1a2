// Fuzzes the list reader with arbitrary list file bytes, checked against a
// byte-by-byte reading of the list rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "substitute/substitute_list.h"

namespace {

// Splits the list into lines one byte at a time: LF, CR or CR LF ends a
// line, Ctrl-Z ends the file, a last line without terminator counts.
std::vector<std::string> Lines(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // bytes of an unterminated line have been seen
  for (std::size_t i = 0; i < size; ++i) {
    char c = static_cast<char>(data[i]);
    if (c == '\x1A') break;
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (c == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
      continue;
    }
    line += c;
    open = true;
  }
  if (open) lines.push_back(line);
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vorn::Substitutes got =
      vorn::ReadSubstitutes(std::string_view(reinterpret_cast<const char*>(data), size));

  std::vector<std::string> lines = Lines(data, size);
  if (lines.size() > vorn::MaxSubstitutes) lines.resize(vorn::MaxSubstitutes);
  if (got.size() != lines.size()) std::abort();
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    std::string source;
    std::string replacement;
    if (line.size() == 4) {
      source = line.substr(0, 2);
      replacement = line.substr(2, 2);
    } else {
      if (!line.empty()) source = line.substr(0, 1);
      if (line.size() >= 2) replacement = line.substr(1, 1);
    }
    if (got[n].Pending != 1 || got[n].Source != source || got[n].Replacement != replacement) {
      std::abort();
    }
  }
  return 0;
}
