// Many substitutions at once, read from a list file with one per line.
#ifndef VORN_SUBSTITUTE_SUBSTITUTE_LIST_H_
#define VORN_SUBSTITUTE_SUBSTITUTE_LIST_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "platform/env.h"

namespace vorn {

// A file read from its start to its end, piece by piece; it need not be
// seekable (a pipe, a terminal).
class SequentialFile {
 public:
  virtual ~SequentialFile() = default;
  // Reads up to `size` bytes into `data`; `*got` is 0 only at the end.
  virtual bool Read(std::uint8_t* data, std::size_t size, std::size_t* got, IoError* error) = 0;
  // Closes the file, reporting a failure; a file not closed so is closed
  // when destroyed.
  virtual bool Close(IoError*) { return true; }
};

// Opens the file `name` to be read from start to end, whatever kind it is.
bool OpenSequentialFile(Env& env, const std::string& name, std::unique_ptr<SequentialFile>* file,
                        IoError* error);

// Lines after this many are never read.
inline constexpr std::size_t MaxSubstitutes = 906;

// One substitution from the list file.
struct NormalSubstitute {
  std::uint8_t Pending = 0;  // 1 until applied to a record
  std::string Source;        // the character to replace
  std::string Replacement;   // the character whose value bytes stand in
};

// The list's substitutions, in list order.
using Substitutes = std::vector<NormalSubstitute>;

// How a line of a list ended.  A line cut short by a Ctrl-Z byte, or
// ended by the end of the file, has no terminator.
enum class LineEnd { kLF, kCR, kCRLF, kNone };

// One line of a list file, as the line rules see it.  Of its bytes only
// the first few are kept, so that a line of any length costs the same.
struct ListLine {
  static constexpr std::size_t kHeadBytes = 8;
  std::size_t number = 0;  // 1 for the first line
  std::string head;        // its first bytes, at most kHeadBytes of them
  std::size_t length = 0;  // its length in bytes, terminator not counted
  LineEnd end = LineEnd::kNone;
  // In a UTF-8 list: the line converted, and head and length are those of
  // its code page 932 text (otherwise they are those of its bytes).
  bool converted = false;
};

enum class ListRead { kLine, kEnd, kFailed };

// Reads a list file a line at a time: a line ends at LF, CR or CR LF, a
// Ctrl-Z byte ends the list, and a last line without a terminator still
// counts.  A list that begins with the UTF-8 byte-order mark is UTF-8: the
// mark is dropped and each line that converts to code page 932 as a whole
// (by Env::Utf8ToCP932) is taken as its code page 932 text.  The file is read in pieces as the
// lines are asked for, never beyond a Ctrl-Z, and beyond a line only
// after its CR (to tell a CR LF), so memory stays bounded and a list that
// never ends is read only as far as it is used.
class ListReader {
 public:
  ListReader(Env& env, SequentialFile* file);
  ListReader(const ListReader&) = delete;
  ListReader& operator=(const ListReader&) = delete;

  // kLine with the next line in `line`; kEnd when the list holds no more
  // lines; kFailed when the file cannot be read, as `error` says.
  ListRead Next(ListLine* line, IoError* error);

  // Whether another line follows those read so far, reading at most one
  // more piece of the file to tell.
  bool MoreLines(bool* more, IoError* error);

  // A Ctrl-Z byte has ended the list (seen by Next or MoreLines).
  bool ended_by_ctrl_z() const { return ctrl_z_; }
  // The list began with the UTF-8 byte-order mark.
  bool utf8() const { return utf8_; }

 private:
  bool Start(IoError* error);
  // Makes at least `count` unread bytes available, unless the file ends
  // first (then `eof_`).
  bool Fill(std::size_t count, IoError* error);
  void AddToLine(const std::uint8_t* data, std::size_t size);
  void ConvertPending(bool line_ends);

  Env& env_;
  SequentialFile* file_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t begin_ = 0;  // the unread bytes are buffer_[begin_, end_)
  std::size_t end_ = 0;
  bool eof_ = false;
  bool started_ = false;
  bool utf8_ = false;
  bool ctrl_z_ = false;
  std::size_t lines_ = 0;
  // The line being read: its bytes as they are, and in a UTF-8 list its
  // code page 932 text, converted a few characters at a time.
  ListLine raw_;
  ListLine converted_;
  std::string pending_;  // UTF-8 bytes not yet converted
  bool converts_ = true;
};

// The substitution a list line holds.  A line of exactly four bytes holds
// two two-byte characters; any other line two one-byte characters (each
// empty where the line is too short).
NormalSubstitute SubstituteOf(const ListLine& line);

// Reads the substitutions of the list `file`, each pending, from at most
// MaxSubstitutes lines.
bool ReadSubstitutes(Env& env, SequentialFile* file, Substitutes* substitutes, IoError* error);

// The list rewrite pass, in place.  Each pending entry applies once, to
// the first record in table order keyed by its source's code; of several
// entries with the same source, the first in the list takes the first
// matching record, the next one the next.  Applied entries stop pending.
void ListRewritePass(ByteBuffer& table, Substitutes& substitutes, const SparseEUC& store);

// Reads the list, loads the table, reads it again, rewrites it and writes
// the customised copy.  A list that cannot be read fails the run before
// the table is looked for.
Outcome SubstituteList(Env& env, const TablePaths& paths, const std::string& list_name,
                       const std::string& output_name, bool show_table, IoError* error);

}  // namespace vorn

#endif  // VORN_SUBSTITUTE_SUBSTITUTE_LIST_H_
