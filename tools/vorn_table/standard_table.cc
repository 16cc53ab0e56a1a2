#include "tools/vorn_table/standard_table.h"

#include "tools/vorn_table/characters.h"

namespace vorn {
namespace {

bool IsOneByteCharacter(std::uint32_t code) {
  return (code >= 0x20 && code <= 0x7E) || (code >= 0xA1 && code <= 0xDF);
}

}  // namespace

std::vector<std::uint8_t> BuildStandardTable(EucVariant variant, TableCounts* counts) {
  std::vector<std::uint8_t> table;
  // The one-byte characters come first, keyed by their byte and 0x00;
  // code order puts 0x20-0x7E before 0xA1-0xDF and both before every
  // two-byte code.
  for (std::size_t i = 0; i < kCodePage932Size; ++i) {
    const CodePageCharacter& character = kCodePage932[i];
    if (character.code <= 0xFF && !IsOneByteCharacter(character.code)) continue;
    std::uint16_t value = variant == EucVariant::kEucJp ? character.euc_jp : character.euc_jp_ms;
    const bool one_byte = character.code <= 0xFF;
    table.insert(table.end(),
                 {static_cast<std::uint8_t>(one_byte ? character.code : character.code >> 8),
                  static_cast<std::uint8_t>(one_byte ? 0 : character.code & 0xFF),
                  static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)});
    ++counts->records;
    if (value != 0) ++counts->mapped;
  }
  return table;
}

}  // namespace vorn
