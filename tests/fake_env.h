// An Env of in-memory files for unit tests: files are byte strings by
// name, console lines and failure reports are recorded, and any name can
// be made to fail with a given message.  Its file primitives model what
// the output writer meets on a real system (a folder that refuses new
// files, a limit on the length of names, a disk of limited room, devices,
// read-only files, the protection of each file); any one call can be made
// to fail, and a test can watch every call.  Its UTF-8 converter knows
// ASCII and the few characters the tests use.
#ifndef VORN_TESTS_FAKE_ENV_H_
#define VORN_TESTS_FAKE_ENV_H_

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "platform/env.h"
#include "substitute/substitute_list.h"

namespace vorn {

// A buffer holding the table `bytes` as ReadWholeFile hands it over.
inline ByteBuffer BufferOf(std::string_view bytes) {
  ByteBuffer buffer(bytes.size() + kRecordSize);
  if (!bytes.empty()) std::memcpy(buffer.data(), bytes.data(), bytes.size());
  buffer.set_size(bytes.size());
  return buffer;
}

// A SequentialFile over bytes in memory, handed out in pieces of at most
// `piece` bytes.
class BytesFile : public SequentialFile {
 public:
  explicit BytesFile(std::string_view bytes, std::size_t piece = SIZE_MAX)
      : bytes_(bytes), piece_(piece) {}
  bool Read(std::uint8_t* data, std::size_t size, std::size_t* got, IoError*) override {
    *got = std::min({size, piece_, bytes_.size()});
    bytes_.copy(reinterpret_cast<char*>(data), *got);
    bytes_.remove_prefix(*got);
    return true;
  }

 private:
  std::string_view bytes_;
  std::size_t piece_;
};

class FakeEnv : public Env {
 public:
  std::map<std::string, std::string> files;
  // Names whose examining or reading fails with this message.
  std::map<std::string, std::string> failing;
  std::vector<std::string> lines;
  std::vector<std::string> reports;
  std::string standard_output;
  // Called as each table file read is closed, so a test can change the
  // files between the two reads of the table.
  std::function<void(const std::string&)> after_read;
  // The file SetUnfinishedFile names.
  const char* unfinished = nullptr;

  std::set<std::string> folders;
  std::map<std::string, std::string> devices;  // the bytes written to each
  std::set<std::string> read_only;
  // What CopyMetadata copies: a file's owner, permissions and the like.
  std::map<std::string, std::string> protection;
  bool folder_refuses = false;      // no new file beside another
  std::size_t longest_name = 1000;  // longer names are refused
  std::size_t room = SIZE_MAX;      // bytes the disk can still take
  bool reserves = true;             // whether Reserve can set room aside
  // The calls of the primitives that can fail are counted; the one
  // numbered fail_at fails with the message "injected".
  std::size_t calls = 0;
  std::size_t fail_at = 0;
  // Called as each primitive begins (HoldTermination, ReleaseTermination:
  // once `holds` has changed), with its name.
  std::function<void(const std::string&)> on_call;
  int holds = 0;

  std::size_t open_files() const { return open_.size(); }

  void WriteLine(std::string_view line, LineKind) override { lines.emplace_back(line); }

  bool Examine(const std::string& name, FileKind* kind, std::string* path,
               IoError* error) override {
    if (Injected("Examine", error) || Failing(name, error) || TooLong(name, error)) return false;
    *kind = folders.count(name) != 0                             ? FileKind::kFolder
            : files.count(name) != 0 || devices.count(name) != 0 ? FileKind::kFile
                                                                 : FileKind::kMissing;
    *path = name;
    return true;
  }

  bool Utf8ToCP932(std::string_view utf8, std::string* cp932) override {
    static constexpr std::string_view kKnown[][2] = {
        {"\xE2\x91\xA0", "\x87\x40"},  // (1)
        {"\xEF\xBC\x91", "\x82\x50"},  // full-width 1
        {"\xEF\xBE\x85", "\xC5"},      // half-width katakana NA
    };
    std::string converted;
    while (!utf8.empty()) {
      std::size_t length = 1;
      if (static_cast<unsigned char>(utf8[0]) < 0x80) {
        converted += utf8[0];
      } else {
        const auto* known =
            std::find_if(std::begin(kKnown), std::end(kKnown),
                         [utf8](const auto& pair) { return utf8.rfind(pair[0], 0) == 0; });
        if (known == std::end(kKnown)) return false;
        converted += (*known)[1];
        length = (*known)[0].size();
      }
      utf8.remove_prefix(length);
    }
    *cp932 = std::move(converted);
    return true;
  }

  bool OpenForReading(const std::string& name, FileHandle* file, IoError* error) override {
    if (Injected("OpenForReading", error) || Failing(name, error)) return false;
    if (files.count(name) == 0) return Fail(error, "File not found");
    *file = Open(name);
    return true;
  }

  bool OpenTable(const std::string& name, FileHandle* file, std::size_t* size,
                 IoError* error) override {
    if (Injected("OpenTable", error) || Failing(name, error)) return false;
    if (devices.count(name) != 0) return Fail(error, "Access denied");
    *size = files.at(name).size();
    *file = Open(name);
    open_.at(*file).table = true;
    return true;
  }

  bool Read(FileHandle file, std::uint8_t* data, std::size_t size, std::size_t* got,
            IoError* error) override {
    if (Injected("Read", error)) return false;
    OpenState& state = open_.at(file);
    auto it = files.find(state.name);
    const std::string_view bytes = it == files.end() ? std::string_view() : it->second;
    *got = bytes.substr(std::min(state.position, bytes.size()))
               .copy(reinterpret_cast<char*>(data), size);
    state.position += *got;
    return true;
  }

