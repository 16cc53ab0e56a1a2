// The one seam between vorn and the operating system.
//
// Everything vorn needs from the system (the console, the file system, the
// failure report) goes through the functions and the Env interface declared
// here.  Each operating system implements them once, in its own file
// (env_posix.cc, env_windows.cc); no other file depends on the platform.
// How an output file is replaced is decided once, above the seam, in
// output_file.cc, from small file primitives each system provides.  Unit
// tests fake Env to run the operations on in-memory files.
#ifndef VORN_PLATFORM_ENV_H_
#define VORN_PLATFORM_ENV_H_

#include <algorithm>
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

// What a name stands for.  kFile is anything that is not a folder: a
// regular file, a device, a FIFO.
enum class FileKind { kMissing, kFolder, kFile };

// An open file of the system's own (a descriptor, a handle), opaque above
// the seam.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// How an attempt to create a file beside another ended.
enum class Creation {
  kCreated,
  kRefused,  // the folder does not let a new file be made (IoError says so)
  kTooLong,  // the new file's name would be longer than the system allows
  kFailed,   // any other failure, described by the IoError
};

class Env {
 public:
  virtual ~Env() = default;

  // Writes one console line to standard output, ended by CR LF, at once.
  // Where standard output is a terminal whose charset is not code page
  // 932, the line is shown in the terminal's charset.  A line standard
  // output does not take is dropped.
  virtual void WriteLine(std::string_view line, LineKind kind) = 0;

  // The value of a character option (-s, -e, -k, -a) as code page 932
  // bytes: text the user typed in another charset is converted when all of
  // it converts, anything else is kept as given.
  virtual std::string CharacterOptionToCP932(std::string_view value) { return std::string(value); }

  // What `name` stands for, links followed; `path` gets the name of the
  // file it finally stands for (of a dangling link: the file the link
  // names).  Only a name that does not exist is kMissing: any other
  // failure to learn what it is (no right to search a folder, a loop of
  // links, an I/O error) fails.
  virtual bool Examine(const std::string& name, FileKind* kind, std::string* path,
                       IoError* error) = 0;

  // Reads a whole table file, opened without sharing, its size taken by
  // seeking to its end.  A file that is not a regular file (a device, a
  // FIFO) is refused as "Access denied" without waiting for it.  `contents`
  // gets a zero-filled buffer whose size() is the number of bytes read and
  // which holds at least four bytes more, so that a partial last record
  // reads as completed by zero bytes.  The buffer `contents` already holds
  // is reused as ByteBuffer::BeginRead says.
  virtual bool ReadWholeFile(const std::string& name, ByteBuffer* contents, IoError* error) = 0;

  // Opens a file to be read from start to end, whatever kind it is.
  virtual bool NewSequentialFile(const std::string& name, std::unique_ptr<SequentialFile>* file,
                                 IoError* error) = 0;

  // The file primitives output_file.cc writes outputs with.  Each failure
  // fills `error` with the message the failure report shows.
  virtual FileHandle StandardOutput() = 0;
  // Opens the existing file `path` for writing at its start, changing
  // nothing; `regular` tells a regular file from a device or FIFO.
  virtual bool OpenExisting(const std::string& path, FileHandle* file, bool* regular,
                            IoError* error) = 0;
  // Creates `path`, which must not exist yet, as a new empty file.
  virtual bool CreateNew(const std::string& path, FileHandle* file, IoError* error) = 0;
  // Creates a new empty file of a name of its own in the folder of
  // `target`, and puts that name in `temp` before the file exists.
  virtual Creation CreateTemporary(const std::string& target, std::string* temp, FileHandle* file,
                                   IoError* error) = 0;
  // Writes all of `data` at the file's position; any failure is "Disk Full".
  virtual bool Write(FileHandle file, const std::uint8_t* data, std::size_t size,
                     IoError* error) = 0;
  // Sets aside room for the file's first `size` bytes without changing its
  // size or contents; true without reserving where the file system cannot.
  virtual bool Reserve(FileHandle file, std::size_t size, IoError* error) = 0;
  virtual bool Truncate(FileHandle file, std::size_t size, IoError* error) = 0;
  // Gives `to` what protects and describes the file `from` besides its
  // bytes (owner, permissions, access lists and extended attributes; on
  // Windows its attributes), or, without `from`, what a new file gets.
  // Fails ("Access denied") rather than leave `to` less protected.
  virtual bool CopyMetadata(FileHandle from, FileHandle to, IoError* error) = 0;
  // Waits until every byte written is on the disk ("Disk Full" if not).
  virtual bool Flush(FileHandle file, IoError* error) = 0;
  virtual bool Close(FileHandle file, IoError* error) = 0;
  // Puts `from` in the place of `to` in one step, and makes that last.
  virtual bool Replace(const std::string& from, const std::string& to, IoError* error) = 0;
  virtual void Remove(const std::string& path) = 0;
  // Between these two calls, an interrupt (Ctrl+C, SIGTERM and the like)
  // waits; it ends the run right after ReleaseTermination().
  virtual void HoldTermination() = 0;
  virtual void ReleaseTermination() = 0;

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
// signals that would otherwise end the run without a report, and an
// interrupt (Ctrl+C, SIGTERM, SIGHUP, SIGQUIT, a closed console) that
// first removes the files output_file.cc has not finished.  A signal the
// process was started with ignored stays ignored.
void InitializeProcess();

// A closed pipe on standard output then fails the write (a table copied to
// it is "Disk Full") instead of ending the run unreported.
void IgnoreBrokenPipe();

// Removes the unfinished files, writes the out-of-memory report and ends
// the run with exit status 217.
[[noreturn]] void ReportOutOfMemory();

}  // namespace vorn

#endif  // VORN_PLATFORM_ENV_H_
