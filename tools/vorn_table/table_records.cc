#include "tools/vorn_table/table_records.h"

#include "SparsePopulationEUC/SparsePopulationEUC.h"

namespace vorn {

std::vector<Record> RecordsOf(const ByteBuffer& table) {
  std::vector<Record> records;
  records.reserve(RecordBytes(table.size()) / kRecordSize);
  WalkRecords(table.data(), table.size(), [&](std::uint32_t key, const std::uint8_t* record) {
    records.push_back(Record{key, {record[2], record[3]}});
  });
  return records;
}

std::map<std::uint32_t, ValueBytes> ValuesByCode(const std::vector<Record>& records) {
  std::map<std::uint32_t, ValueBytes> values;
  for (const Record& record : records) values[record.code] = record.value;
  return values;
}

std::vector<Difference> Differences(const std::vector<Record>& a, const std::vector<Record>& b) {
  std::map<std::uint32_t, ValueBytes> in_a = ValuesByCode(a);
  std::map<std::uint32_t, ValueBytes> in_b = ValuesByCode(b);
  std::vector<Difference> differences;
  auto next_a = in_a.begin();
  auto next_b = in_b.begin();
  while (next_a != in_a.end() || next_b != in_b.end()) {
    if (next_b == in_b.end() || (next_a != in_a.end() && next_a->first < next_b->first)) {
      differences.push_back(Difference{next_a->first, next_a->second, std::nullopt});
      ++next_a;
    } else if (next_a == in_a.end() || next_b->first < next_a->first) {
      differences.push_back(Difference{next_b->first, std::nullopt, next_b->second});
      ++next_b;
    } else {
      if (next_a->second != next_b->second) {
        differences.push_back(Difference{next_a->first, next_a->second, next_b->second});
      }
      ++next_a;
      ++next_b;
    }
  }
  return differences;
}

}  // namespace vorn
