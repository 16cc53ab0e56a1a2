#include "SparsePopulationEUC/SparsePopulationEUC.h"

#include <cstring>

namespace vorn {

TableRead ReadTableFile(Env& env, TableFile* table, IoError* error) {
  for (const std::string& path : TablePaths().entries) {
    FileKind kind = FileKind::kMissing;
    std::string file;
    table->path = path;
    if (!env.Examine(path, &kind, &file, error)) return TableRead::kFailed;
    if (kind != FileKind::kFile) continue;
    return env.ReadWholeFile(path, &table->bytes, error) ? TableRead::kRead : TableRead::kFailed;
  }
  return TableRead::kMissing;
}

void SparseEUC::Load(const ByteBuffer& table) {
  std::uint8_t* cells = cells_.data();
  // Both value bytes of a record at once: for a large table this loop is
  // most of what loading costs.
  WalkRecords(table.data(), table.size(), [cells](std::uint32_t key, const std::uint8_t* record) {
    std::memcpy(cells + std::size_t{key} * 2, record + 2, 2);
  });
}

TableRead SparseEUC::Populate(Env& env, bool show_table, TableFile* table, IoError* error) {
  TableRead read = ReadTableFile(env, table, error);
  if (read != TableRead::kRead) return read;
  Load(table->bytes);
  if (show_table) {
    env.WriteLine(table->path + " is primarily accessible to vorn.", LineKind::kAssembled);
  }
  return TableRead::kRead;
}

}  // namespace vorn
