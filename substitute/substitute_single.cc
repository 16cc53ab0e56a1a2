#include "substitute/substitute_single.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "substitute/ms932_code.h"
#include "substitute/output_file.h"

namespace vorn {

std::string CodeLine(std::uint32_t source, std::uint32_t replacement) {
  char line[64];
  (void)std::snprintf(line, sizeof line, "%04X \x81\xCB %04X", static_cast<unsigned>(source),
                      static_cast<unsigned>(replacement));
  return line;
}

void SingleRewritePass(ByteBuffer& table, std::uint32_t source, std::uint32_t replacement,
                       const SparseEUC& store) {
  const std::uint8_t value[2] = {store.GetByte(replacement, 0), store.GetByte(replacement, 1)};
  WalkRecords(table.data(), table.size(), [&](std::uint32_t key, std::uint8_t* record) {
    if (key == source) std::memcpy(record + 2, value, 2);
  });
}

Outcome SubstituteSingle(Env& env, const TablePaths& paths, const std::string& source_text,
                         const std::string& replacement_text, const std::string& output_name,
                         bool show_table, IoError* error) {
  auto store = std::make_unique<SparseEUC>();
  TableFile table;
  Outcome outcome = store->Populate(env, paths, show_table, &table, error);
  if (outcome != Outcome::kDone) return outcome;

  const std::uint32_t source = MS932Code(source_text);
  const std::uint32_t replacement = MS932Code(replacement_text);
  // Printed before the second read, so it shows even when a later step fails.
  env.WriteLine(CodeLine(source, replacement), LineKind::kAssembled);

  outcome = ReadTableFile(env, paths, &table, error);
  if (outcome != Outcome::kDone) return outcome;
  SingleRewritePass(table.bytes, source, replacement, *store);
  return WriteTable(env, output_name, table.bytes, error) ? Outcome::kDone : Outcome::kFailed;
}

}  // namespace vorn
