#include "main/vorn.h"

#include <gtest/gtest.h>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "platform/failure_report.h"
#include "tests/fake_env.h"
#include "tests/test_table.h"

namespace vorn {
namespace {

using Lines = std::vector<std::string>;

const std::string kArrowLine = "8740 \x81\xCB 8250";

class RunVornTest : public testing::Test {
 protected:
  void SetUp() override {
    table_ = SingleByteRecordsPart() + Record(0x81, 0x51, 0xA1, 0xB2) +
             Record(0x82, 0x50, 0xA3, 0xB1) + Record(0x87, 0x40, 0, 0);
    substituted_ = SingleByteRecordsPart() + Record(0x81, 0x51, 0xA1, 0xB2) +
                   Record(0x82, 0x50, 0xA3, 0xB1) + Record(0x87, 0x40, 0xA3, 0xB1);
  }

  std::string table_;
  std::string substituted_;
  FakeEnv env_;
};

TEST_F(RunVornTest, SingleSubstitutionRewritesTheTableInPlace) {
  env_.files[kTableName] = table_;
  EXPECT_EQ(RunVorn(env_, kTestPaths, {"-w", "-s\x87\x40", "-e\x82\x50"}), kExitDone);
  EXPECT_EQ(env_.lines, (Lines{"MS932~EUC-JP.bin is primarily accessible to vorn.", kArrowLine}));
  EXPECT_EQ(env_.files[kTableName], substituted_);
}

TEST_F(RunVornTest, EmptyOutputNameCopiesToStandardOutput) {
  env_.files[kTableName] = table_;
  EXPECT_EQ(RunVorn(env_, kTestPaths, {"-s\x87\x40", "-e\x82\x50", ""}), kExitDone);
  EXPECT_EQ(env_.standard_output, substituted_);
  EXPECT_EQ(env_.files[kTableName], table_);
}

TEST_F(RunVornTest, ListSubstitutionPrintsNothing) {
  env_.files[kTableName] = table_;
  env_.files["bars.txt"] = "\x87\x40\x82\x50\r\n";
  EXPECT_EQ(RunVorn(env_, kTestPaths, {"-f", "bars.txt", "out.bin"}), kExitDone);
  EXPECT_TRUE(env_.lines.empty());
  EXPECT_EQ(env_.files["out.bin"], substituted_);
  EXPECT_EQ(env_.files[kTableName], table_);
}

TEST_F(RunVornTest, MissingTableStopsSilently) {
  env_.files["bars.txt"] = "";
  for (const Lines& arguments : {Lines{"-w"}, Lines{"-f", "bars.txt", "-w"}}) {
    EXPECT_EQ(RunVorn(env_, kTestPaths, arguments), kExitStopped);
  }
  EXPECT_TRUE(env_.lines.empty());
  EXPECT_TRUE(env_.reports.empty());
  EXPECT_EQ(env_.files.size(), 1u);
}

TEST_F(RunVornTest, TableGoneBeforeTheSecondReadStopsWithoutOutput) {
  env_.files[kTableName] = table_;
  env_.after_read = [&](const std::string& name) { env_.files.erase(name); };
  EXPECT_EQ(RunVorn(env_, kTestPaths, {"out.bin"}), kExitStopped);
  EXPECT_EQ(env_.lines, Lines{"8740 \x81\xCB 8151"});
  EXPECT_TRUE(env_.files.empty());
}

TEST_F(RunVornTest, FileFailuresEndWithTheReport) {
  const struct {
    const char* name;
    Lines arguments;
    std::string failing;  // the file that fails
    bool table_exists;
    Lines lines;  // printed before the failure
  } cases[] = {
      {"unreadable table", {}, kTableName, true, {}},
      {"unwritable output", {"out.bin"}, "out.bin", true, {"8740 \x81\xCB 8151"}},
      {"unreadable list", {"-f", "bars.txt"}, "bars.txt", true, {}},
      // The list is read before the table is looked for.
      {"unreadable list, no table", {"-f", "bars.txt"}, "bars.txt", false, {}},
  };
  for (const auto& c : cases) {
    FakeEnv env;
    if (c.table_exists) env.files[kTableName] = table_;
    env.files["bars.txt"] = "";
    env.failing[c.failing] = "Access denied";
    EXPECT_EQ(RunVorn(env, kTestPaths, c.arguments), kFailureExitStatus) << c.name;
    EXPECT_EQ(env.reports, Lines{"Access denied"}) << c.name;
    EXPECT_EQ(env.lines, c.lines) << c.name;
    EXPECT_EQ(env.files.count("out.bin"), 0u) << c.name;
    if (c.table_exists) {
      EXPECT_EQ(env.files[kTableName], table_) << c.name;
    }
  }
}

TEST_F(RunVornTest, VersionListing) {
  const std::size_t commented_lengths[] = {50, 47, 72, 75, 74, 55, 31, 45};
  for (bool with_comments : {false, true}) {
    FakeEnv env;
    env.files[kTableName] = table_;
    EXPECT_EQ(RunVorn(env, kTestPaths, {"-w", with_comments ? "-VC" : "-V", "out.bin"}),
              kExitStopped);
    ASSERT_EQ(env.lines.size(), 10u);
    EXPECT_EQ(env.lines[0], "vorn Version 1.01");
    EXPECT_EQ(env.lines[1], "");
    for (std::size_t i = 0; i < 8; ++i) {
      EXPECT_EQ(env.lines[i + 2].size(), with_comments ? commented_lengths[i] : 21u) << i;
    }
    EXPECT_EQ(env.files.size(), 1u);
    EXPECT_EQ(env.files[kTableName], table_);
  }
}

TEST_F(RunVornTest, LongOptionsListAsACompletedRun) {
  for (bool help : {false, true}) {
    FakeEnv env;
    env.files[kTableName] = table_;
    EXPECT_EQ(RunVorn(env, kTestPaths, {"-w", help ? "--help" : "--version", "out.bin"}),
              kExitDone);
    FakeEnv listing;
    EXPECT_EQ(RunVorn(listing, kTestPaths, {help ? "-VC" : "-V"}), kExitStopped);
    EXPECT_EQ(env.lines, listing.lines);
    EXPECT_EQ(env.files.size(), 1u);
    EXPECT_EQ(env.files[kTableName], table_);
  }
}

}  // namespace
}  // namespace vorn
