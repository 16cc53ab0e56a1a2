#include "main/settings.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

struct ArgumentCase {
  const char* name;
  std::vector<std::string> arguments;
  Request request;
  std::string output;
  std::string source;
  std::string replacement;
  std::string list;
  bool show_table;
};

void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

const std::string kDefaultSource = "\x87\x40";
const std::string kDefaultReplacement = "\x81\x51";

class ReadArgumentsTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(ReadArgumentsTest, FillsSettings) {
  const ArgumentCase& c = GetParam();
  Settings settings;
  EXPECT_EQ(ReadArguments(c.arguments, &settings), c.request);
  EXPECT_EQ(settings.OutputName, c.output);
  EXPECT_EQ(settings.SourceChar, c.source);
  EXPECT_EQ(settings.ReplacementChar, c.replacement);
  EXPECT_EQ(settings.ListName, c.list);
  EXPECT_EQ(settings.ShowTable, c.show_table);
}

const ArgumentCase kArgumentCases[] = {
    {"Defaults",
     {},
     Request::kSubstitute,
     kTableName,
     kDefaultSource,
     kDefaultReplacement,
     "",
     false},
    {"TwoByteForms",
     {"out.bin", "-s\x87\x40", "-e\x82\x50"},
     Request::kSubstitute,
     "out.bin",
     "\x87\x40",
     "\x82\x50",
     "",
     false},
    {"OneByteForms", {"-k\xC5", "-aN"}, Request::kSubstitute, kTableName, "\xC5", "N", "", false},
    // -k and -a take one byte only, -s and -e up to two whatever they are.
    {"ByteCounts",
     {"-k\x87\x40", "-e\xC5N!"},
     Request::kSubstitute,
     kTableName,
     "\x87",
     "\xC5N",
     "",
     false},
    {"ShortValues", {"-s", "-eX"}, Request::kSubstitute, kTableName, "", "X", "", false},
    {"LaterOverridesEarlier",
     {"a.bin", "-sAB", "b.bin", "-kC"},
     Request::kSubstitute,
     "b.bin",
     "C",
     kDefaultReplacement,
     "",
     false},
    {"ListThenOutput",
     {"-f", "bars.txt", "out.bin"},
     Request::kSubstitute,
     "out.bin",
     kDefaultSource,
     kDefaultReplacement,
     "bars.txt",
     false},
    {"OutputThenList",
     {"out.bin", "-f", "bars.txt"},
     Request::kSubstitute,
     "out.bin",
     kDefaultSource,
     kDefaultReplacement,
     "bars.txt",
     false},
    // Options between -f and the name do not cancel the waiting.
    {"WaitingSurvivesOptions",
     {"-f", "-w", "bars.txt"},
     Request::kSubstitute,
     kTableName,
     kDefaultSource,
     kDefaultReplacement,
     "bars.txt",
     true},
    {"ListFlagLast",
     {"-f"},
     Request::kSubstitute,
     kTableName,
     kDefaultSource,
     kDefaultReplacement,
     "",
     false},
    {"EmptyArgumentIsPlain",
     {""},
     Request::kSubstitute,
     "",
     kDefaultSource,
     kDefaultReplacement,
     "",
     false},
    // Exact options are compared whole and case-sensitively; unknown ones
    // change nothing.
    {"UnknownOptionsIgnored",
     {"-", "-x", "-wq", "-v", "-vc", "-W", "-ff"},
     Request::kSubstitute,
     kTableName,
     kDefaultSource,
     kDefaultReplacement,
     "",
     false},
    {"VersionStopsReading",
     {"-w", "-sAB", "-V", "-kC", "out.bin"},
     Request::kVersionListing,
     kTableName,
     "AB",
     kDefaultReplacement,
     "",
     true},
    {"VersionWithComments",
     {"-VC", "-w"},
     Request::kVersionWithComments,
     kTableName,
     kDefaultSource,
     kDefaultReplacement,
     "",
     false},
    // The GNU forms stop the reading as -V and -VC do; near misses are
    // unknown options.
    {"LongVersionStopsReading",
     {"-sAB", "--version", "-kC", "out.bin"},
     Request::kLongVersion,
     kTableName,
     "AB",
     kDefaultReplacement,
     "",
     false},
    {"LongHelpStopsReading",
     {"-w", "--help", "-V"},
     Request::kLongHelp,
     kTableName,
     kDefaultSource,
     kDefaultReplacement,
     "",
     true},
    {"LongNearMissesIgnored",
     {"--Help", "--help=x", "--versio", "--"},
     Request::kSubstitute,
     kTableName,
     kDefaultSource,
     kDefaultReplacement,
     "",
     false},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReadArgumentsTest, testing::ValuesIn(kArgumentCases),
                         [](const testing::TestParamInfo<ArgumentCase>& param_info) {
                           return std::string(param_info.param.name);
                         });

// Stands in for the locale: "<1>" and "<1><2>" are how this test's user
// types (1) and (1)(2); anything else is kept.
std::string FakeDecode(std::string_view value) {
  if (value == "<1>") return "\x87\x40";
  if (value == "<1><2>") return "\x87\x40\x87\x41";
  return std::string(value);
}

TEST(ReadArgumentsDecodeTest, BytesAreTakenFromTheDecodedValue) {
  const struct {
    std::vector<std::string> arguments;
    std::string source;
    std::string replacement;
  } cases[] = {
      {{"-s<1>", "-e<1><2>"}, "\x87\x40", "\x87\x40"},
      // -k and -a still take one byte: the lead byte alone.
      {{"-k<1>", "-a<1>"}, "\x87", "\x87"},
      // What the decoder keeps is cut as before.
      {{"-s<2>", "-a\xC5N"}, "<2", "\xC5"},
      {{"-s", "-e"}, "", ""},
  };
  for (const auto& c : cases) {
    Settings settings;
    EXPECT_EQ(ReadArguments(c.arguments, &settings, FakeDecode), Request::kSubstitute);
    EXPECT_EQ(settings.SourceChar, c.source) << c.arguments[0];
    EXPECT_EQ(settings.ReplacementChar, c.replacement) << c.arguments[0];
  }
}

TEST(ReadArgumentsDecodeTest, FileNamesAreNeverDecoded) {
  Settings settings;
  ReadArguments({"-f", "<1>", "<1><2>"}, &settings, FakeDecode);
  EXPECT_EQ(settings.ListName, "<1>");
  EXPECT_EQ(settings.OutputName, "<1><2>");
}

}  // namespace
}  // namespace vorn
