// How vorn-table's commands end: the exit statuses, and the one line that
// reports trouble.
#ifndef VORN_TOOLS_VORN_TABLE_STATUS_H_
#define VORN_TOOLS_VORN_TABLE_STATUS_H_

#include <string>

namespace vorn {

// Done; for diff, the tables agree.
inline constexpr int kExitSame = 0;
// diff: the tables differ; check: the list was warned about; convert:
// characters were left unmapped.
inline constexpr int kExitDifferent = 1;
inline constexpr int kExitTrouble = 2;

// Reports trouble as "vorn-table: <what>: <why>" on standard error and
// returns kExitTrouble.
int Fail(const std::string& what, const std::string& why);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_STATUS_H_
