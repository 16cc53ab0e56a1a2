#include "platform/command_line.h"

#include "platform/cp932.h"

namespace vorn {

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::vector<std::string> arguments;
  std::string current;
  // An argument exists once any byte of it was seen, a dropped quote
  // included: that is what makes "" an empty argument.
  bool in_argument = false;
  bool quoted = false;
  std::size_t i = 0;
  while (i < command_line.size()) {
    auto byte = static_cast<unsigned char>(command_line[i]);
    if (!quoted && byte >= 0x01 && byte <= 0x20) {
      if (in_argument) arguments.push_back(std::move(current));
      current.clear();
      in_argument = false;
      ++i;
      continue;
    }
    in_argument = true;
    if (byte == '"') {
      if (i + 1 < command_line.size() && command_line[i + 1] == '"') {
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
      continue;
    }
    current += command_line[i++];
    if (IsLeadByte(byte) && i < command_line.size()) current += command_line[i++];
  }
  if (in_argument) arguments.push_back(std::move(current));
  return arguments;
}

}  // namespace vorn
