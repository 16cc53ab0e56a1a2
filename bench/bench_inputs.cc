#include "bench/bench_inputs.h"

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "substitute/substitute_list.h"

namespace vorn::bench {
namespace {

void AddRecord(std::vector<std::uint8_t>* table, std::uint8_t key0, std::uint8_t key1) {
  table->insert(table->end(), {key0, key1, static_cast<std::uint8_t>(key0 ^ 0x80),
                               static_cast<std::uint8_t>(key1 ^ 0x80)});
}

void AddSingleByteRecords(std::vector<std::uint8_t>* table) {
  for (int byte = 0; byte <= 0xFF; ++byte) {
    if ((byte >= 0x20 && byte <= 0x7E) || (byte >= 0xA1 && byte <= 0xDF)) {
      AddRecord(table, static_cast<std::uint8_t>(byte), 0);
    }
  }
}

void AddAllCodes(std::vector<std::uint8_t>* table) {
  for (int code = 0; code <= 0xFFFF; ++code) {
    AddRecord(table, static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code));
  }
}

}  // namespace

std::vector<std::uint8_t> FullTable() {
  std::vector<std::uint8_t> table;
  table.reserve((SingleByteRecords + 0x10000) * kRecordSize);
  AddSingleByteRecords(&table);
  AddAllCodes(&table);
  return table;
}

std::vector<std::uint8_t> LargeTable(std::size_t size) {
  std::vector<std::uint8_t> table;
  table.reserve(size + 0x10000 * kRecordSize);
  AddSingleByteRecords(&table);
  while (table.size() < size) AddAllCodes(&table);
  table.resize(size);
  return table;
}

std::string SubstitutionList() {
  std::string list;
  std::size_t lines = 0;
  for (int lead = 0x88; lead <= 0x9F && lines < MaxSubstitutes; ++lead) {
    for (int trail = lead == 0x88 ? 0x9F : 0x40; trail <= 0xFC && lines < MaxSubstitutes; ++trail) {
      if (trail == 0x7F) continue;
      list += static_cast<char>(lead);
      list += static_cast<char>(trail);
      list += '\x82';
      list += static_cast<char>(0x4F + lines % 10);  // 0 to 9
      list += "\r\n";
      ++lines;
    }
  }
  return list;
}

}  // namespace vorn::bench
