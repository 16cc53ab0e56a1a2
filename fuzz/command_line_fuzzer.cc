// Fuzzes the Windows command-line splitter with arbitrary bytes, checked
// against a reading of the rules that first cuts the line into characters
// (a lead byte and the byte after it, or one byte) and then never looks
// inside a two-byte character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_line.h"

namespace {

bool IsLead(unsigned char byte) { return (byte >= 0x81 && byte <= 0xA0) || byte >= 0xE0; }

std::vector<std::string> Characters(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> characters;
  for (std::size_t i = 0; i < size;) {
    std::size_t length = IsLead(data[i]) && data[i] <= 0xFC && i + 1 < size ? 2 : 1;
    characters.emplace_back(reinterpret_cast<const char*>(data + i), length);
    i += length;
  }
  return characters;
}

std::vector<std::string> Split(const std::vector<std::string>& characters) {
  std::vector<std::string> arguments;
  std::string current;
  bool started = false;  // a byte of the current argument, a quote included, was seen
  bool quoted = false;
  for (std::size_t k = 0; k < characters.size(); ++k) {
    const std::string& c = characters[k];
    bool separator = c.size() == 1 && c[0] >= 0x01 && c[0] <= 0x20;
    if (separator && !quoted) {
      if (started) arguments.push_back(current);
      current.clear();
      started = false;
      continue;
    }
    started = true;
    if (c == "\"") {
      if (k + 1 < characters.size() && characters[k + 1] == "\"") {
        ++k;  // "" is dropped whole and switches nothing
      } else {
        quoted = !quoted;
      }
      continue;
    }
    current += c;
  }
  if (started) arguments.push_back(current);
  return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> got =
      vorn::SplitCommandLine(std::string_view(reinterpret_cast<const char*>(data), size));
  if (got != Split(Characters(data, size))) std::abort();
  return 0;
}
