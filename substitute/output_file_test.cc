// The output writer on the fake file primitives: where the bytes go, and
// that no failure and no interrupt at any moment loses the old file or
// leaves another file behind.
#include "substitute/output_file.h"

#include <gtest/gtest.h>

#include "tests/fake_env.h"

namespace vorn {
namespace {

using Files = std::map<std::string, std::string>;

const std::string kNew = "the new table";
const std::string kOld = "the old table, longer than the new one";

bool WriteNew(FakeEnv& env, const std::string& name, IoError* error) {
  return WriteOutputFile(env, name, reinterpret_cast<const std::uint8_t*>(kNew.data()), kNew.size(),
                         error);
}

void ExpectNothingLeftOpen(const FakeEnv& env, const char* name) {
  EXPECT_EQ(env.open_files(), 0u) << name;
  EXPECT_EQ(env.holds, 0) << name;
  EXPECT_EQ(env.unfinished, nullptr) << name;
}

TEST(WriteOutputFileTest, WhereTheBytesGo) {
  const struct {
    const char* name;
    std::string output;
    std::function<void(FakeEnv&)> prepare;
    std::string message;  // empty: written
    Files files;          // afterwards
    std::string protection;
  } cases[] = {
      {"an existing file is replaced and keeps its protection", "out.bin",
       [](FakeEnv& env) {
         env.files["out.bin"] = kOld;
         env.protection["out.bin"] = "0640 with an access list";
       },
       "", Files{{"out.bin", kNew}}, "0640 with an access list"},
      {"a new file", "out.bin", [](FakeEnv&) {}, "", Files{{"out.bin", kNew}}, "of a new file"},
      {"a read-only file is refused", "out.bin",
       [](FakeEnv& env) {
         env.files["out.bin"] = kOld;
         env.read_only.insert("out.bin");
       },
       "Access denied", Files{{"out.bin", kOld}}, ""},
      {"a folder is refused", "out", [](FakeEnv& env) { env.folders.insert("out"); },
       "Access denied", Files{}, ""},
      {"a folder that refuses a new file", "out.bin",
       [](FakeEnv& env) { env.folder_refuses = true; }, "Access denied", Files{}, ""},
      {"a folder that refuses a new file: the file is written in place", "out.bin",
       [](FakeEnv& env) {
         env.files["out.bin"] = kOld;
         env.protection["out.bin"] = "0666";
         env.folder_refuses = true;
       },
       "", Files{{"out.bin", kNew}}, "0666"},
      {"no room for a longer name: the file is written in place", "out.bin",
       [](FakeEnv& env) {
         env.files["out.bin"] = kOld;
         env.longest_name = 7;
       },
       "", Files{{"out.bin", kNew}}, ""},
      {"no room for a longer name: a new file is made under its own name", "out.bin",
       [](FakeEnv& env) { env.longest_name = 7; }, "", Files{{"out.bin", kNew}}, "of a new file"},
      {"a name too long even alone", "out.bin", [](FakeEnv& env) { env.longest_name = 6; },
       "Invalid filename", Files{}, ""},
      {"a name whose existence cannot be learned", "out.bin",
       [](FakeEnv& env) {
         env.files["out.bin"] = kOld;
         env.failing["out.bin"] = "Unknown Run-Time error : 005";
       },
       "Unknown Run-Time error : 005", Files{{"out.bin", kOld}}, ""},
  };
  for (const auto& c : cases) {
    FakeEnv env;
    c.prepare(env);
    IoError error;
    EXPECT_EQ(WriteNew(env, c.output, &error), c.message.empty()) << c.name;
    if (!c.message.empty()) {
      EXPECT_EQ(error.message, c.message) << c.name;
    }
    EXPECT_EQ(env.files, c.files) << c.name;
    if (!c.protection.empty()) {
      EXPECT_EQ(env.protection["out.bin"], c.protection) << c.name;
    }
    ExpectNothingLeftOpen(env, c.name);
  }
}

TEST(WriteOutputFileTest, DevicesAndStandardOutputAreWrittenAsTheyAre) {
  FakeEnv env;
  env.devices["/dev/null"] = "";
  IoError error;
  EXPECT_TRUE(WriteNew(env, "/dev/null", &error));
  EXPECT_TRUE(WriteNew(env, "", &error));
  EXPECT_EQ(env.devices["/dev/null"], kNew);
  EXPECT_EQ(env.standard_output, kNew);
  EXPECT_TRUE(env.files.empty());
  ExpectNothingLeftOpen(env, "devices");
}

// The ways to a written file, each with what the folder holds before and
// after.
struct Way {
  const char* name;
  std::function<void(FakeEnv&)> prepare;
  Files before;
  bool in_place = false;
};

const Way kReplaced{"an existing file replaced",
                    [](FakeEnv& env) { env.files["out.bin"] = kOld; },
                    {{"out.bin", kOld}}};
const Way kCreated{"a new file", [](FakeEnv&) {}, {}};
const Way kUnderItsOwnName{
    "a new file under its own name", [](FakeEnv& env) { env.longest_name = 7; }, {}};
const Way kInPlace{"a file written in place",
                   [](FakeEnv& env) {
                     env.files["out.bin"] = kOld;
                     env.folder_refuses = true;
                   },
                   {{"out.bin", kOld}},
                   true};

// Whatever call fails, the run fails with that call's error, the folder is
// as it was and nothing is left open.  (In place, what is written stays
// written: a failure there is checked below.)
TEST(WriteOutputFileTest, EveryFailedCallLeavesTheFolderAsItWas) {
  for (const Way& way : {kReplaced, kCreated, kUnderItsOwnName}) {
    FakeEnv counting;
    way.prepare(counting);
    IoError error;
    ASSERT_TRUE(WriteNew(counting, "out.bin", &error)) << way.name;
    ASSERT_GT(counting.calls, 4u) << way.name;
    for (std::size_t call = 1; call <= counting.calls; ++call) {
      FakeEnv env;
      way.prepare(env);
      env.fail_at = call;
      EXPECT_FALSE(WriteNew(env, "out.bin", &error)) << way.name << ", call " << call;
      EXPECT_EQ(error.message, "injected") << way.name << ", call " << call;
      EXPECT_EQ(env.files, way.before) << way.name << ", call " << call;
      ExpectNothingLeftOpen(env, way.name);
    }
  }
}

// An interrupt ends the run at once, except while termination is held,
// when it ends the run as the hold ends; either way it first removes the
// unfinished file.  At every call, and at the end of every hold, the
// folder must then hold the old or the new file and nothing else.  The
// calls that make, replace and remove files, and in place every call that
// changes bytes, must be held.
TEST(WriteOutputFileTest, AnInterruptAtAnyMomentLeavesTheOldOrTheNewFile) {
  const std::set<std::string> always_held = {"CreateTemporary", "CreateNew", "Replace", "Remove",
                                             "SetUnfinishedFile"};
  const std::set<std::string> held_in_place = {"Write", "Truncate", "Flush", "Close"};
  for (const Way& way : {kReplaced, kCreated, kUnderItsOwnName, kInPlace}) {
    FakeEnv env;
    way.prepare(env);
    const Files after = {{"out.bin", kNew}};
    int moments = 0;
    env.on_call = [&](const std::string& primitive) {
      if (always_held.count(primitive) != 0 ||
          (way.in_place && held_in_place.count(primitive) != 0)) {
        EXPECT_GT(env.holds, 0) << way.name << ": " << primitive;
      }
      if (env.holds > 0) return;
      ++moments;
      Files left = env.files;
      if (env.unfinished != nullptr) left.erase(env.unfinished);
      EXPECT_TRUE(left == way.before || left == after) << way.name << ": at " << primitive;
    };
    IoError error;
    EXPECT_TRUE(WriteNew(env, "out.bin", &error)) << way.name;
    EXPECT_EQ(env.files, after) << way.name;
    EXPECT_GT(moments, 4) << way.name;
  }
}

TEST(WriteOutputFileTest, InPlaceTheRoomIsReservedBeforeAByteChanges) {
  const struct {
    const char* name;
    bool reserves;
    std::size_t room;
    bool written;
    std::string left;
  } cases[] = {
      {"room enough", true, 100, true, kNew + " and more"},
      // The disk cannot take the new bytes: refused, the old file whole.
      {"too little room", true, 5, false, "old"},
      // A file system that cannot reserve: written as far as it goes.
      {"no reservation", false, 100, true, kNew + " and more"},
  };
  for (const auto& c : cases) {
    FakeEnv env;
    env.files["out.bin"] = "old";
    env.folder_refuses = true;
    env.reserves = c.reserves;
    env.room = c.room;
    const std::string bytes = kNew + " and more";
    IoError error;
    EXPECT_EQ(WriteOutputFile(env, "out.bin", reinterpret_cast<const std::uint8_t*>(bytes.data()),
                              bytes.size(), &error),
              c.written)
        << c.name;
    EXPECT_EQ(env.files["out.bin"], c.left) << c.name;
    if (!c.written) {
      EXPECT_EQ(error.message, "Disk Full") << c.name;
    }
    ExpectNothingLeftOpen(env, c.name);
  }
}

}  // namespace
}  // namespace vorn
