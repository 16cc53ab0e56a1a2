#include "tools/vorn_table/characters.h"

#include <algorithm>

namespace vorn {
namespace {

// The entry of `table` whose first field is `key`, or nullptr.
template <typename Entry, typename Key>
const Entry* Find(const Entry* table, std::size_t size, std::uint32_t key, Key key_of) {
  const Entry* end = table + size;
  const Entry* found = std::lower_bound(
      table, end, key, [&](const Entry& entry, std::uint32_t k) { return key_of(entry) < k; });
  return found != end && key_of(*found) == key ? found : nullptr;
}

}  // namespace

const CodePageCharacter* FindCodePageCharacter(std::uint32_t code) {
  return Find(kCodePage932, kCodePage932Size, code,
              [](const CodePageCharacter& entry) { return entry.code; });
}

bool EncodeCodePage932(std::uint32_t unicode, std::uint32_t* code) {
  const Encoding* found = Find(kEncodings, kEncodingsSize, unicode,
                               [](const Encoding& entry) { return entry.unicode; });
  if (found == nullptr) return false;
  *code = found->code;
  return true;
}

bool DecodeEuc(std::uint32_t value, std::uint32_t* unicode) {
  const EucCharacter* found = Find(kEucCharacters, kEucCharactersSize, value,
                                   [](const EucCharacter& entry) { return entry.value; });
  if (found == nullptr) return false;
  *unicode = found->unicode;
  return true;
}

std::string Utf8Of(std::uint32_t scalar) {
  std::string out;
  if (scalar < 0x80) {
    out += static_cast<char>(scalar);
  } else if (scalar < 0x800) {
    out += static_cast<char>(0xC0 | scalar >> 6);
    out += static_cast<char>(0x80 | (scalar & 0x3F));
  } else if (scalar < 0x10000) {
    out += static_cast<char>(0xE0 | scalar >> 12);
    out += static_cast<char>(0x80 | (scalar >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (scalar & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | scalar >> 18);
    out += static_cast<char>(0x80 | (scalar >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (scalar >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (scalar & 0x3F));
  }
  return out;
}

std::size_t DecodeUtf8(std::string_view text, std::uint32_t* scalar) {
  if (text.empty()) return 0;
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = at(0);
  std::size_t length = lead < 0x80                    ? 1
                       : lead >= 0xC2 && lead <= 0xDF ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || length > text.size()) return 0;
  std::uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((at(k) & 0xC0) != 0x80) return 0;
    value = value << 6 | (at(k) & 0x3F);
  }
  if ((lead == 0xE0 && at(1) < 0xA0) || (lead == 0xED && at(1) >= 0xA0) ||
      (lead == 0xF0 && at(1) < 0x90) || (lead == 0xF4 && at(1) >= 0x90)) {
    return 0;
  }
  *scalar = value;
  return length;
}

}  // namespace vorn
