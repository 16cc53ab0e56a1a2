// vorn-table convert: CP932 text to EUC-JP with a table, as a program that
// uses the table converts it, so that a user sees on their own documents
// what the table still leaves unmapped.
#ifndef VORN_TOOLS_VORN_TABLE_CONVERT_H_
#define VORN_TOOLS_VORN_TABLE_CONVERT_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/vorn_table/display.h"
#include "tools/vorn_table/table_records.h"

namespace vorn {

struct Conversion {
  std::string text;
  // How often each code without a mapping occurred; each became "?".
  std::map<std::uint32_t, std::size_t> unmapped;
  std::size_t unmapped_count = 0;
};

// Converts each character of `cp932` (a lead byte and the byte after it,
// or one byte) to its record's value bytes, without a second value byte
// of 0x00 after a non-zero first one (A -> 41, ｱ -> 8E B1).  A character
// whose record is missing or 00 00 becomes "?", except the control bytes
// 00-1F and 7F, which pass through unchanged when the table has no record
// for them, so that line ends survive.
Conversion ConvertText(std::string_view cp932, const std::map<std::uint32_t, ValueBytes>& values);

// The unmapped characters of a conversion, most frequent first (then by
// code), as "vorn-table: N characters unmapped, ..." and a line per code.
std::string UnmappedReport(const Conversion& conversion, CharacterDisplay& display);

// vorn-table convert: reads `input` ("-": standard input), writes the
// converted text to `output` ("-": standard output) and reports what was
// unmapped on standard error.  Returns the exit status.
int ConvertFile(const std::map<std::uint32_t, ValueBytes>& values, const std::string& input,
                const std::string& output);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_CONVERT_H_
