// vorn-table: makes, shows and compares the conversion tables vorn
// customises.  See --help, or the vorn-table(1) manual page.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "main/version.h"
#include "platform/env.h"
#include "substitute/output_file.h"
#include "substitute/substitute_list.h"
#include "tools/vorn_table/character_argument.h"
#include "tools/vorn_table/chart.h"
#include "tools/vorn_table/check.h"
#include "tools/vorn_table/convert.h"
#include "tools/vorn_table/display.h"
#include "tools/vorn_table/standard_table.h"
#include "tools/vorn_table/status.h"
#include "tools/vorn_table/suggest.h"
#include "tools/vorn_table/table_records.h"
#include "tools/vorn_table/terminal.h"

namespace vorn {
namespace {

constexpr char kHelp[] =
    "Usage: vorn-table COMMAND [ARGUMENT...]\n"
    "Makes, shows and compares the conversion tables vorn customises.\n"
    "\n"
    "  make [--to EUC-JP|EUC-JP-MS] [--force] [FILE]\n"
    "      write the standard table to FILE (default MS932~EUC-JP.bin);\n"
    "      an existing FILE is only replaced with --force\n"
    "  show [--table FILE] [CHAR...]\n"
    "      each CHAR's record, or every record: code, character, value\n"
    "      bytes and the EUC-JP character they stand for\n"
    "  unmapped [--table FILE]\n"
    "      every record whose value bytes are 00 00, then their count\n"
    "  diff A B\n"
    "      every code whose value bytes differ, then their count\n"
    "  suggest [--table FILE] [--fill CHAR] [--utf8]\n"
    "      a list for vorn -f that gives each unmapped code the bytes of the\n"
    "      same character elsewhere in the table (\xE2\x91\xA0 takes \xEF\xBC\x91's); --fill CHAR\n"
    "      gives the rest CHAR's, --utf8 writes the list as UTF-8 with a BOM\n"
    "  check LIST [--table FILE]\n"
    "      what vorn -f LIST will do, line by line, with a warning where the\n"
    "      list does not do what it looks like it does (exit status 1)\n"
    "  convert [--table FILE] [INPUT [OUTPUT]]\n"
    "      CP932 text to EUC-JP with the table (standard input and output\n"
    "      by default, or -); unmapped characters become ? and are listed\n"
    "  chart [--table FILE] [--against REF] [-o OUT.html]\n"
    "      the table as a code chart in one web page (to standard output\n"
    "      without -o): each code's state, and with --against what changed\n"
    "\n"
    "A CHAR is one character (\xE2\x91\xA0), a code (8740 or 0x8740) or U+2460.\n"
    "Without --table the table is found as vorn finds it: the installed one,\n"
    "else MS932~EUC-JP.bin in the current folder.\n"
    "\n"
    "Exit status: 0 done (diff: the tables agree), 1 the tables differ\n"
    "(convert: characters were left unmapped), 2 trouble.\n";

// The command's arguments once its options are taken out.
struct Arguments {
  // Where the table is looked for without --table: the program's places.
  TablePaths places;
  std::vector<std::string> operands;
  std::string to = "EUC-JP";
  std::string table;
  std::string fill;
  std::string against;
  std::string output;
  bool force = false;
  bool utf8 = false;
};

// Reads the options the command has, of "--to", "--table", "--fill",
// "--against" and "-o" (each with a value, as "--to X" or "--to=X") and
// "--force" and "--utf8"; "--" ends the options.  False after reporting.
bool ReadOptions(const std::vector<std::string>& args,
                 std::initializer_list<std::string_view> accepted, Arguments* out, int* status) {
  bool options_done = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      out->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    std::string name = arg.substr(0, arg.find('='));
    bool inline_value = name.size() < arg.size();
    bool known = std::find(accepted.begin(), accepted.end(), name) != accepted.end();
    std::string* value_of = name == "--to"        ? &out->to
                            : name == "--table"   ? &out->table
                            : name == "--fill"    ? &out->fill
                            : name == "--against" ? &out->against
                            : name == "-o"        ? &out->output
                                                  : nullptr;
    if (known && value_of != nullptr) {
      std::string value;
      if (inline_value) {
        value = arg.substr(name.size() + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        *status = Fail(name, "missing value");
        return false;
      }
      if (value.empty()) {
        *status = Fail(name, "empty value");
        return false;
      }
      *value_of = value;
    } else if (known && !inline_value) {
      (name == "--force" ? out->force : out->utf8) = true;
    } else {
      *status = Fail(arg, "unknown option for " + args[0]);
      return false;
    }
  }
  return true;
}

// Writes `file` whole, replacing what it held only once all is written.
bool WriteWholeFile(const std::string& file, const void* data, std::size_t size, int* status) {
  IoError error;
  if (!WriteOutputFile(*Env::Default(), file, static_cast<const std::uint8_t*>(data), size,
                       &error)) {
    *status = Fail(file, error.message);
    return false;
  }
  return true;
}

int Make(const Arguments& arguments) {
  if (arguments.operands.size() > 1) return Fail("make", "one FILE at most");
  if (arguments.to != "EUC-JP" && arguments.to != "EUC-JP-MS") {
    return Fail("--to", "EUC-JP or EUC-JP-MS, not " + arguments.to);
  }
  std::string file = arguments.operands.empty() ? kTableName : arguments.operands[0];
  if (file.empty()) return Fail("make", "empty file name");

  if (!arguments.force) {
    // Anything of that name counts, a folder included, and so does a link
    // to a missing file: its name is not the one it stands for.
    FileKind kind = FileKind::kMissing;
    std::string target;
    IoError error;
    if (!Env::Default()->Examine(file, &kind, &target, &error)) return Fail(file, error.message);
    if (kind != FileKind::kMissing || target != file) {
      return Fail(file, "already exists (--force replaces it)");
    }
  }
  TableCounts counts;
  std::vector<std::uint8_t> table = BuildStandardTable(
      arguments.to == "EUC-JP" ? EucVariant::kEucJp : EucVariant::kEucJpMs, &counts);

  int status = kExitSame;
  if (!WriteWholeFile(file, table.data(), table.size(), &status)) return status;
  WriteText(stdout, file + ": " + std::to_string(counts.records) + " records, " +
                        std::to_string(counts.mapped) + " mapped, " +
                        std::to_string(counts.records - counts.mapped) + " left as 00 00\n");
  return kExitSame;
}

// Reads `name`, or without a name the table vorn would use, found in
// `places`; `path` (if given) gets the name of the file read.
bool LoadTable(const TablePaths& places, const std::string& name, std::vector<Record>* records,
               int* status, std::string* path = nullptr) {
  Env& env = *Env::Default();
  IoError error;
  TableFile table;
  if (name.empty()) {
    switch (ReadTableFile(env, places, &table, &error)) {
      case Outcome::kDone:
        break;
      case Outcome::kTableMissing:
        *status = Fail(kTableName, "not found as " + places[0] + " nor in the current folder");
        return false;
      case Outcome::kFailed:
        *status = Fail(table.path, error.message);
        return false;
    }
  } else {
    table.path = name;
    if (!ReadWholeFile(env, name, &table.bytes, &error)) {
      *status = Fail(name, error.message);
      return false;
    }
  }
  *records = RecordsOf(table.bytes);
  if (path != nullptr) *path = table.path;
  return true;
}

void PrintRecordLine(CharacterDisplay& display, std::uint32_t code, const ValueBytes& value) {
  std::string line = CodeText(code) + " " + display.OfCode(code) + " " + ValueText(value) + " " +
                     (IsUnmapped(value) ? "unmapped" : display.OfValue(value));
  WriteText(stdout, line + "\n");
}

// A CHAR typed in the user's charset as code page 932 bytes, as vorn
// takes its character options.
std::string TypedToCP932(std::string_view value) {
  return Env::Default()->CharacterOptionToCP932(value);
}

int Show(const Arguments& arguments) {
  std::vector<std::uint32_t> codes;
  for (const std::string& text : arguments.operands) {
    std::uint32_t code = 0;
    std::string why;
    if (!ParseCharacter(text, TypedToCP932, &code, &why)) return Fail(text, why);
    codes.push_back(code);
  }
  std::vector<Record> records;
  int status = kExitSame;
  if (!LoadTable(arguments.places, arguments.table, &records, &status)) return status;

  CharacterDisplay display;
  if (codes.empty()) {
    for (const Record& record : records) PrintRecordLine(display, record.code, record.value);
    return kExitSame;
  }
  std::map<std::uint32_t, ValueBytes> values = ValuesByCode(records);
  for (std::uint32_t code : codes) {
    auto found = values.find(code);
    if (found != values.end()) {
      PrintRecordLine(display, code, found->second);
    } else {
      WriteText(stdout, CodeText(code) + " " + display.OfCode(code) + " no record\n");
    }
  }
  return kExitSame;
}

int Unmapped(const Arguments& arguments) {
  if (!arguments.operands.empty()) return Fail(arguments.operands[0], "unexpected argument");
  std::vector<Record> records;
  int status = kExitSame;
  if (!LoadTable(arguments.places, arguments.table, &records, &status)) return status;

  CharacterDisplay display;
  std::size_t unmapped = 0;
  for (const Record& record : records) {
    if (!IsUnmapped(record.value)) continue;
    ++unmapped;
    WriteText(stdout, CodeText(record.code) + " " + display.OfCode(record.code) + "\n");
  }
  WriteText(stdout, std::to_string(unmapped) + " unmapped of " + std::to_string(records.size()) +
                        " records\n");
  return kExitSame;
}

std::string SideText(CharacterDisplay& display, const std::optional<ValueBytes>& value) {
  if (!value) return "no record";
  return ValueText(*value) + " " + (IsUnmapped(*value) ? "unmapped" : display.OfValue(*value));
}

int Diff(const Arguments& arguments) {
  if (arguments.operands.size() != 2) return Fail("diff", "two table files expected");
  std::vector<Record> a;
  std::vector<Record> b;
  int status = kExitSame;
  if (!LoadTable(arguments.places, arguments.operands[0], &a, &status) ||
      !LoadTable(arguments.places, arguments.operands[1], &b, &status)) {
    return status;
  }
  CharacterDisplay display;
  std::vector<Difference> differences = Differences(a, b);
  for (const Difference& difference : differences) {
    std::string line = CodeText(difference.code) + " " + display.OfCode(difference.code) + ": " +
                       SideText(display, difference.a) + " | " + SideText(display, difference.b);
    WriteText(stdout, line + "\n");
  }
  WriteText(stdout, std::to_string(differences.size()) +
                        (differences.size() == 1 ? " code differs\n" : " codes differ\n"));
  return differences.empty() ? kExitSame : kExitDifferent;
}

int Suggest(const Arguments& arguments) {
  if (!arguments.operands.empty()) return Fail(arguments.operands[0], "unexpected argument");
  std::uint32_t fill = 0;
  std::string why;
  if (!arguments.fill.empty() && !ParseCharacter(arguments.fill, TypedToCP932, &fill, &why)) {
    return Fail(arguments.fill, why);
  }
  std::vector<Record> records;
  int status = kExitSame;
  if (!LoadTable(arguments.places, arguments.table, &records, &status)) return status;
  std::map<std::uint32_t, ValueBytes> values = ValuesByCode(records);
  if (!arguments.fill.empty() && !CanFill(values, fill, &why)) return Fail(arguments.fill, why);
  WriteSuggestions(FindSuggestions(values, fill), arguments.utf8);
  return kExitSame;
}

int Check(const Arguments& arguments) {
  if (arguments.operands.size() != 1) return Fail("check", "one LIST expected");
  const std::string& list_name = arguments.operands[0];
  IoError error;
  std::unique_ptr<SequentialFile> list;
  if (!OpenSequentialFile(*Env::Default(), list_name, &list, &error)) {
    return Fail(list_name, error.message);
  }
  std::vector<Record> records;
  int status = kExitSame;
  if (!LoadTable(arguments.places, arguments.table, &records, &status)) return status;
  ListCheck check;
  if (!CheckList(*Env::Default(), list.get(), records, &check, &error) || !list->Close(&error)) {
    return Fail(list_name, error.message);
  }
  CharacterDisplay display;
  WriteText(stdout, CheckReport(check, display));
  return check.warned() ? kExitDifferent : kExitSame;
}

int Convert(const Arguments& arguments) {
  const std::vector<std::string>& files = arguments.operands;
  if (files.size() > 2) return Fail("convert", "INPUT and OUTPUT at most");
  std::vector<Record> records;
  int status = kExitSame;
  if (!LoadTable(arguments.places, arguments.table, &records, &status)) return status;
  return ConvertFile(ValuesByCode(records), files.empty() ? "-" : files[0],
                     files.size() < 2 ? "-" : files[1]);
}

int ChartCommand(const Arguments& arguments) {
  if (!arguments.operands.empty()) return Fail(arguments.operands[0], "unexpected argument");
  std::vector<Record> records;
  std::vector<Record> reference;
  std::string path;
  int status = kExitSame;
  if (!LoadTable(arguments.places, arguments.table, &records, &status, &path)) return status;
  bool compared = !arguments.against.empty();
  if (compared && !LoadTable(arguments.places, arguments.against, &reference, &status))
    return status;

  std::string page = ChartPage(ChartOf(records, compared ? &reference : nullptr), path,
                               compared ? &arguments.against : nullptr);
  if (arguments.output.empty() || arguments.output == "-") {
    // A failed write shows when main flushes standard output.
    (void)std::fwrite(page.data(), 1, page.size(), stdout);
    return kExitSame;
  }
  return WriteWholeFile(arguments.output, page.data(), page.size(), &status) ? kExitSame : status;
}

int Run(const TablePaths& places, const std::vector<std::string>& args) {
  if (args.empty()) return Fail("missing command", "try vorn-table --help");
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help") {
      WriteText(stdout, CharacterDisplay().OfText(kHelp));
      return kExitSame;
    }
    if (arg == "--version") {
      WriteText(stdout, std::string("vorn-table ") + kVersion + "\n");
      return kExitSame;
    }
  }
  const std::string& command = args[0];
  Arguments arguments;
  arguments.places = places;
  int status = kExitSame;
  if (command == "make") {
    if (!ReadOptions(args, {"--to", "--force"}, &arguments, &status)) return status;
    return Make(arguments);
  }
  if (command == "show" || command == "unmapped") {
    if (!ReadOptions(args, {"--table"}, &arguments, &status)) return status;
    return command == "show" ? Show(arguments) : Unmapped(arguments);
  }
  if (command == "diff") {
    if (!ReadOptions(args, {}, &arguments, &status)) return status;
    return Diff(arguments);
  }
  if (command == "suggest") {
    if (!ReadOptions(args, {"--table", "--fill", "--utf8"}, &arguments, &status)) return status;
    return Suggest(arguments);
  }
  if (command == "check") {
    if (!ReadOptions(args, {"--table"}, &arguments, &status)) return status;
    return Check(arguments);
  }
  if (command == "convert") {
    if (!ReadOptions(args, {"--table"}, &arguments, &status)) return status;
    return Convert(arguments);
  }
  if (command == "chart") {
    if (!ReadOptions(args, {"--table", "--against", "-o"}, &arguments, &status)) return status;
    return ChartCommand(arguments);
  }
  return Fail(command,
              "unknown command (make, show, unmapped, diff, suggest, check, convert or chart)");
}

}  // namespace
}  // namespace vorn

// The installed table's place is given by the build (VORN_INSTALLED_TABLE);
// the end-to-end tests build this file with a place of their own.
int main(int argc, char** argv) {
  vorn::InitializeProcess();
  vorn::PrepareTextStreams();
  const vorn::TablePaths places = {VORN_INSTALLED_TABLE, vorn::kTableName};
  int status = vorn::Run(places, vorn::CommandLineArguments(argc, argv));
  // A write that failed before the end leaves nothing for fflush to fail
  // on, only the stream's error flag.
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    status = vorn::Fail("standard output", "write failed");
  }
  return status;
}
