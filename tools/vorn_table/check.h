// vorn-table check: what `vorn -f LIST` will do to a table, line by line,
// with a warning wherever the list does not do what it looks like it does.
// The lines are read by vorn's own list reader, so what check shows is
// what vorn reads.
#ifndef VORN_TOOLS_VORN_TABLE_CHECK_H_
#define VORN_TOOLS_VORN_TABLE_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/env.h"
#include "substitute/substitute_list.h"
#include "tools/vorn_table/display.h"
#include "tools/vorn_table/table_records.h"

namespace vorn {

// One list line and what vorn does with it.
struct CheckedLine {
  ListLine line;
  NormalSubstitute substitute;  // the characters vorn takes from the line
  std::uint32_t source = 0;
  std::uint32_t replacement = 0;
  // Not four bytes long, yet holding a two-byte character: vorn reads it
  // as two one-byte characters (①1 gives 87 and 40).
  bool not_four_bytes = false;
  // A line of a UTF-8 list that does not convert to code page 932: vorn
  // takes its bytes as they are.
  bool not_converted = false;
  bool no_record = false;  // no record has the source's code: nothing changes
  // The earlier line whose source is the same and that already takes the
  // last record of that code, so that this line is never applied; 0: none.
  std::size_t taken_by = 0;
  // Applied, the record takes 00 00: the table has no record of the
  // replacement or leaves it unmapped.
  bool unmapped_replacement = false;

  bool warned() const {
    return not_four_bytes || not_converted || no_record || taken_by != 0 || unmapped_replacement;
  }
};

struct ListCheck {
  std::vector<CheckedLine> lines;
  // Lines that read as UTF-8 in a list without the byte-order mark, which
  // vorn reads as code page 932 bytes.
  bool looks_like_utf8 = false;
  bool ended_by_ctrl_z = false;    // a Ctrl-Z ended the list; vorn reads nothing after it
  bool lines_after_limit = false;  // lines follow the last one vorn reads

  std::size_t warned_lines() const;
  bool warned() const {
    return looks_like_utf8 || ended_by_ctrl_z || lines_after_limit || warned_lines() > 0;
  }
};

// Reads the list `file` as vorn does and checks each line against the
// table's records.
bool CheckList(Env& env, SequentialFile* file, const std::vector<Record>& records, ListCheck* check,
               IoError* error);

// The report: a line per list line ("3: 8740 ① -> 8250 １"), each warning
// on a line of its own below it, the list's own warnings, then a summary.
std::string CheckReport(const ListCheck& check, CharacterDisplay& display);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_CHECK_H_
