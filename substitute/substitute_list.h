// Many substitutions at once, read from a list file with one per line.
#ifndef VORN_SUBSTITUTE_SUBSTITUTE_LIST_H_
#define VORN_SUBSTITUTE_SUBSTITUTE_LIST_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "platform/env.h"
#include "substitute/custom_table.h"

namespace vorn {

// Lines after this many are never read.
inline constexpr std::size_t MaxSubstitutes = 906;

// One substitution from the list file.
struct NormalSubstitute {
  std::uint8_t Pending = 0;  // 1 until applied to a record
  std::string Source;        // the character to replace
  std::string Replacement;   // the character whose value bytes stand in
};

// The list's substitutions, in list order.
using Substitutes = std::vector<NormalSubstitute>;

// Reads the list file's bytes: a line ends at LF, CR or CR LF, a Ctrl-Z
// byte ends the file, and a last line without a terminator still counts.
// A line of exactly four bytes holds two two-byte characters; any other
// line two one-byte characters (each empty where the line is too short).
// Every entry read is pending; at most MaxSubstitutes lines are read.
// A list that begins with the UTF-8 byte-order mark is UTF-8: the mark is
// dropped and each line converted to code page 932 before those rules
// (a line that does not convert keeps its bytes).
Substitutes ReadSubstitutes(std::string_view list);

// The list rewrite pass, in place.  Each pending entry applies once, to
// the first record in table order keyed by its source's code; of several
// entries with the same source, the first in the list takes the first
// matching record, the next one the next.  Applied entries stop pending.
void SubstituteRecords(ByteBuffer& table, Substitutes& substitutes, const SparseEUC& store);

// Reads the list, loads the table and writes the customised copy.  A list
// that cannot be read fails the run before the table is looked for.
RunResult SubstituteList(Env& env, const std::string& list_name, const std::string& output_name,
                         bool show_table, IoError* error);

}  // namespace vorn

#endif  // VORN_SUBSTITUTE_SUBSTITUTE_LIST_H_
