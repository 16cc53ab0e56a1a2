// The Windows side of vorn-table's terminal: a code page.  Characters go
// where vorn's own lines go, in the console's output code page whenever
// the program has a console (also when standard output is redirected, as
// vorn converts its lines then), and in the ANSI code page without one.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "tools/vorn_table/terminal.h"

namespace vorn {
namespace {

constexpr UINT kCP932CodePage = 932;

bool IsConsole(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

// `text` converted from the code page `from` to UTF-16; empty when it is
// empty or does not convert.
std::wstring Widen(UINT from, std::string_view text) {
  int size = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

class CodePageTerminal : public TerminalCharset {
 public:
  explicit CodePageTerminal(UINT code_page) : code_page_(code_page) {}

  TerminalKind kind() const override {
    if (code_page_ == CP_UTF8) return TerminalKind::kUtf8;
    return code_page_ == kCP932CodePage ? TerminalKind::kCodePage932 : TerminalKind::kOther;
  }

  bool FromUtf8(std::string_view utf8, std::string* shown) override {
    std::wstring wide = Widen(CP_UTF8, utf8);
    if (wide.empty()) return false;
    int length = static_cast<int>(wide.size());
    int size =
        WideCharToMultiByte(code_page_, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    std::string converted(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(code_page_, 0, wide.data(), length, converted.data(), size, nullptr,
                        nullptr);
    // A code page that lacks the character gives "?" or a look-alike (the
    // full-width １ becomes 1 in code page 437): neither reads back as the
    // character.  Reading back also serves the code pages that take no
    // flags for telling a lacking character.
    if (Widen(code_page_, converted) != wide) return false;
    *shown = std::move(converted);
    return true;
  }

 private:
  UINT code_page_;
};

}  // namespace

std::unique_ptr<TerminalCharset> UserTerminalCharset() {
  // Without a console the output code page is 0.
  UINT console = GetConsoleOutputCP();
  return std::make_unique<CodePageTerminal>(console != 0 ? console : GetACP());
}

std::unique_ptr<TerminalCharset> TerminalCharsetNamed(const std::string& charset) {
  return std::make_unique<CodePageTerminal>(
      static_cast<UINT>(std::strtoul(charset.c_str(), nullptr, 10)));
}

void PrepareTextStreams() {
  // A buffer that holds a line until WriteText flushes it.
  for (std::FILE* stream : {stdout, stderr}) {
    if (IsConsole(stream)) (void)std::setvbuf(stream, nullptr, _IOFBF, 1 << 16);
  }
}

void WriteText(std::FILE* stream, std::string_view text) {
  if (!IsConsole(stream)) {
    (void)std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  while (!text.empty()) {
    std::size_t line = std::min(text.find('\n'), text.size() - 1) + 1;
    (void)std::fwrite(text.data(), 1, line, stream);
    (void)std::fflush(stream);
    text.remove_prefix(line);
  }
}

}  // namespace vorn
