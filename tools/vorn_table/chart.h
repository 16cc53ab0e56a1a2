// vorn-table chart: a conversion table drawn as a code chart, one HTML
// page that needs nothing but itself.
//
// The chart has a cell for every character code page 932 defines (its
// control characters aside) and for every code a record names; each cell
// shows the table's state for that code.  Everything here is plain bytes
// from the generated character data, so the page is the same on every
// platform.
#ifndef VORN_TOOLS_VORN_TABLE_CHART_H_
#define VORN_TOOLS_VORN_TABLE_CHART_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/vorn_table/table_records.h"

namespace vorn {

// What the table does with a code.
enum class CellState { kMapped, kUnmapped, kNoRecord };

struct ChartCell {
  std::uint32_t code;
  CellState state;
  // The value bytes vorn sees for the code; none without a record.
  std::optional<ValueBytes> value;
  // With a reference table: the code's value bytes differ from the
  // reference's (or only one of the tables names it), and `old_value` holds
  // the reference's.
  bool changed;
  std::optional<ValueBytes> old_value;
};

// The cells of the one-byte codes, of one lead byte (81-9F, E0-FC, trail
// bytes 40-FF), or of the records whose codes fit in neither.
struct ChartBlock {
  enum class Kind { kOneByte, kLeadByte, kOther };
  Kind kind;
  std::uint32_t lead;            // kLeadByte only
  std::vector<ChartCell> cells;  // by ascending code
};

// Codes, not records: a code several records name counts once, as vorn
// sees it.  `changed` counts the codes `Differences` reports.
struct ChartCounts {
  std::size_t mapped = 0;
  std::size_t unmapped = 0;
  std::size_t no_record = 0;
  std::size_t changed = 0;
};

struct Chart {
  std::vector<ChartBlock> blocks;  // one-byte, lead bytes ascending, other
  ChartCounts counts;
};

// The chart of a table's records; with `reference`, the codes whose value
// bytes differ from it are marked changed.
Chart ChartOf(const std::vector<Record>& records, const std::vector<Record>* reference);

// The HTML page of `chart`, titled with the table's file name; with a
// reference table, its file name is given too.
std::string ChartPage(const Chart& chart, const std::string& table_name,
                      const std::string* reference_name);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_CHART_H_
