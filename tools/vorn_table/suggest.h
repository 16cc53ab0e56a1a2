// vorn-table suggest: a list file for `vorn -f` that gives the codes a
// table leaves unmapped the bytes of the same character elsewhere in it.
#ifndef VORN_TOOLS_VORN_TABLE_SUGGEST_H_
#define VORN_TOOLS_VORN_TABLE_SUGGEST_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/vorn_table/table_records.h"

namespace vorn {

// One line of a list: the code to replace, and the code whose value bytes
// it takes.
struct SuggestedLine {
  std::uint32_t source;
  std::uint32_t replacement;
};

struct Suggestions {
  std::vector<SuggestedLine> lines;  // by ascending source
  std::size_t suggested = 0;         // lines whose replacement is the same character
  std::size_t filled = 0;            // lines that take the fill character
  std::size_t left = 0;              // unmapped codes without a line
  bool fills = false;                // a fill character was given
};

// Looks at every two-byte code the table leaves unmapped (00 00) outside
// the user-defined area F040-F9FC, and finds a replacement: a two-byte code
// the table maps that stands for the same character, the character itself
// at another code (code page 932 has NEC's and IBM's codes for some) or
// else its NFKC form (① -> １, the IBM 塚 -> 塚); the lowest such code.
// Where there is none, `fill` is the replacement (0: no fill).
Suggestions FindSuggestions(const std::map<std::uint32_t, ValueBytes>& values, std::uint32_t fill);

// True when `code` can fill: a two-byte character the table maps; else
// `why` says what it is instead.
bool CanFill(const std::map<std::uint32_t, ValueBytes>& values, std::uint32_t code,
             std::string* why);

// The lines a UTF-8 list can hold.  UTF-8 names a character, not a code,
// and vorn turns it back into one code of the character: a line whose
// source or replacement would come back as another code (IBM's Ⅰ FA4A
// comes back as NEC's 8754) is left out.
std::vector<SuggestedLine> Utf8Lines(const std::vector<SuggestedLine>& lines);

// The list file: each line the source's and the replacement's two code
// page 932 bytes, ended by CR LF; or, with `utf8`, a byte-order mark and
// each line in UTF-8 (for lines Utf8Lines() keeps).
std::string ListText(const std::vector<SuggestedLine>& lines, bool utf8);

// Writes the list (at most the lines vorn reads) to standard output and
// what it did to standard error.
void WriteSuggestions(const Suggestions& suggestions, bool utf8);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_SUGGEST_H_
