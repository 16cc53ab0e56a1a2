#include "tools/vorn_table/display.h"

#include <cstdio>

namespace vorn {
namespace {

const char* ShownCharset() {
  return KeepsCP932Bytes(LocaleCharset()) ? "CP932" : LocaleCharset().c_str();
}

}  // namespace

CharacterDisplay::CharacterDisplay()
    : from_cp932_(ShownCharset(), "CP932"),
      from_euc_(ShownCharset(), "EUC-JP"),
      from_euc_ms_(ShownCharset(), "EUC-JP-MS") {}

bool CharacterDisplay::Show(std::string_view bytes, Iconv& converter, std::string* shown) {
  for (char c : bytes) {
    // Control characters would act on the terminal instead of showing.
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return converter.ConvertAll(bytes, shown) && !shown->empty();
}

std::string CharacterDisplay::OfCode(std::uint32_t code) {
  std::string bytes;
  if (code > 0xFF) bytes += static_cast<char>(code >> 8);
  bytes += static_cast<char>(code & 0xFF);
  std::string shown;
  return Show(bytes, from_cp932_, &shown) ? shown : "?";
}

std::string CharacterDisplay::OfValue(const ValueBytes& value) {
  std::string bytes(1, static_cast<char>(value[0]));
  if (value[1] != 0) bytes += static_cast<char>(value[1]);
  std::string shown;
  if (Show(bytes, from_euc_, &shown) || Show(bytes, from_euc_ms_, &shown)) return shown;
  return "?";
}

std::string CodeText(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(code));
  return text;
}

std::string ValueText(const ValueBytes& value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X %02X", value[0], value[1]);
  return text;
}

}  // namespace vorn
