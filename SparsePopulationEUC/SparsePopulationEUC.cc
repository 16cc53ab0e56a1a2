#include "SparsePopulationEUC/SparsePopulationEUC.h"

namespace vorn {

TableRead ReadTableFile(Env& env, TableFile* table, IoError* error) {
  for (const std::string& path : TablePaths().entries) {
    if (!env.FileExists(path)) continue;
    table->path = path;
    return env.ReadWholeFile(path, &table->bytes, error) ? TableRead::kRead : TableRead::kFailed;
  }
  return TableRead::kMissing;
}

void SparseEUC::Load(const ByteBuffer& table) {
  WalkRecords(table.data(), table.size(), [this](std::uint32_t key, const std::uint8_t* record) {
    SetByte(key, 0, record[2]);
    SetByte(key, 1, record[3]);
  });
}

TableRead SparseEUC::Populate(Env& env, bool show_table, IoError* error) {
  std::string used;
  {
    TableFile table;
    TableRead read = ReadTableFile(env, &table, error);
    if (read != TableRead::kRead) return read;
    Load(table.bytes);
    used = table.path;
  }  // The buffer is freed before the line is printed.
  if (show_table) env.WriteLine(used + " is primarily accessible to vorn.", LineKind::kAssembled);
  return TableRead::kRead;
}

}  // namespace vorn
