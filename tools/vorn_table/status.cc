#include "tools/vorn_table/status.h"

#include <cstdio>

namespace vorn {

int Fail(const std::string& what, const std::string& why) {
  (void)std::fprintf(stderr, "vorn-table: %s: %s\n", what.c_str(), why.c_str());
  return kExitTrouble;
}

}  // namespace vorn
