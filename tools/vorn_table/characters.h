// The characters of code page 932 and of EUC-JP as vorn-table knows them.
//
// The tables are generated from glibc's iconv and Unicode's normalisation
// data by tools/make_character_tables.py (character_tables.cc), so that
// vorn-table converts nothing at run time and makes the same bytes on
// every platform.
#ifndef VORN_TOOLS_VORN_TABLE_CHARACTERS_H_
#define VORN_TOOLS_VORN_TABLE_CHARACTERS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

// A code that code page 932 defines, with what the tables know of it.
// Value bytes are kept as one number, the first byte high; 0 is none.
struct CodePageCharacter {
  std::uint16_t code;       // its MS932 code
  std::uint16_t unicode;    // the character (code page 932 has none outside the BMP)
  std::uint16_t euc_jp;     // value bytes in the standard table
  std::uint16_t euc_jp_ms;  // value bytes in the table made with Microsoft's EUC-JP
  // The character's NFKC form when that is one other character, an ASCII
  // one taken as its full-width form (① gives １); 0 when there is none.
  std::uint16_t nfkc;
};

// The code a character is written as in code page 932: of the codes that
// stand for the same character, the one a converter chooses.
struct Encoding {
  std::uint16_t unicode;
  std::uint16_t code;
};

// A two-byte EUC-JP code (EUC-JP, or else Microsoft's EUC-JP) and its
// character.
struct EucCharacter {
  std::uint16_t value;
  std::uint16_t unicode;
};

// Each by ascending first field.
extern const CodePageCharacter kCodePage932[];
extern const std::size_t kCodePage932Size;
extern const Encoding kEncodings[];
extern const std::size_t kEncodingsSize;
extern const EucCharacter kEucCharacters[];
extern const std::size_t kEucCharactersSize;

// The entry of `code`, or nullptr where code page 932 defines no character.
const CodePageCharacter* FindCodePageCharacter(std::uint32_t code);

// The code page 932 code of a Unicode character; false where it has none.
bool EncodeCodePage932(std::uint32_t unicode, std::uint32_t* code);

// The character of two-byte EUC-JP value bytes (first byte high); false
// where they stand for none.
bool DecodeEuc(std::uint32_t value, std::uint32_t* unicode);

// The UTF-8 bytes of a Unicode scalar value.
std::string Utf8Of(std::uint32_t scalar);

// The length of the well-formed UTF-8 sequence `text` begins with (no
// overlong forms, surrogates or values above U+10FFFF), its value going to
// `scalar`; 0 where `text` begins with none.
std::size_t DecodeUtf8(std::string_view text, std::uint32_t* scalar);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_CHARACTERS_H_
