#include "tools/vorn_table/character_argument.h"

#include "platform/cp932.h"
#include "substitute/ms932_code.h"
#include "tools/vorn_table/characters.h"

namespace vorn {
namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The value of `digits` when it is 1 to `max_digits` hex digits.
bool ParseHex(std::string_view digits, std::size_t max_digits, std::uint32_t* value) {
  if (digits.empty() || digits.size() > max_digits) return false;
  std::uint32_t result = 0;
  for (char c : digits) {
    if (!IsHexDigit(c)) return false;
    int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    result = result * 16 + static_cast<std::uint32_t>(digit);
  }
  *value = result;
  return true;
}

// The code of `cp932` when it holds exactly one complete character.
bool CodeOfOneCharacter(std::string_view cp932, std::uint32_t* code) {
  if (cp932.empty()) return false;
  std::size_t length = IsLeadByte(static_cast<unsigned char>(cp932[0])) ? 2 : 1;
  if (cp932.size() != length) return false;
  *code = MS932Code(cp932);
  return true;
}

}  // namespace

bool ParseCharacter(std::string_view text, const ToCP932& to_cp932, std::uint32_t* code,
                    std::string* why) {
  std::string_view prefix = text.substr(0, 2);
  if (prefix == "U+" || prefix == "u+") {
    std::uint32_t scalar = 0;
    if (!ParseHex(text.substr(2), 6, &scalar) || scalar > 0x10FFFF ||
        (scalar >= 0xD800 && scalar <= 0xDFFF)) {
      *why = "not a Unicode character";
      return false;
    }
    if (!EncodeCodePage932(scalar, code)) {
      *why = "no such character in code page 932";
      return false;
    }
    return true;
  }
  if (prefix == "0x" || prefix == "0X") {
    if (!ParseHex(text.substr(2), 4, code)) {
      *why = "a code has 1 to 4 hex digits after 0x";
      return false;
    }
    return true;
  }
  if (text.size() >= 2 && ParseHex(text, 4, code)) return true;
  if (!CodeOfOneCharacter(to_cp932(text), code)) {
    *why = "not one character of code page 932, a code (8740, 0x8740) or U+XXXX";
    return false;
  }
  return true;
}

}  // namespace vorn
