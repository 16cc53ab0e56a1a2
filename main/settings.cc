#include "main/settings.h"

#include <string_view>

namespace vorn {
namespace {

// The bytes at 1-based positions first..last of `argument`, as many of them
// as it has.
std::string BytesAt(std::string_view argument, std::size_t first, std::size_t last) {
  if (argument.size() < first) return std::string();
  return std::string(argument.substr(first - 1, last - first + 1));
}

}  // namespace

Request ReadArguments(const std::vector<std::string>& arguments, Settings* settings) {
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
    } else if (argument == "-w") {
      settings->ShowTable = true;
    } else if (prefix == "-a") {
      settings->ReplacementChar = BytesAt(argument, 3, 3);
    } else if (prefix == "-e") {
      settings->ReplacementChar = BytesAt(argument, 3, 4);
    } else if (prefix == "-k") {
      settings->SourceChar = BytesAt(argument, 3, 3);
    } else if (prefix == "-s") {
      settings->SourceChar = BytesAt(argument, 3, 4);
    }
  }
  return Request::kSubstitute;
}

}  // namespace vorn
