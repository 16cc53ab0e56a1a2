// Where vorn-table's characters meet the person reading them: which
// charset their terminal shows, and the conversion into a charset that is
// neither UTF-8 nor code page 932.  Everything else about a character
// comes from the character tables; this is the only part that depends on
// the system (terminal_posix.cc: the locale's charset, through iconv;
// terminal_windows.cc: the console's code page).
#ifndef VORN_TOOLS_VORN_TABLE_TERMINAL_H_
#define VORN_TOOLS_VORN_TABLE_TERMINAL_H_

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace vorn {

enum class TerminalKind {
  kUtf8,
  // Gets code page 932 bytes as they are, as vorn's own lines.
  kCodePage932,
  // Any other charset, reached through FromUtf8().
  kOther,
};

class TerminalCharset {
 public:
  virtual ~TerminalCharset() = default;

  virtual TerminalKind kind() const = 0;

  // The terminal's bytes for the UTF-8 text of one character; false when
  // its charset lacks the character.  Only asked of kOther.
  virtual bool FromUtf8(std::string_view utf8, std::string* shown) = 0;
};

// The charset of the user's terminal.
std::unique_ptr<TerminalCharset> UserTerminalCharset();

// A terminal showing `charset`, named as the system names charsets: as a
// locale's codeset (UTF-8, SHIFT_JIS) on POSIX systems, by its code page
// number (65001, 932) on Windows.
std::unique_ptr<TerminalCharset> TerminalCharsetNamed(const std::string& charset);

// Readies standard output and standard error for WriteText, before
// anything is written to them.
void PrepareTextStreams();

// Writes text for the person reading it (whole lines, with the characters
// as the terminal shows them) to standard output or standard error.  A
// Windows console shows the two bytes of a character apart when they come
// in two writes, and the C runtime there writes an unbuffered stream byte
// by byte: a console gets each line in a write of its own.
void WriteText(std::FILE* stream, std::string_view text);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_TERMINAL_H_
