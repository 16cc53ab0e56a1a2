#include "platform/text_posix.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(TextCharsetTest, TheCLocaleIsUtf8) {
  // glibc's, musl's and BSD's names for the C locale's ASCII.
  for (const char* codeset : {"ANSI_X3.4-1968", "ASCII", "US-ASCII", "ascii"}) {
    EXPECT_EQ(TextCharset(codeset), "UTF-8") << codeset;
  }
  for (const char* codeset : {"UTF-8", "SHIFT_JIS", "EUC-JP", "ISO-8859-1", ""}) {
    EXPECT_EQ(TextCharset(codeset), codeset) << codeset;
  }
}

TEST(KeepsCP932BytesTest, CP932LocalesOnly) {
  for (const char* charset :
       {"", "CP932", "SHIFT_JIS", "sjis", "Shift-JIS", "WINDOWS-31J", "MS932"}) {
    EXPECT_TRUE(KeepsCP932Bytes(charset)) << charset;
  }
  for (const char* charset : {"UTF-8", "utf8", "EUC-JP", "ISO-8859-1", "CP1252", "ASCII"}) {
    EXPECT_FALSE(KeepsCP932Bytes(charset)) << charset;
  }
}

TEST(IconvTest, ConvertAllIsAllOrNothing) {
  Iconv to_cp932("CP932", "UTF-8");
  ASSERT_TRUE(to_cp932.ok());
  std::string out = "untouched";
  EXPECT_TRUE(to_cp932.ConvertAll("\xE2\x91\xA0\xEF\xBC\x91", &out));
  EXPECT_EQ(out, "\x87\x40\x82\x50");
  out = "untouched";
  // Raw CP932, a UTF-8 sequence cut short, and a character CP932 lacks.
  for (const char* in : {"\x87\x40", "\xE2\x91", "\xF0\x9F\x98\x80", "A\xE2\x91"}) {
    EXPECT_FALSE(to_cp932.ConvertAll(in, &out)) << in;
    EXPECT_EQ(out, "untouched");
  }
  // A failure leaves no state behind for the next conversion.
  EXPECT_TRUE(to_cp932.ConvertAll("A", &out));
  EXPECT_EQ(out, "A");
}

TEST(IconvTest, MarksEachCharacterThatDoesNotConvert) {
  Iconv to_utf8("UTF-8", "CP932");
  ASSERT_TRUE(to_utf8.ok());
  // 85 40 names no character: one "?" for both bytes, and the 40 is not
  // shown as "@"; a lone byte that does not convert, and a lead byte at
  // the end, are one "?" each.
  EXPECT_EQ(to_utf8.ConvertCP932Marking("8740 \x81\xCB 8250"), "8740 \xE2\x87\x92 8250");
  EXPECT_EQ(to_utf8.ConvertCP932Marking("a\x85\x40"
                                        "b\x80"
                                        "c\x87"),
            "a?b?c?");
  EXPECT_EQ(to_utf8.ConvertCP932Marking(""), "");
  // A long line converts whole, beyond iconv's working buffer.
  std::string long_line(1000, '\xB1');
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += "\xEF\xBD\xB1";
  EXPECT_EQ(to_utf8.ConvertCP932Marking(long_line), expected);
}

}  // namespace
}  // namespace vorn
