// Fuzzes the argument reader: the input is the argument list, arguments
// separated by NUL bytes (argv cannot hold a NUL).  The result is checked
// against a reading written straight from the rules of the command line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "main/settings.h"

namespace {

struct Expected {
  vorn::Settings settings;
  vorn::Request request = vorn::Request::kSubstitute;
};

// The bytes at 1-based positions first..last, as many as there are.
std::string Cut(const std::string& text, std::size_t first, std::size_t last) {
  std::string out;
  for (std::size_t position = first; position <= last && position <= text.size(); ++position) {
    out += text[position - 1];
  }
  return out;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.size() >= 2 && text[0] == prefix[0] && text[1] == prefix[1];
}

Expected Read(const std::vector<std::string>& arguments) {
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
    } else if (a == "-w") {
      e.settings.ShowTable = true;
    } else if (StartsWith(a, "-a")) {
      e.settings.ReplacementChar = Cut(a, 3, 3);
    } else if (StartsWith(a, "-e")) {
      e.settings.ReplacementChar = Cut(a, 3, 4);
    } else if (StartsWith(a, "-k")) {
      e.settings.SourceChar = Cut(a, 3, 3);
    } else if (StartsWith(a, "-s")) {
      e.settings.SourceChar = Cut(a, 3, 4);
    }
  }
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back() += static_cast<char>(data[i]);
    }
  }
  if (size == 0) arguments.clear();

  vorn::Settings settings;
  vorn::Request request = vorn::ReadArguments(arguments, &settings);
  Expected expected = Read(arguments);
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
