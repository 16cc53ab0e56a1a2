// The standard conversion table vorn customises, made with the system's
// iconv.
#ifndef VORN_TOOLS_VORN_TABLE_STANDARD_TABLE_H_
#define VORN_TOOLS_VORN_TABLE_STANDARD_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn {

struct TableCounts {
  std::size_t records = 0;
  std::size_t mapped = 0;
};

// Makes the table from code page 932 to `euc_charset` ("EUC-JP" or
// "EUC-JP-MS", as iconv names them): first the 158 one-byte characters
// (0x20-0x7E, then 0xA1-0xDF), each keyed by its byte and 0x00, with its
// EUC-JP bytes left-aligned and padded with 0x00; then every two-byte code
// that code page 932 defines, in ascending order, with its two-byte EUC-JP
// code, or 00 00 where the charset has none or only a three-byte one.
bool BuildStandardTable(const char* euc_charset, std::vector<std::uint8_t>* table,
                        TableCounts* counts, std::string* why);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_STANDARD_TABLE_H_
