#include "tools/vorn_table/check.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "platform/cp932.h"
#include "substitute/ms932_code.h"

namespace vorn {
namespace {

// True when the line's bytes (only its first ones are kept) hold a
// two-byte character of code page 932: a lead byte with a byte after it.
bool HoldsTwoByteCharacter(const ListLine& line) {
  for (std::size_t i = 0; i + 1 < line.head.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(line.head[i]))) return true;
  }
  return false;
}

enum class Utf8Shape { kAscii, kUtf8, kOther };

// Whether `bytes` read as UTF-8 with at least one character beyond ASCII.
// `cut` says the bytes are only the start of the line, so a character cut
// short at their end still counts.
Utf8Shape ShapeOf(const std::string& bytes, bool cut) {
  bool beyond_ascii = false;
  for (std::size_t i = 0; i < bytes.size();) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    std::size_t length = byte < 0x80                    ? 1
                         : byte >= 0xC2 && byte <= 0xDF ? 2
                         : byte >= 0xE0 && byte <= 0xEF ? 3
                         : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                        : 0;
    if (length == 0) return Utf8Shape::kOther;
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k == bytes.size()) return cut ? Utf8Shape::kUtf8 : Utf8Shape::kOther;
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return Utf8Shape::kOther;
    }
    beyond_ascii = beyond_ascii || length > 1;
    i += length;
  }
  return beyond_ascii ? Utf8Shape::kUtf8 : Utf8Shape::kAscii;
}

// "8740 ①", or for a text of no complete character what vorn takes instead.
std::string Described(std::uint32_t code, const std::string& text, CharacterDisplay& display) {
  if (code < kIncompleteCode) return CodeText(code) + " " + display.OfCode(code);
  if (text.empty()) return CodeText(code) + " (nothing)";
  char lone[32];
  (void)std::snprintf(lone, sizeof lone, " (lone byte %02X)", static_cast<unsigned char>(text[0]));
  return CodeText(code) + lone;
}

}  // namespace

std::size_t ListCheck::warned_lines() const {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [](const CheckedLine& line) { return line.warned(); }));
}

bool CheckList(Env& env, SequentialFile* file, const std::vector<Record>& records, ListCheck* check,
               IoError* error) {
  std::map<std::uint32_t, ValueBytes> values = ValuesByCode(records);
  std::map<std::uint32_t, std::size_t> record_count;
  for (const Record& record : records) ++record_count[record.code];
  // Per source code: the lines applied so far, and the last one of them.
  std::map<std::uint32_t, std::pair<std::size_t, std::size_t>> applied;

  ListReader reader(env, file);
  bool utf8_lines = false;
  bool other_lines = false;
  ListLine line;
  while (check->lines.size() < MaxSubstitutes) {
    ListRead read = reader.Next(&line, error);
    if (read == ListRead::kFailed) return false;
    if (read == ListRead::kEnd) break;

    CheckedLine checked;
    checked.line = line;
    checked.substitute = SubstituteOf(line);
    checked.source = MS932Code(checked.substitute.Source);
    checked.replacement = MS932Code(checked.substitute.Replacement);
    checked.not_four_bytes = line.length != 4 && HoldsTwoByteCharacter(line);
    checked.not_converted = reader.utf8() && !line.converted;
    if (!reader.utf8()) {
      Utf8Shape shape = ShapeOf(line.head, line.head.size() < line.length);
      utf8_lines = utf8_lines || shape == Utf8Shape::kUtf8;
      other_lines = other_lines || shape == Utf8Shape::kOther;
    }

    auto records_of_source = record_count.find(checked.source);
    checked.no_record = records_of_source == record_count.end();
    if (!checked.no_record) {
      auto& [count, last] = applied[checked.source];
      if (count == records_of_source->second) {
        checked.taken_by = last;
      } else {
        ++count;
        last = line.number;
        auto value = values.find(checked.replacement);
        checked.unmapped_replacement = value == values.end() || IsUnmapped(value->second);
      }
    }
    check->lines.push_back(checked);
  }
  if (check->lines.size() == MaxSubstitutes &&
      !reader.MoreLines(&check->lines_after_limit, error)) {
    return false;
  }
  check->ended_by_ctrl_z = reader.ended_by_ctrl_z();
  check->looks_like_utf8 = utf8_lines && !other_lines;
  return true;
}

std::string CheckReport(const ListCheck& check, CharacterDisplay& display) {
  std::string report;
  if (check.looks_like_utf8) {
    report +=
        "warning: the list looks like UTF-8 without a byte-order mark, which vorn reads as code "
        "page 932 bytes: save it as UTF-8 with BOM, or as code page 932 (Shift_JIS)\n";
  }
  for (const CheckedLine& line : check.lines) {
    report += std::to_string(line.line.number) + ": " +
              Described(line.source, line.substitute.Source, display) + " -> " +
              Described(line.replacement, line.substitute.Replacement, display) + "\n";
    if (line.not_converted) {
      report +=
          "  warning: not UTF-8 of code page 932 characters: vorn takes its bytes as "
          "they are\n";
    }
    if (line.not_four_bytes) {
      report += "  warning: " + std::to_string(line.line.length) +
                " bytes, not 4: vorn reads two one-byte characters\n";
    }
    if (line.no_record)
      report += "  warning: the table has no record of the source: nothing changes\n";
    if (line.taken_by != 0) {
      report += "  warning: never applied: line " + std::to_string(line.taken_by) +
                " already takes the source's record\n";
    }
    if (line.unmapped_replacement) {
      report += "  warning: the table leaves the replacement unmapped: the record becomes 00 00\n";
    }
  }
  if (check.ended_by_ctrl_z) {
    report += "warning: a Ctrl-Z ends the list after line " + std::to_string(check.lines.size()) +
              ": vorn reads nothing after it\n";
  }
  if (check.lines_after_limit) {
    report += "warning: more lines follow line " + std::to_string(MaxSubstitutes) +
              ": vorn never reads them\n";
  }
  std::size_t warned = check.warned_lines();
  report += std::to_string(check.lines.size()) +
            (check.lines.size() == 1 ? " line, " : " lines, ") +
            (warned == 0 ? std::string("none") : std::to_string(warned)) + " with warnings\n";
  return report;
}

}  // namespace vorn
