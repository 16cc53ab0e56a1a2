// How vorn-table shows characters: from the character tables, in the
// charset of the user's terminal (code page 932 bytes as they are in a
// CP932 locale, as vorn itself does).
#ifndef VORN_TOOLS_VORN_TABLE_DISPLAY_H_
#define VORN_TOOLS_VORN_TABLE_DISPLAY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tools/vorn_table/table_records.h"
#include "tools/vorn_table/terminal.h"

namespace vorn {

class CharacterDisplay {
 public:
  explicit CharacterDisplay(std::unique_ptr<TerminalCharset> terminal = UserTerminalCharset());

  // The character of an MS932 code; "?" for a control character, a code
  // that names no character, or one the terminal cannot show.
  std::string OfCode(std::uint32_t code);

  // The EUC-JP character of a table's value bytes (one byte when the
  // second is 0x00); "?" where the bytes stand for no character.
  std::string OfValue(const ValueBytes& value);

  // UTF-8 text (a help text) as the terminal shows it: each character that
  // is not ASCII as OfValue shows a character; bytes that are not UTF-8
  // stay as they are.
  std::string OfText(std::string_view utf8);

 private:
  // `unicode` as the terminal shows it; `cp932` is what a CP932 terminal
  // gets, "?" when empty.
  std::string Show(std::uint32_t unicode, const std::string& cp932);

  // `unicode` as the terminal shows it; a CP932 terminal gets the code a
  // converter writes it as.
  std::string ShowEncoded(std::uint32_t unicode);

  std::unique_ptr<TerminalCharset> terminal_;
};

// "8740": upper-case hex with at least four digits, as vorn prints codes.
std::string CodeText(std::uint32_t code);

// "AD A1": the value bytes in hex.
std::string ValueText(const ValueBytes& value);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_DISPLAY_H_
