// Text conversion on POSIX systems: the charset of the user's locale and
// the system's iconv.  Used by the POSIX Env and by vorn-table's terminal.
#ifndef VORN_PLATFORM_TEXT_POSIX_H_
#define VORN_PLATFORM_TEXT_POSIX_H_

#include <iconv.h>

#include <string>
#include <string_view>

namespace vorn {

// The charset of the text the user types and reads: the codeset of their
// locale (LC_ALL, LC_CTYPE, LANG) as TextCharset() reads it.  Read once; a
// locale the system does not have counts as the C locale, as it does for
// every program, and the process's own locale is left alone.
const std::string& LocaleCharset();

// The charset of text typed and read under a locale of `codeset`.  Where
// no locale is set (every fresh container) people use UTF-8 all the same,
// so the C locale's ASCII counts as UTF-8, as it does for Python since
// 3.7; any other codeset is itself.
std::string TextCharset(std::string_view codeset);

// True for the charsets whose text vorn takes as code page 932 bytes just
// as they are: the CP932 family.
bool KeepsCP932Bytes(std::string_view charset);

// One iconv conversion.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv();
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // False when iconv cannot convert between the two charsets.
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; false, leaving `out` as it was, when any of it
  // is invalid or incomplete, or lacks a counterpart in the target.
  bool ConvertAll(std::string_view in, std::string* out);

  // Converts `in` from code page 932, putting "?" in place of each
  // character (a lead byte with its trail byte, or one byte) that does
  // not convert.
  std::string ConvertCP932Marking(std::string_view in);

 private:
  // Converts as much of *in as converts; false with *in at an invalid or
  // incomplete sequence.
  bool ConvertSome(std::string_view* in, std::string* out);

  iconv_t cd_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_TEXT_POSIX_H_
