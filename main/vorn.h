// One run of vorn, from the arguments to the exit status.
#ifndef VORN_MAIN_VORN_H_
#define VORN_MAIN_VORN_H_

#include <string>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "platform/env.h"

namespace vorn {

inline constexpr int kExitDone = 0;
// After the version listing, and when no table file exists.
inline constexpr int kExitStopped = 1;

// Reads the arguments, runs what they ask for with the table found in
// `paths`, and returns the exit status.  A file failure is reported on
// standard error (exit status 217).
int RunVorn(Env& env, const TablePaths& paths, const std::vector<std::string>& arguments);

}  // namespace vorn

#endif  // VORN_MAIN_VORN_H_
