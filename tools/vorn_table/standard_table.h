// The standard conversion table vorn customises.
#ifndef VORN_TOOLS_VORN_TABLE_STANDARD_TABLE_H_
#define VORN_TOOLS_VORN_TABLE_STANDARD_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn {

// Which EUC-JP the table gives: JIS X 0208 as EUC-JP has it, or
// Microsoft's EUC-JP, which also has NEC's special characters and the
// user-defined area.
enum class EucVariant { kEucJp, kEucJpMs };

struct TableCounts {
  std::size_t records = 0;
  std::size_t mapped = 0;
};

// Makes the table: first the 158 one-byte characters (0x20-0x7E, then
// 0xA1-0xDF), each keyed by its byte and 0x00, with its EUC-JP bytes
// left-aligned and padded with 0x00; then every two-byte code that code
// page 932 defines, in ascending order, with its two-byte EUC-JP code, or
// 00 00 where the variant has none or only a three-byte one.
std::vector<std::uint8_t> BuildStandardTable(EucVariant variant, TableCounts* counts);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_STANDARD_TABLE_H_
