#include "platform/text_posix.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cerrno>
#include <initializer_list>

#include "platform/cp932.h"

namespace vorn {
namespace {

// Compares charset names in upper case without "-" and "_", so that the
// spellings of one charset are equal.
bool IsOneOf(std::string_view charset, std::initializer_list<std::string_view> names) {
  std::string name;
  for (char c : charset) {
    if (c != '-' && c != '_')
      name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  for (std::string_view candidate : names) {
    if (name == candidate) return true;
  }
  return false;
}

}  // namespace

const std::string& LocaleCharset() {
  static const std::string charset = [] {
    // A locale object of its own, so that nothing else in the process
    // changes its behaviour because the user's locale was looked at.
    locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (user == static_cast<locale_t>(nullptr)) return TextCharset("ANSI_X3.4-1968");
    std::string name = TextCharset(nl_langinfo_l(CODESET, user));
    freelocale(user);
    return name;
  }();
  return charset;
}

std::string TextCharset(std::string_view codeset) {
  // glibc's name for the C locale's codeset, and other systems' names.
  if (IsOneOf(codeset, {"ANSIX3.41968", "ASCII", "USASCII"})) return "UTF-8";
  return std::string(codeset);
}

bool KeepsCP932Bytes(std::string_view charset) {
  return IsOneOf(charset, {"", "CP932", "SJIS", "SHIFTJIS", "MS932", "WINDOWS31J"});
}

Iconv::~Iconv() {
  if (ok()) iconv_close(cd_);
}

bool Iconv::ConvertSome(std::string_view* in, std::string* out) {
  char buffer[256];
  std::size_t result = 0;
  do {
    char* in_ptr = const_cast<char*>(in->data());
    std::size_t in_left = in->size();
    char* out_ptr = buffer;
    std::size_t out_left = sizeof buffer;
    result = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
    int err = errno;
    out->append(buffer, static_cast<std::size_t>(out_ptr - buffer));
    in->remove_prefix(in->size() - in_left);
    if (result == static_cast<std::size_t>(-1) && err != E2BIG) return false;
  } while (result == static_cast<std::size_t>(-1));
  // The final shift sequence of a stateful target.
  char* out_ptr = buffer;
  std::size_t out_left = sizeof buffer;
  if (iconv(cd_, nullptr, nullptr, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) {
    return false;
  }
  out->append(buffer, static_cast<std::size_t>(out_ptr - buffer));
  return true;
}

bool Iconv::ConvertAll(std::string_view in, std::string* out) {
  std::string converted;
  if (!ok()) return false;
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // the initial state
  if (!ConvertSome(&in, &converted)) return false;
  *out = std::move(converted);
  return true;
}

std::string Iconv::ConvertCP932Marking(std::string_view in) {
  if (!ok()) return std::string(in.size(), '?');
  std::string out;
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  while (!ConvertSome(&in, &out) && !in.empty()) {
    out += '?';
    in.remove_prefix(IsLeadByte(static_cast<unsigned char>(in[0])) && in.size() >= 2 ? 2 : 1);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

}  // namespace vorn
