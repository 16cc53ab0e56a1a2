// Text conversion on POSIX systems: the system's iconv and the charset of
// the user's locale.  Used by the POSIX side of the platform seam and by
// vorn-table, which only exists on POSIX systems.
#ifndef VORN_PLATFORM_TEXT_POSIX_H_
#define VORN_PLATFORM_TEXT_POSIX_H_

#include <iconv.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace vorn {

// The charset the user's locale (LC_ALL, LC_CTYPE, LANG) gives character
// data: what nl_langinfo(CODESET) names, as TextCharset() reads it.  Read
// on the first call only; a locale the system does not have counts as the
// C locale, as it does for every program that calls setlocale.  The
// process's own locale is left alone.
const std::string& LocaleCharset();

// The charset of the text a user types and reads under a locale whose
// nl_langinfo(CODESET) is `codeset`.  The C and POSIX locales name ASCII,
// yet where no locale is set (every fresh container) people type and read
// UTF-8 all the same, so an ASCII codeset counts as UTF-8, as it does for
// Python since 3.7.  Any other codeset is itself.
std::string TextCharset(std::string_view codeset);

// True for a charset whose text vorn takes as code page 932 bytes just as
// they are: the CP932 family.
bool KeepsCP932Bytes(std::string_view charset);

// One iconv conversion descriptor.
class Iconv {
 public:
  Iconv(const char* to, const char* from);
  ~Iconv();
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // False when iconv cannot convert between the two charsets.
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; false when any of it is invalid or incomplete
  // in the source charset or has no counterpart in the target.
  bool ConvertAll(std::string_view in, std::string* out);

  // Converts `in` from code page 932, putting "?" in place of every
  // character (a lead byte with its trail byte, or a single byte) that
  // does not convert.
  std::string ConvertCP932Marking(std::string_view in);

 private:
  void Reset();
  // Converts as much of *in as converts; returns false on an invalid or
  // incomplete sequence, with *in pointing at it.
  bool ConvertSome(const char** in, std::size_t* in_left, std::string* out);

  iconv_t cd_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_TEXT_POSIX_H_
