// How vorn-table shows characters: in the user's charset, or as code page
// 932 bytes in a byte locale or a CP932 one, as vorn itself does.
#ifndef VORN_TOOLS_VORN_TABLE_DISPLAY_H_
#define VORN_TOOLS_VORN_TABLE_DISPLAY_H_

#include <cstdint>
#include <memory>
#include <string>

#include "platform/text_posix.h"
#include "tools/vorn_table/table_records.h"

namespace vorn {

class CharacterDisplay {
 public:
  CharacterDisplay();

  // The character of an MS932 code; "?" for a control character or a
  // code that names no character.
  std::string OfCode(std::uint32_t code);

  // The EUC-JP character of a table's value bytes (one byte when the
  // second is 0x00); "?" where the bytes stand for no character.
  std::string OfValue(const ValueBytes& value);

 private:
  bool Show(std::string_view bytes, Iconv& converter, std::string* shown);

  Iconv from_cp932_;
  Iconv from_euc_;
  // For what EUC-JP-MS alone has: the NEC row 13 and the user area.
  Iconv from_euc_ms_;
};

// "8740": upper-case hex with at least four digits, as vorn prints codes.
std::string CodeText(std::uint32_t code);

// "AD A1": the value bytes in hex.
std::string ValueText(const ValueBytes& value);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_DISPLAY_H_
