#include <memory>

#include "platform/text_posix.h"
#include "tools/vorn_table/terminal.h"

namespace vorn {
namespace {

TerminalKind KindOf(const std::string& charset) {
  if (KeepsCP932Bytes(charset)) return TerminalKind::kCodePage932;
  return charset == "UTF-8" ? TerminalKind::kUtf8 : TerminalKind::kOther;
}

// A terminal showing the charset a locale names; iconv converts into any
// charset other than UTF-8 and code page 932.
class LocaleTerminal : public TerminalCharset {
 public:
  explicit LocaleTerminal(const std::string& charset) : kind_(KindOf(charset)) {
    if (kind_ == TerminalKind::kOther)
      from_utf8_ = std::make_unique<Iconv>(charset.c_str(), "UTF-8");
  }

  TerminalKind kind() const override { return kind_; }

  bool FromUtf8(std::string_view utf8, std::string* shown) override {
    return from_utf8_ != nullptr && from_utf8_->ConvertAll(utf8, shown) && !shown->empty();
  }

 private:
  TerminalKind kind_;
  std::unique_ptr<Iconv> from_utf8_;
};

}  // namespace

std::unique_ptr<TerminalCharset> UserTerminalCharset() {
  return TerminalCharsetNamed(LocaleCharset());
}

std::unique_ptr<TerminalCharset> TerminalCharsetNamed(const std::string& charset) {
  return std::make_unique<LocaleTerminal>(charset);
}

// The C library writes a terminal's lines whole already (line by line, or
// unbuffered a call at a time).
void PrepareTextStreams() {}

void WriteText(std::FILE* stream, std::string_view text) {
  (void)std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace vorn
