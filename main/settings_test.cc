#include "main/settings.h"

#include <gtest/gtest.h>

#include <functional>

namespace vorn {
namespace {

// A row names only what its arguments change in the settings.
using Changes = std::function<void(Settings*)>;

struct ArgumentCase {
  const char* name;
  std::vector<std::string> arguments;
  Request request;
  Changes changes;
};

void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

TEST(SettingsTest, Defaults) {
  Settings settings;
  EXPECT_EQ(settings.OutputName, "MS932~EUC-JP.bin");
  EXPECT_EQ(settings.SourceChar, "\x87\x40");
  EXPECT_EQ(settings.ReplacementChar, "\x81\x51");
  EXPECT_EQ(settings.ListName, "");
  EXPECT_FALSE(settings.ShowTable);
  EXPECT_FALSE(settings.AwaitingListName);
}

class ReadArgumentsTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(ReadArgumentsTest, FillsSettings) {
  const ArgumentCase& c = GetParam();
  Settings expected;
  if (c.changes) c.changes(&expected);
  Settings settings;
  EXPECT_EQ(ReadArguments(c.arguments, &settings), c.request);
  EXPECT_EQ(settings.OutputName, expected.OutputName);
  EXPECT_EQ(settings.SourceChar, expected.SourceChar);
  EXPECT_EQ(settings.ReplacementChar, expected.ReplacementChar);
  EXPECT_EQ(settings.ListName, expected.ListName);
  EXPECT_EQ(settings.ShowTable, expected.ShowTable);
  EXPECT_EQ(settings.AwaitingListName, expected.AwaitingListName);
}

const ArgumentCase kArgumentCases[] = {
    {"NoArguments", {}, Request::kSubstitute, nullptr},
    {"TwoByteForms",
     {"out.bin", "-s\x87\x40", "-e\x82\x50"},
     Request::kSubstitute,
     [](Settings* s) {
       s->OutputName = "out.bin";
       s->ReplacementChar = "\x82\x50";  // -s gives the default source
     }},
    {"OneByteForms",
     {"-k\xC5", "-aN"},
     Request::kSubstitute,
     [](Settings* s) {
       s->SourceChar = "\xC5";
       s->ReplacementChar = "N";
     }},
    // -k and -a take one byte only, -s and -e up to two whatever they are.
    {"ByteCounts",
     {"-k\x87\x40", "-e\xC5N!"},
     Request::kSubstitute,
     [](Settings* s) {
       s->SourceChar = "\x87";
       s->ReplacementChar = "\xC5N";
     }},
    {"ShortValues",
     {"-s", "-eX"},
     Request::kSubstitute,
     [](Settings* s) {
       s->SourceChar = "";
       s->ReplacementChar = "X";
     }},
    {"LaterOverridesEarlier",
     {"a.bin", "-sAB", "b.bin", "-kC"},
     Request::kSubstitute,
     [](Settings* s) {
       s->OutputName = "b.bin";
       s->SourceChar = "C";
     }},
    {"ListThenOutput",
     {"-f", "bars.txt", "out.bin"},
     Request::kSubstitute,
     [](Settings* s) {
       s->OutputName = "out.bin";
       s->ListName = "bars.txt";
     }},
    {"OutputThenList",
     {"out.bin", "-f", "bars.txt"},
     Request::kSubstitute,
     [](Settings* s) {
       s->OutputName = "out.bin";
       s->ListName = "bars.txt";
     }},
    // Options between -f and the name do not cancel the waiting.
    {"WaitingSurvivesOptions",
     {"-f", "-w", "bars.txt"},
     Request::kSubstitute,
     [](Settings* s) {
       s->ListName = "bars.txt";
       s->ShowTable = true;
     }},
    {"ListFlagLast", {"-f"}, Request::kSubstitute, [](Settings* s) { s->AwaitingListName = true; }},
    {"EmptyArgumentIsPlain", {""}, Request::kSubstitute, [](Settings* s) { s->OutputName = ""; }},
    // Exact options are compared whole and case-sensitively; unknown ones
    // change nothing.
    {"UnknownOptionsIgnored",
     {"-", "-x", "-wq", "-v", "-vc", "-W", "-ff"},
     Request::kSubstitute,
     nullptr},
    {"VersionStopsReading",
     {"-w", "-sAB", "-V", "-kC", "out.bin"},
     Request::kVersionListing,
     [](Settings* s) {
       s->SourceChar = "AB";
       s->ShowTable = true;
     }},
    {"VersionWithComments", {"-VC", "-w"}, Request::kVersionWithComments, nullptr},
    // The GNU forms stop the reading as -V and -VC do; near misses are
    // unknown options.
    {"LongVersionStopsReading",
     {"-sAB", "--version", "-kC", "out.bin"},
     Request::kLongVersion,
     [](Settings* s) { s->SourceChar = "AB"; }},
    {"LongHelpStopsReading",
     {"-w", "--help", "-V"},
     Request::kLongHelp,
     [](Settings* s) { s->ShowTable = true; }},
    {"LongNearMissesIgnored",
     {"--Help", "--help=x", "--versio", "--"},
     Request::kSubstitute,
     nullptr},
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
