// The one seam between vorn and the operating system.
//
// Everything vorn needs from the system goes through the Env interface and
// the few functions here, implemented once per system (env_posix.cc,
// env_windows.cc) as small primitives.  What vorn does with them (reading
// the table, replacing an output) is written once above the seam, and unit
// tests run it on a fake Env of in-memory files.
#ifndef VORN_PLATFORM_ENV_H_
#define VORN_PLATFORM_ENV_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// Removes the unfinished file, writes the out-of-memory report and ends
// the run with exit status 217.
[[noreturn]] void ReportOutOfMemory();

// Why a file operation failed, as the failure report shows it: the message
// ("File not found", "Disk Full", ...) and where the failure was detected,
// innermost first, as offsets from the executable's load address.
struct IoError {
  std::string message;
  std::vector<std::uint32_t> locations;
};

// Whether a console line was assembled at run time (it may need converting
// to the console's code page) or is one of the program's fixed texts.
enum class LineKind { kAssembled, kFixed };

// What a name stands for; kFile is anything but a folder (a device too).
enum class FileKind { kMissing, kFolder, kFile };

// An open file of the system's own (a descriptor, a handle).
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// How an attempt to create a file beside another ended.
enum class Creation {
  kCreated,
  kRefused,  // the folder takes no new file (the IoError says so)
  kTooLong,  // the new file's name would be longer than the system allows
  kFailed,   // any other failure, described by the IoError
};

// Each primitive that fails fills `error` with the message the failure
// report shows.
class Env {
 public:
  virtual ~Env() = default;

  // Writes one console line to standard output, ended by CR LF, at once,
  // in the terminal's charset where that is not code page 932.  A line
  // standard output does not take is dropped.
  virtual void WriteLine(std::string_view line, LineKind kind) = 0;
  // The value of a character option (-s, -e, -k, -a) as code page 932:
  // text typed in another charset is converted when all of it converts,
  // anything else is kept as given.
  virtual std::string CharacterOptionToCP932(std::string_view value) { return std::string(value); }
  // Converts UTF-8 text to code page 932; false, leaving `cp932` as it
  // was, when it is not UTF-8 or holds a character code page 932 lacks.
  virtual bool Utf8ToCP932(std::string_view utf8, std::string* cp932) = 0;

  // What `name` stands for, links followed; `path` gets the name of the
  // file it finally stands for (of a dangling link: the file the link
  // names).  Only a name that does not exist is kMissing: any other
  // failure to learn what it is (an unsearchable folder, a loop of links,
  // an I/O error) fails.
  virtual bool Examine(const std::string& name, FileKind* kind, std::string* path,
                       IoError* error) = 0;
  // Opens `name` for reading, whatever kind of file it is.
  virtual bool OpenForReading(const std::string& name, FileHandle* file, IoError* error) = 0;
  // Opens a table for reading without sharing it and takes its size by
  // seeking to its end.  What is not a regular file (a device, a FIFO) is
  // refused as "Access denied" without waiting for it.
  virtual bool OpenTable(const std::string& name, FileHandle* file, std::size_t* size,
                         IoError* error) = 0;
  // Reads up to `size` bytes; `*got` is 0 only at the file's end.
  virtual bool Read(FileHandle file, std::uint8_t* data, std::size_t size, std::size_t* got,
                    IoError* error) = 0;

  virtual FileHandle StandardOutput() = 0;
  // Opens the existing `path` for writing at its start, changing nothing;
  // `regular` tells a regular file from a device or FIFO.
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
  // Gives `to` what protects and describes `from` besides its bytes
  // (owner, permissions, access lists and extended attributes; on Windows
  // its attributes), or without `from` what a new file gets.  Fails
  // ("Access denied") rather than leave `to` less protected.
  virtual bool CopyMetadata(FileHandle from, FileHandle to, IoError* error) = 0;
  // Waits until every byte written is on the disk ("Disk Full" if not).
  virtual bool Flush(FileHandle file, IoError* error) = 0;
  virtual bool Close(FileHandle file, IoError* error) = 0;
  // Puts `from` in the place of `to` in one step, and makes that last.
  virtual bool Replace(const std::string& from, const std::string& to, IoError* error) = 0;
  virtual void Remove(const std::string& path) = 0;

  // Between these two calls an interrupt (Ctrl+C, SIGTERM and the like)
  // waits; it ends the run right after ReleaseTermination().
  virtual void HoldTermination() = 0;
  virtual void ReleaseTermination() = 0;
  // Names the file an interrupt, or running out of memory, removes before
  // the run ends (null: none).  Called only while termination is held, so
  // that a signal handler never finds it half changed.
  virtual void SetUnfinishedFile(const char* path) = 0;

  // Writes the failure report of a file failure to standard error.
  virtual void ReportFailure(const IoError& error);

  // The environment of the running system.
  static Env* Default();
};

// The program's arguments as byte strings, the program itself left out.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Prepares the process: binary standard streams, the out-of-memory
// handler, a file-size limit that fails a write rather than ending the
// run, and an interrupt (Ctrl+C, SIGTERM, SIGHUP, SIGQUIT, a closed
// console) that first removes the unfinished file.  A signal the process
// was started with ignored stays ignored.
void InitializeProcess();

// A closed pipe on standard output then fails the write (a table copied to
// it is "Disk Full") instead of ending the run unreported.
void IgnoreBrokenPipe();

}  // namespace vorn

#endif  // VORN_PLATFORM_ENV_H_
