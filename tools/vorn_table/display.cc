#include "tools/vorn_table/display.h"

#include <cstdio>
#include <utility>

#include "tools/vorn_table/characters.h"

namespace vorn {
namespace {

// Control characters would act on the terminal instead of showing.
bool IsControl(std::uint32_t unicode) {
  return unicode < 0x20 || (unicode >= 0x7F && unicode < 0xA0);
}

// The code page 932 bytes of a code.
std::string BytesOfCode(std::uint32_t code) {
  std::string bytes;
  if (code > 0xFF) bytes += static_cast<char>(code >> 8);
  bytes += static_cast<char>(code & 0xFF);
  return bytes;
}

}  // namespace

CharacterDisplay::CharacterDisplay(std::unique_ptr<TerminalCharset> terminal)
    : terminal_(std::move(terminal)) {}

std::string CharacterDisplay::Show(std::uint32_t unicode, const std::string& cp932) {
  if (IsControl(unicode)) return "?";
  switch (terminal_->kind()) {
    case TerminalKind::kUtf8:
      return Utf8Of(unicode);
    case TerminalKind::kCodePage932:
      return cp932.empty() ? "?" : cp932;
    case TerminalKind::kOther:
      break;
  }
  std::string shown;
  return terminal_->FromUtf8(Utf8Of(unicode), &shown) ? shown : "?";
}

std::string CharacterDisplay::OfCode(std::uint32_t code) {
  const CodePageCharacter* character = FindCodePageCharacter(code);
  if (character == nullptr) return "?";
  return Show(character->unicode, BytesOfCode(code));
}

std::string CharacterDisplay::OfValue(const ValueBytes& value) {
  std::uint32_t unicode = 0;
  if (value[1] == 0) {
    // One byte: EUC-JP's one-byte characters are ASCII.
    if (value[0] >= 0x80) return "?";
    unicode = value[0];
  } else if (!DecodeEuc(static_cast<std::uint32_t>(value[0] << 8 | value[1]), &unicode)) {
    return "?";
  }
  return ShowEncoded(unicode);
}

std::string CharacterDisplay::OfText(std::string_view utf8) {
  std::string shown;
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t unicode = 0;
    std::size_t length = DecodeUtf8(utf8.substr(i), &unicode);
    if (length <= 1) {
      shown += utf8[i++];
    } else {
      shown += ShowEncoded(unicode);
      i += length;
    }
  }
  return shown;
}

std::string CharacterDisplay::ShowEncoded(std::uint32_t unicode) {
  std::uint32_t code = 0;
  return Show(unicode, EncodeCodePage932(unicode, &code) ? BytesOfCode(code) : std::string());
}

std::string CodeText(std::uint32_t code) {
  char text[16];
  (void)std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(code));
  return text;
}

std::string ValueText(const ValueBytes& value) {
  char text[8];
  (void)std::snprintf(text, sizeof text, "%02X %02X", value[0], value[1]);
  return text;
}

}  // namespace vorn
