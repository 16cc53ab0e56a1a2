// The one seam between vorn and the operating system.
//
// Everything vorn needs from the system (the console, the file system, the
// failure report) goes through the functions and the Env interface declared
// here.  Each operating system implements them once, in its own file
// (env_posix.cc, env_windows.cc); no other file depends on the platform.
// Unit tests fake Env to run the operations on in-memory files.
#ifndef VORN_PLATFORM_ENV_H_
#define VORN_PLATFORM_ENV_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// Why a file operation failed, as the failure report shows it: the message
// ("File not found", "Disk Full", ...) and where the failure was detected,
// innermost location first, as offsets from the executable's load address.
struct IoError {
  std::string message;
  std::vector<std::uint32_t> locations;
};

// A zero-filled block of bytes owned by one reader.  Running out of memory
// while allocating one ends the run with the out-of-memory report.  Its
// pages are taken from the system only when first touched, so bytes that
// are never written cost no memory.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  explicit ByteBuffer(std::size_t capacity);
  ~ByteBuffer();
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t capacity() const { return capacity_; }
  // The number of bytes that hold file contents (at most the capacity).
  std::size_t size() const { return size_; }
  void set_size(std::size_t size) { size_ = size; }

  // A whole-file read in two steps, for the Env implementations.
  // BeginRead(size) readies the buffer for `size` file bytes and the
  // kReadTail zero bytes after them: it is kept when it is large enough
  // (so a file read twice is not given new memory twice), otherwise freed
  // before its successor is allocated.  Read into data(), then EndRead(done)
  // with the bytes read: every byte after them reads as zero again, also
  // those the previous contents or a caller's changes left, and size()
  // becomes `done`.
  static constexpr std::size_t kReadTail = 4;
  void BeginRead(std::size_t size);
  void EndRead(std::size_t done);

  // The first `end` bytes are no longer needed: where the system allows,
  // the whole pages among them go back to it (and read as zero if touched
  // again), so that what is written next can reuse that memory.
  void ReleaseFront(std::size_t end);

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  std::size_t stale_ = 0;  // bytes a previous read and its user may have left
  bool mapped_ = false;    // a mapping of its own rather than heap memory
};

// Whether a console line was assembled at run time (it may need converting
// to the console's code page) or is one of the program's fixed texts.
enum class LineKind { kAssembled, kFixed };

// An output file being written.  Nothing the caller wrote replaces the
// target until Commit() succeeds; destroying an uncommitted file discards
// what was written where that is possible.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual bool Append(const std::uint8_t* data, std::size_t size, IoError* error) = 0;
  virtual bool Commit(IoError* error) = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // Writes one console line to standard output, ended by CR LF, at once.
  // Where standard output is a terminal whose charset is not code page
  // 932, the line is shown in the terminal's charset.
  virtual void WriteLine(std::string_view line, LineKind kind) = 0;

  // The value of a character option (-s, -e, -k, -a) as code page 932
  // bytes: text the user typed in another charset is converted when all of
  // it converts, anything else is kept as given.
  virtual std::string CharacterOptionToCP932(std::string_view value) { return std::string(value); }

  // True if `name` exists and is not a folder.
  virtual bool FileExists(const std::string& name) = 0;

  // Reads a whole file, opened without sharing, its size taken by seeking
  // to its end.  `contents` gets a zero-filled buffer whose size() is the
  // number of bytes read and which holds at least four bytes more, so that
  // a partial last record reads as completed by zero bytes.  The buffer
  // `contents` already holds is reused as ByteBuffer::BeginRead says.
  virtual bool ReadWholeFile(const std::string& name, ByteBuffer* contents, IoError* error) = 0;

  // Reads a text file's bytes up to its end (it need not be seekable).
  virtual bool ReadTextFile(const std::string& name, std::string* contents, IoError* error) = 0;

  // Opens the output `name` for writing; the empty name is standard output.
  virtual bool NewOutputFile(const std::string& name, std::unique_ptr<WritableFile>* file,
                             IoError* error) = 0;

  // Writes the failure report for a file failure to standard error.
  virtual void ReportFailure(const IoError& error) = 0;

  // The environment of the running system.
  static Env* Default();
};

// Converts UTF-8 text (without a byte-order mark) to code page 932.  False
// when the text is not valid UTF-8 or holds a character code page 932 does
// not have; `cp932` is then left as it was.
bool Utf8ToCP932(std::string_view utf8, std::string* cp932);

// The program's arguments as byte strings, the program itself left out.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Prepares the process: binary standard streams, the out-of-memory handler,
// signals that would otherwise end the run without a report.
void InitializeProcess();

// Writes the out-of-memory report and ends the run with exit status 217.
[[noreturn]] void ReportOutOfMemory();

}  // namespace vorn

#endif  // VORN_PLATFORM_ENV_H_
