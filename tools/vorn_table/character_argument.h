// The CHAR arguments of vorn-table: which MS932 code a user means.
#ifndef VORN_TOOLS_VORN_TABLE_CHARACTER_ARGUMENT_H_
#define VORN_TOOLS_VORN_TABLE_CHARACTER_ARGUMENT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vorn {

// Turns text in the user's charset into code page 932 bytes, keeping the
// bytes as given where they do not convert.
using ToCP932 = std::function<std::string(std::string_view)>;

// Reads one CHAR argument into its MS932 code:
//   U+2460          a Unicode character (1 to 6 hex digits)
//   0x8740, 0x41    a code (1 to 4 hex digits after 0x)
//   8740, 41        a code (2 to 4 hex digits alone)
//   ①, A            one character, typed in the user's charset
// A single hex digit is a character, not a code.  On failure `why` says
// what is wrong with the argument.
bool ParseCharacter(std::string_view text, const ToCP932& to_cp932, std::uint32_t* code,
                    std::string* why);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_CHARACTER_ARGUMENT_H_
