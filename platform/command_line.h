// Splitting the command line Windows hands over as one string into its
// arguments.  Plain code, built on every system so that it is tested on
// every system.
#ifndef VORN_PLATFORM_COMMAND_LINE_H_
#define VORN_PLATFORM_COMMAND_LINE_H_

#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// Splits `command_line` (code page 932 bytes) into its arguments, the
// program itself included as the first:
// - bytes 0x01-0x20 outside double quotes separate arguments, and a run of
//   them counts as one separator;
// - a double quote switches quoting on or off and is dropped;
// - two double quotes in a row are both dropped without switching, so an
//   argument written as "" alone is an empty argument;
// - a backslash is an ordinary byte;
// - the two bytes of a two-byte character are taken together, so a trail
//   byte is never a separator or a quote.
// These are not the C runtime's rules (which give backslashes before a
// quote a meaning of their own), so that what the user typed arrives as is.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

}  // namespace vorn

#endif  // VORN_PLATFORM_COMMAND_LINE_H_
