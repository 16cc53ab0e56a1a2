// The program-wide settings and the reader that fills them from the
// command line.
#ifndef VORN_MAIN_SETTINGS_H_
#define VORN_MAIN_SETTINGS_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"

namespace vorn {

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
  kLongVersion,          // --version: the -V listing, as a completed run
  kLongHelp,             // --help: the -VC listing, as a completed run
};

// Turns the value of a character option (the bytes after -s, -e, -k or
// -a) into code page 932 bytes.
using CharacterDecoder = std::function<std::string(std::string_view)>;

// Reads `arguments` from left to right into `settings`.  -V, -VC,
// --version and --help stop the reading where they stand; an option that
// matches nothing is ignored.  Character option values pass through
// `decode` (when given) before their bytes are taken, so that -s and -k
// count the bytes of the code page 932 text.
Request ReadArguments(const std::vector<std::string>& arguments, Settings* settings,
                      const CharacterDecoder& decode = nullptr);

}  // namespace vorn

#endif  // VORN_MAIN_SETTINGS_H_
