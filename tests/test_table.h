// Small conversion tables for unit tests, and where they are looked for.
#ifndef VORN_TESTS_TEST_TABLE_H_
#define VORN_TESTS_TEST_TABLE_H_

#include <cstdint>
#include <string>

#include "SparsePopulationEUC/SparsePopulationEUC.h"

namespace vorn {

// The places the unit tests' tables are looked for.
inline const TablePaths kTestPaths = {"installed/MS932~EUC-JP.bin", kTableName};

inline std::string Record(std::uint8_t key0, std::uint8_t key1, std::uint8_t value0,
                          std::uint8_t value1) {
  return std::string{static_cast<char>(key0), static_cast<char>(key1), static_cast<char>(value0),
                     static_cast<char>(value1)};
}

// The one-byte-keyed part of a table: record r (0-based) is keyed r with
// the value bytes 'a' + r % 26 and '0' + r % 10.
inline std::string SingleByteRecordsPart() {
  std::string table;
  for (std::size_t r = 0; r < SingleByteRecords; ++r) {
    table += Record(static_cast<std::uint8_t>(r), 0, static_cast<std::uint8_t>('a' + r % 26),
                    static_cast<std::uint8_t>('0' + r % 10));
  }
  return table;
}

// Four bytes of `table` from record `index` (0-based).
inline std::string RecordAt(const std::string& table, std::size_t index) {
  return table.substr(index * kRecordSize, kRecordSize);
}

}  // namespace vorn

#endif  // VORN_TESTS_TEST_TABLE_H_
