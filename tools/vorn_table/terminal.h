// Where vorn-table's characters meet the person reading them: which
// charset their terminal shows, and the conversion into a charset that is
// neither UTF-8 nor code page 932.  Everything else about a character
// comes from the character tables; this is the only part that depends on
// the system (terminal_posix.cc: the locale's charset, through iconv).
#ifndef VORN_TOOLS_VORN_TABLE_TERMINAL_H_
#define VORN_TOOLS_VORN_TABLE_TERMINAL_H_

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

// A terminal showing `charset`, as the locale names it.
std::unique_ptr<TerminalCharset> TerminalCharsetNamed(const std::string& charset);

}  // namespace vorn

#endif  // VORN_TOOLS_VORN_TABLE_TERMINAL_H_