  FileHandle StandardOutput() override { return kStandardOutput; }

  bool OpenExisting(const std::string& path, FileHandle* file, bool* regular,
                    IoError* error) override {
    if (Injected("OpenExisting", error)) return false;
    if (read_only.count(path) != 0 || folders.count(path) != 0) {
      return Fail(error, "Access denied");
    }
    if (files.count(path) == 0 && devices.count(path) == 0) return Fail(error, "File not found");
    *regular = devices.count(path) == 0;
    *file = Open(path);
    return true;
  }

  bool CreateNew(const std::string& path, FileHandle* file, IoError* error) override {
    if (Injected("CreateNew", error) || TooLong(path, error)) return false;
    if (files.count(path) != 0) return Fail(error, "Access denied");
    files[path] = "";
    protection[path] = "";
    *file = Open(path);
    return true;
  }

  Creation CreateTemporary(const std::string& target, std::string* temp, FileHandle* file,
                           IoError* error) override {
    *temp = target + "~" + std::to_string(++temporaries_);
    if (Injected("CreateTemporary", error)) return Creation::kFailed;
    if (folder_refuses) {
      Fail(error, "Access denied");
      return Creation::kRefused;
    }
    if (TooLong(*temp, error)) return Creation::kTooLong;
    files[*temp] = "";
    protection[*temp] = "given by the folder";
    *file = Open(*temp);
    return Creation::kCreated;
  }

  bool Write(FileHandle file, const std::uint8_t* data, std::size_t size, IoError* error) override {
    if (Injected("Write", error)) return false;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (file == kStandardOutput) {
      standard_output += bytes;
      return true;
    }
    OpenState& state = open_.at(file);
    if (devices.count(state.name) != 0) {
      devices[state.name] += bytes;
      return true;
    }
    auto it = files.find(state.name);
    if (it == files.end()) return true;  // removed while open: the bytes go nowhere
    // A disk out of room takes what it has room for, then fails.
    const std::size_t covered = std::max(it->second.size(), state.reserved);
    const std::size_t fits = covered + room > state.position ? covered + room - state.position : 0;
    const std::size_t taken = std::min(size, fits);
    const std::size_t end = state.position + taken;
    if (end > covered) room -= end - covered;
    if (it->second.size() < end) it->second.resize(end);
    it->second.replace(state.position, taken, bytes, 0, taken);
    state.position = end;
    return taken == size || Fail(error, "Disk Full");
  }

  bool Reserve(FileHandle file, std::size_t size, IoError* error) override {
    if (Injected("Reserve", error)) return false;
    OpenState& state = open_.at(file);
    std::size_t have = files.at(state.name).size();
    if (!reserves || size <= have) return true;
    if (size - have > room) return Fail(error, "Disk Full");
    room -= size - have;
    state.reserved = size;
    return true;
  }

  bool Truncate(FileHandle file, std::size_t size, IoError* error) override {
    if (Injected("Truncate", error)) return false;
    files.at(open_.at(file).name).resize(size);
    return true;
  }

  bool CopyMetadata(FileHandle from, FileHandle to, IoError* error) override {
    if (Injected("CopyMetadata", error)) return false;
    protection[open_.at(to).name] =
        from == kNoFile ? "of a new file" : protection[open_.at(from).name];
    return true;
  }

  bool Flush(FileHandle, IoError* error) override { return !Injected("Flush", error); }

  bool Close(FileHandle file, IoError* error) override {
    const OpenState state = open_.at(file);
    open_.erase(file);  // a failed close leaves no file open either
    if (Injected("Close", error)) return false;
    if (state.table && after_read) after_read(state.name);
    return true;
  }

  bool Replace(const std::string& from, const std::string& to, IoError* error) override {
    if (Injected("Replace", error)) return false;
    files[to] = files.at(from);
    protection[to] = protection[from];
    Remove(from);
    return true;
  }

  void Remove(const std::string& path) override {
    Call("Remove");
    files.erase(path);
    protection.erase(path);
  }

  void HoldTermination() override {
    ++holds;
    Call("HoldTermination");
  }

  void ReleaseTermination() override {
    --holds;
    Call("ReleaseTermination");
  }

  void SetUnfinishedFile(const char* path) override {
    unfinished = path;
    Call("SetUnfinishedFile");
  }

  void ReportFailure(const IoError& error) override { reports.push_back(error.message); }

 private:
  static constexpr FileHandle kStandardOutput = 1;

  struct OpenState {
    std::string name;
    std::size_t position = 0;
    std::size_t reserved = 0;
    bool table = false;  // opened by OpenTable
  };

  static bool Fail(IoError* error, const std::string& message) {
    error->message = message;
    return false;
  }

  void Call(const std::string& primitive) {
    if (on_call) on_call(primitive);
  }

  bool Injected(const std::string& primitive, IoError* error) {
    Call(primitive);
    return ++calls == fail_at && !Fail(error, "injected");
  }

  bool Failing(const std::string& name, IoError* error) {
    auto it = failing.find(name);
    return it != failing.end() && !Fail(error, it->second);
  }

  bool TooLong(const std::string& name, IoError* error) {
    return name.size() > longest_name && !Fail(error, "Invalid filename");
  }

  FileHandle Open(const std::string& name) {
    FileHandle handle = next_handle_++;
    open_[handle].name = name;
    return handle;
  }

  std::map<FileHandle, OpenState> open_;
  FileHandle next_handle_ = 100;
  int temporaries_ = 0;
};

}  // namespace vorn

#endif  // VORN_TESTS_FAKE_ENV_H_
