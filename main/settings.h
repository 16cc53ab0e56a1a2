// The program-wide settings and the reader that fills them from the
// command line.
#ifndef VORN_MAIN_SETTINGS_H_
#define VORN_MAIN_SETTINGS_H_

#include <string>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"

namespace vorn {

inline constexpr char kVersion[] = "1.01";

struct Settings {
  std::string OutputName = kTableName;
  std::string SourceChar = "\x87\x40";       // (1) circled digit one
  std::string ReplacementChar = "\x81\x51";  // full-width low line
  std::string ListName;
  bool ShowTable = false;
  bool AwaitingListName = false;
};

// What the command line asks for.
enum class Request {
  kSubstitute,           // a single substitution, or a list when ListName is set
  kVersionListing,       // -V
  kVersionWithComments,  // -VC
};

// Reads `arguments` from left to right into `settings`.  -V and -VC stop
// the reading where they stand; an option that matches nothing is ignored.
Request ReadArguments(const std::vector<std::string>& arguments, Settings* settings);

}  // namespace vorn

#endif  // VORN_MAIN_SETTINGS_H_
