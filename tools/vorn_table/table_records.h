// A conversion table as vorn-table reads it: its records in file order,
// and the value bytes vorn sees for each code.
#ifndef VORN_TOOLS_VORN_TABLE_TABLE_RECORDS_H_
#define VORN_TOOLS_VORN_TABLE_TABLE_RECORDS_H_

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"

namespace vorn {

using ValueBytes = std::array<std::uint8_t, 2>;

struct Record {
  std::uint32_t code;
  ValueBytes value;
};

// The records of table bytes, in file order, keyed as vorn keys them.
std::vector<Record> RecordsOf(const ByteBuffer& table);

// The value bytes vorn's store gives each code a record names: of several
// records with the same key, the last one.
std::map<std::uint32_t, ValueBytes> ValuesByCode(const std::vector<Record>& records);

// True for the value bytes of a character the table leaves unmapped.
inline bool IsUnmapped(const ValueBytes& value) { return value[0] == 0 && value[1] == 0; }

// A code whose value bytes differ between two tables, or that only one of
// them names (the other side is then empty).
struct Difference {
  std::uint32_t code;
  std::optional<ValueBytes> a;
  std::optional<ValueBytes> b;
};

// Every difference between the tables as vorn sees them, by ascending code.
std::vector<Difference> Differences(const std::vector<Record>& a, const std::vector<Record>& b);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_TABLE_RECORDS_H_
