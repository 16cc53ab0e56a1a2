#include "tools/vorn_table/convert.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/cp932.h"
#include "platform/env.h"
#include "substitute/ms932_code.h"
#include "substitute/output_file.h"
#include "substitute/substitute_list.h"
#include "tools/vorn_table/status.h"
#include "tools/vorn_table/terminal.h"

namespace vorn {
namespace {

bool IsControlByte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

bool ReadStandardInput(std::string* text) {
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) text->append(chunk, got);
  return std::ferror(stdin) == 0;
}

// Reads the whole of the file `name`, which need not be seekable.
bool ReadFile(Env& env, const std::string& name, std::string* text, IoError* error) {
  std::unique_ptr<SequentialFile> file;
  if (!OpenSequentialFile(env, name, &file, error)) return false;
  std::uint8_t chunk[65536];
  std::size_t got = 0;
  do {
    if (!file->Read(chunk, sizeof chunk, &got, error)) return false;
    text->append(reinterpret_cast<const char*>(chunk), got);
  } while (got > 0);
  return file->Close(error);
}

}  // namespace

Conversion ConvertText(std::string_view cp932, const std::map<std::uint32_t, ValueBytes>& values) {
  Conversion conversion;
  conversion.text.reserve(cp932.size());
  for (std::size_t i = 0; i < cp932.size();) {
    auto byte = static_cast<unsigned char>(cp932[i]);
    std::size_t length = IsLeadByte(byte) ? 2 : 1;
    std::uint32_t code = MS932Code(cp932.substr(i, length));
    auto found = values.find(code);
    if (found == values.end() && length == 1 && IsControlByte(byte)) {
      conversion.text += static_cast<char>(byte);
    } else if (found == values.end() || IsUnmapped(found->second)) {
      conversion.text += '?';
      ++conversion.unmapped[code];
      ++conversion.unmapped_count;
    } else {
      const ValueBytes& value = found->second;
      conversion.text += static_cast<char>(value[0]);
      if (value[0] == 0 || value[1] != 0) conversion.text += static_cast<char>(value[1]);
    }
    i += length;
  }
  return conversion;
}

std::string UnmappedReport(const Conversion& conversion, CharacterDisplay& display) {
  std::vector<std::pair<std::uint32_t, std::size_t>> counts(conversion.unmapped.begin(),
                                                            conversion.unmapped.end());
  // The map is by code, so equal counts stay in code order.
  std::stable_sort(counts.begin(), counts.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  std::string report = "vorn-table: " + std::to_string(conversion.unmapped_count) +
                       (conversion.unmapped_count == 1 ? " character" : " characters") +
                       " unmapped, written as \"?\":\n";
  for (const auto& [code, count] : counts) {
    report +=
        "  " + CodeText(code) + " " + display.OfCode(code) + ": " + std::to_string(count) + "\n";
  }
  return report;
}

int ConvertFile(const std::map<std::uint32_t, ValueBytes>& values, const std::string& input,
                const std::string& output) {
  Env& env = *Env::Default();
  IoError error;
  std::string text;
  if (input == "-") {
    if (!ReadStandardInput(&text)) return Fail("standard input", "read failed");
  } else if (!ReadFile(env, input, &text, &error)) {
    return Fail(input, error.message);
  }
  Conversion conversion = ConvertText(text, values);

  // The empty name is standard output to the Env.
  std::string output_name = output == "-" ? "" : output;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(conversion.text.data());
  if (!WriteOutputFile(env, output_name, bytes, conversion.text.size(), &error)) {
    return Fail(output_name.empty() ? "standard output" : output, error.message);
  }
  if (conversion.unmapped_count == 0) return kExitSame;
  CharacterDisplay display;
  WriteText(stderr, UnmappedReport(conversion, display));
  return kExitDifferent;
}

}  // namespace vorn
