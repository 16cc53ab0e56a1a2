#include "tools/vorn_table/status.h"

#include "tools/vorn_table/terminal.h"

namespace vorn {

int Fail(const std::string& what, const std::string& why) {
  WriteText(stderr, "vorn-table: " + what + ": " + why + "\n");
  return kExitTrouble;
}

}  // namespace vorn
