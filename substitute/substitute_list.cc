#include "substitute/substitute_list.h"

#include <memory>

#include "substitute/ms932_code.h"

namespace vorn {
namespace {

constexpr char kCtrlZ = '\x1A';
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

NormalSubstitute EntryOf(std::string_view line) {
  NormalSubstitute entry;
  entry.Pending = 1;
  if (line.size() == 4) {
    entry.Source = line.substr(0, 2);
    entry.Replacement = line.substr(2, 2);
  } else {
    entry.Source = line.substr(0, 1);
    entry.Replacement = line.size() > 1 ? line.substr(1, 1) : std::string_view();
  }
  return entry;
}

}  // namespace

Substitutes ReadSubstitutes(std::string_view list) {
  // A list saved as UTF-8 with its byte-order mark, as editors on every
  // system write it, is read as the code page 932 text it stands for.
  bool utf8 = list.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark;
  if (utf8) list.remove_prefix(kUtf8ByteOrderMark.size());
  list = list.substr(0, list.find(kCtrlZ));
  Substitutes substitutes;
  std::size_t start = 0;
  while (start < list.size() && substitutes.size() < MaxSubstitutes) {
    std::size_t end = list.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view line = list.substr(start, end - start);
    std::string converted;
    // A line that does not convert keeps its bytes.
    if (utf8 && Utf8ToCP932(line, &converted)) line = converted;
    substitutes.push_back(EntryOf(line));
    start = end;
    if (start == list.size()) break;
    // CR LF is one terminator; a lone CR or LF is one too.
    bool crlf = list[start] == '\r' && start + 1 < list.size() && list[start + 1] == '\n';
    start += crlf ? 2 : 1;
  }
  return substitutes;
}

void SubstituteRecords(ByteBuffer& table, Substitutes& substitutes, const SparseEUC& store) {
  // Each code keeps a queue of its pending entries in list order, so a
  // record finds the entry a search from the list's start would find
  // without searching.  Queue links are entry numbers plus one, so that
  // zero ends a queue and the heads start as a zero-filled buffer, whose
  // memory is only taken for the codes the list names.  Sources of no
  // complete character match no record.
  static_assert(MaxSubstitutes < 0xFFFF, "entry numbers must fit the queues");
  ByteBuffer heads(0x10000 * sizeof(std::uint16_t));
  auto* head = reinterpret_cast<std::uint16_t*>(heads.data());
  std::vector<std::uint16_t> next(substitutes.size(), 0);
  std::size_t queued = 0;
  for (std::size_t i = substitutes.size(); i-- > 0;) {
    std::uint32_t code = MS932Code(substitutes[i].Source);
    if (substitutes[i].Pending == 0 || code > 0xFFFF) continue;
    next[i] = head[code];
    head[code] = static_cast<std::uint16_t>(i + 1);
    ++queued;
  }
  if (queued == 0) return;
  // The walk ends once every queued entry is applied: no later record can
  // change.
  WalkRecords(table.data(), table.size(), [&](std::uint32_t key, std::uint8_t* record) {
    std::uint16_t link = head[key];
    if (link == 0) return true;
    head[key] = next[link - 1];
    NormalSubstitute& entry = substitutes[link - 1];
    entry.Pending = 0;
    std::uint32_t replacement = MS932Code(entry.Replacement);
    record[2] = store.GetByte(replacement, 0);
    record[3] = store.GetByte(replacement, 1);
    return --queued > 0;
  });
}

RunResult SubstituteList(Env& env, const std::string& list_name, const std::string& output_name,
                         bool show_table, IoError* error) {
  Substitutes substitutes;
  {
    std::string list;
    if (!env.ReadTextFile(list_name, &list, error)) return RunResult::kFailed;
    substitutes = ReadSubstitutes(list);
  }

  auto store = std::make_unique<SparseEUC>();
  TableFile table;
  TableRead read = store->Populate(env, show_table, &table, error);
  if (read != TableRead::kRead) return ResultOf(read);

  return WriteCustomTable(
      env, output_name, &table,
      [&](ByteBuffer& bytes) { SubstituteRecords(bytes, substitutes, *store); }, error);
}

}  // namespace vorn
