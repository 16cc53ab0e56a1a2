// Fuzzes the argument reader.  The input is one byte choosing whether the
// values of character options pass through a decoder (one that reverses
// its text, so that bytes taken before decoding would show), then the
// arguments, separated by NUL bytes (argv cannot hold a NUL).  The result
// is checked against a reading written straight from the option rules.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "main/settings.h"

namespace {

struct Expected {
  vorn::Settings settings;
  vorn::Request request = vorn::Request::kSubstitute;
};

// The first `count` bytes of the value after an option's two-byte prefix,
// decoded first when there is a decoder and a value.
std::string Value(const std::string& option, std::size_t count, bool decode) {
  std::string value = option.size() > 2 ? option.substr(2) : std::string();
  if (decode && !value.empty()) std::reverse(value.begin(), value.end());
  if (value.size() > count) value.resize(count);
  return value;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.size() >= 2 && text[0] == prefix[0] && text[1] == prefix[1];
}

Expected Read(const std::vector<std::string>& arguments, bool decode) {
  Expected e;
  for (const std::string& a : arguments) {
    bool plain = a.empty() || a[0] != '-';
    if (plain && e.settings.AwaitingListName) {
      e.settings.ListName = a;
      e.settings.AwaitingListName = false;
    } else if (plain) {
      e.settings.OutputName = a;
    } else if (a == "-f") {
      e.settings.AwaitingListName = true;
    } else if (a == "-VC") {
      e.request = vorn::Request::kVersionWithComments;
      return e;
    } else if (a == "-V") {
      e.request = vorn::Request::kVersionListing;
      return e;
    } else if (a == "--version") {
      e.request = vorn::Request::kLongVersion;
      return e;
    } else if (a == "--help") {
      e.request = vorn::Request::kLongHelp;
      return e;
    } else if (a == "-w") {
      e.settings.ShowTable = true;
    } else if (StartsWith(a, "-a")) {
      e.settings.ReplacementChar = Value(a, 1, decode);
    } else if (StartsWith(a, "-e")) {
      e.settings.ReplacementChar = Value(a, 2, decode);
    } else if (StartsWith(a, "-k")) {
      e.settings.SourceChar = Value(a, 1, decode);
    } else if (StartsWith(a, "-s")) {
      e.settings.SourceChar = Value(a, 2, decode);
    }
  }
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool decode = (data[0] & 1) != 0;
  std::vector<std::string> arguments;
  if (size > 1) arguments.emplace_back();
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back() += static_cast<char>(data[i]);
    }
  }
  vorn::CharacterDecoder reverse = [](std::string_view text) {
    return std::string(text.rbegin(), text.rend());
  };

  vorn::Settings settings;
  vorn::Request request =
      vorn::ReadArguments(arguments, &settings, decode ? reverse : vorn::CharacterDecoder());
  Expected expected = Read(arguments, decode);
  if (request != expected.request || settings.OutputName != expected.settings.OutputName ||
      settings.SourceChar != expected.settings.SourceChar ||
      settings.ReplacementChar != expected.settings.ReplacementChar ||
      settings.ListName != expected.settings.ListName ||
      settings.ShowTable != expected.settings.ShowTable ||
      settings.AwaitingListName != expected.settings.AwaitingListName) {
    std::abort();
  }
  return 0;
}
