#include "main/settings.h"

#include <string_view>

namespace vorn {
namespace {

// The first `count` bytes of a character option's value, as many of them
// as it has: the value is the option after its two-byte prefix, turned
// into code page 932 by `decode`.
std::string ValueBytes(std::string_view argument, std::size_t count,
                       const CharacterDecoder& decode) {
  std::string value(argument.substr(2));
  if (decode && !value.empty()) value = decode(value);
  return value.substr(0, count);
}

}  // namespace

Request ReadArguments(const std::vector<std::string>& arguments, Settings* settings,
                      const CharacterDecoder& decode) {
  for (const std::string& argument : arguments) {
    if (argument.empty() || argument[0] != '-') {
      if (settings->AwaitingListName) {
        settings->ListName = argument;
        settings->AwaitingListName = false;
      } else {
        settings->OutputName = argument;
      }
      continue;
    }
    std::string_view prefix = std::string_view(argument).substr(0, 2);
    if (argument == "-f") {
      settings->AwaitingListName = true;
    } else if (argument == "-VC") {
      return Request::kVersionWithComments;
    } else if (argument == "-V") {
      return Request::kVersionListing;
    } else if (argument == "--version") {
      return Request::kLongVersion;
    } else if (argument == "--help") {
      return Request::kLongHelp;
    } else if (argument == "-w") {
      settings->ShowTable = true;
    } else if (prefix == "-a") {
      settings->ReplacementChar = ValueBytes(argument, 1, decode);
    } else if (prefix == "-e") {
      settings->ReplacementChar = ValueBytes(argument, 2, decode);
    } else if (prefix == "-k") {
      settings->SourceChar = ValueBytes(argument, 1, decode);
    } else if (prefix == "-s") {
      settings->SourceChar = ValueBytes(argument, 2, decode);
    }
  }
  return Request::kSubstitute;
}

}  // namespace vorn
