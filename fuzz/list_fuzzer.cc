// Fuzzes the list reader with arbitrary list file bytes, handed over in
// pieces of any size, checked against a byte-by-byte reading of the whole
// list by the list rules.  A list that begins with the UTF-8 byte-order
// mark has each line converted (by the test Env's converter, which is not
// what is tested here) before the entry rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "substitute/substitute_list.h"
#include "tests/fake_env.h"

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
  // The first byte sets the size of the pieces the list is read in, so
  // that lines, terminators and the byte-order mark fall across pieces.
  if (size == 0) return 0;
  const std::size_t piece = data[0] == 0 ? SIZE_MAX : data[0];
  ++data;
  --size;
  vorn::FakeEnv env;
  vorn::BytesFile file(std::string_view(reinterpret_cast<const char*>(data), size), piece);
  vorn::Substitutes got;
  vorn::IoError error;
  if (!vorn::ReadSubstitutes(env, &file, &got, &error)) std::abort();

  const bool utf8 = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
  std::vector<std::string> lines = utf8 ? Lines(data + 3, size - 3) : Lines(data, size);
  if (lines.size() > vorn::MaxSubstitutes) lines.resize(vorn::MaxSubstitutes);
  for (std::string& line : lines) {
    std::string converted;
    if (utf8 && env.Utf8ToCP932(line, &converted)) line = converted;
  }
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
