#include "substitute/substitute_single.h"

#include <cstdio>
#include <memory>

#include "substitute/ms932_code.h"

namespace vorn {

std::string CodeLine(std::uint32_t source, std::uint32_t replacement) {
  char line[64];
  (void)std::snprintf(line, sizeof line, "%04X \x81\xCB %04X", static_cast<unsigned>(source),
                      static_cast<unsigned>(replacement));
  return line;
}

void SubstituteRecords(ByteBuffer& table, std::uint32_t source, std::uint32_t replacement,
                       const SparseEUC& store) {
  const std::uint8_t first = store.GetByte(replacement, 0);
  const std::uint8_t second = store.GetByte(replacement, 1);
  WalkRecords(table.data(), table.size(), [&](std::uint32_t key, std::uint8_t* record) {
    if (key != source) return;
    record[2] = first;
    record[3] = second;
  });
}

RunResult SubstituteSingle(Env& env, const std::string& source_text,
                           const std::string& replacement_text, const std::string& output_name,
                           bool show_table, IoError* error) {
  auto store = std::make_unique<SparseEUC>();
  TableRead read = store->Populate(env, show_table, error);
  if (read != TableRead::kRead) return ResultOf(read);

  const std::uint32_t source = MS932Code(source_text);
  const std::uint32_t replacement = MS932Code(replacement_text);
  // Printed before the second read, so it shows even when a later step fails.
  env.WriteLine(CodeLine(source, replacement), LineKind::kAssembled);

  return WriteCustomTable(
      env, output_name,
      [&](ByteBuffer& table) { SubstituteRecords(table, source, replacement, *store); }, error);
}

}  // namespace vorn
