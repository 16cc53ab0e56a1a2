#include "main/version_listing.h"

#include <string>

namespace vorn {
namespace {

// The usage lines with their comments, in code page 932.  The bare form of
// each is its first 21 bytes, where the comment's "#" begins.  Trailing
// spaces belong to the lines.
constexpr std::size_t kBareLength = 21;
constexpr std::string_view kUsage[] = {
    "vorn -f bars.txt     # Edit according to bars.txt ",
    "vorn -k\xC5 -aN         # \xC5 is subsituted with N. ",
    "vorn -k\xC5 -aN file    # \xC5 is subsituted with N to produce a binary file. ",
    // Two literals make one line here, not a missing comma.
    // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
    "vorn -s\x87\x40 -e\x82\x50       # \x87\x40 is subsituted with \x82\x50"
    " and represented in EUC-JP. ",
    "vorn -s\x87\x40 -e\x82\x50 file  # \x87\x40 is subsituted with \x82\x50"
    " to produce a binary file. ",
    "vorn -s\x87\x40 -e\x82\x50 -w    # -w shows which table vorn uses. ",
    "vorn -V              # version ",
    "vorn -VC             # version with comments ",
};

}  // namespace

void ShowVersion(Env& env, std::string_view version, bool with_comments) {
  env.WriteLine("vorn Version " + std::string(version), LineKind::kAssembled);
  env.WriteLine("", LineKind::kFixed);
  for (std::string_view line : kUsage) {
    env.WriteLine(with_comments ? line : line.substr(0, kBareLength), LineKind::kFixed);
  }
}

}  // namespace vorn
