// The POSIX side of the platform seam.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unwind.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/env.h"
#include "platform/failure_report.h"
#include "platform/text_posix.h"

namespace vorn {
namespace {

constexpr std::size_t kMaxLocations = 16;

struct TraceState {
  std::uintptr_t* pcs;
  std::size_t count;
  std::size_t capacity;
};

_Unwind_Reason_Code CollectFrame(struct _Unwind_Context* context, void* arg) {
  auto* state = static_cast<TraceState*>(arg);
  if (state->count == state->capacity) return _URC_END_OF_STACK;
  std::uintptr_t pc = _Unwind_GetIP(context);
  if (pc != 0) state->pcs[state->count++] = pc;
  return _URC_NO_REASON;
}

// Fills `out` with the call sites of the current call chain that lie in
// vorn's own executable, innermost first, as offsets from its load address
// (what `addr2line -e vorn` takes), leaving out the `skip` innermost
// callers (the error helpers).  Allocates nothing.
[[gnu::noinline]] std::size_t CaptureLocations(std::size_t skip, std::uint32_t* out,
                                               std::size_t capacity) {
  std::uintptr_t pcs[kMaxLocations + 4];
  TraceState state{pcs, 0, kMaxLocations + 4};
  _Unwind_Backtrace(CollectFrame, &state);

  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&CaptureLocations), &self) == 0) return 0;
  std::size_t count = 0;
  // Frame 0 is this function; the rest are return addresses, so one byte
  // back lands inside the call instruction.
  for (std::size_t i = 1 + skip; i < state.count && count < capacity; ++i) {
    Dl_info frame{};
    void* call_site = reinterpret_cast<void*>(pcs[i] - 1);
    if (dladdr(call_site, &frame) == 0 || frame.dli_fbase != self.dli_fbase) continue;
    out[count++] =
        static_cast<std::uint32_t>(pcs[i] - 1 - reinterpret_cast<std::uintptr_t>(self.dli_fbase));
  }
  return count;
}

std::string FolderOf(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A pattern for mkostemp naming a hidden file in the folder of `path`.
// The pattern adds 13 bytes to the file's name; a name near the file
// system's limit of 255 bytes is shortened there, or a valid output name
// could not be written.
std::string TempNameBeside(const std::string& path) {
  constexpr std::size_t kNameRoom = 255 - 13;
  std::string::size_type name_start = path.find_last_of('/') + 1;  // 0 when there is no slash
  return path.substr(0, name_start) + "." + path.substr(name_start, kNameRoom) + ".vorn-XXXXXX";
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string MessageForErrno(int err, const std::string& path) {
  switch (err) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return kDiskFull;
    case ENOENT:
      // A missing file in an existing folder is not found; a missing
      // folder on the way makes the name itself invalid.
      return IsFolder(FolderOf(path)) ? kFileNotFound : kInvalidFilename;
    case ENOTDIR:
    case ENAMETOOLONG:
      return kInvalidFilename;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
      return kAccessDenied;
    case EMFILE:
    case ENFILE:
      return kTooManyOpenFiles;
    case EBADF:
      return kInvalidFileHandle;
    default:
      return UnknownErrorMessage(static_cast<unsigned long>(err));
  }
}

// Every error is made here, so the first location is the failing call.
[[gnu::noinline]] bool Fail(IoError* error, std::string message) {
  std::uint32_t locations[kMaxLocations];
  std::size_t count = CaptureLocations(1, locations, kMaxLocations);
  error->message = std::move(message);
  error->locations.assign(locations, locations + count);
  return false;
}

bool FailErrno(IoError* error, int err, const std::string& path) {
  return Fail(error, MessageForErrno(err, path));
}

// Writes all of `data`; any failed write is reported as a full disk.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, IoError* error) {
  while (size > 0) {
    ssize_t written = write(fd, data, size < SSIZE_MAX ? size : SSIZE_MAX);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return Fail(error, kDiskFull);
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool CloseChecked(int fd, const std::string& path, IoError* error) {
  if (close(fd) != 0) return FailErrno(error, errno, path);
  return true;
}

// Standard output: the copy of an output named by the empty name.
class StandardOutputFile : public WritableFile {
 public:
  bool Append(const std::uint8_t* data, std::size_t size, IoError* error) override {
    return WriteAll(STDOUT_FILENO, data, size, error);
  }
  bool Commit(IoError*) override { return true; }
};

// A file written where it stands: a device or FIFO, or a regular file
// whose folder does not let a temporary file be made beside it.  What was
// written stays written.
class DirectFile : public WritableFile {
 public:
  DirectFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~DirectFile() override {
    if (fd_ >= 0) close(fd_);
  }
  bool Append(const std::uint8_t* data, std::size_t size, IoError* error) override {
    return WriteAll(fd_, data, size, error);
  }
  bool Commit(IoError* error) override {
    int fd = fd_;
    fd_ = -1;
    return CloseChecked(fd, path_, error);
  }

 private:
  int fd_;
  std::string path_;
};

// A regular file replaced whole or not at all: the bytes go to a temporary
// file beside the target, which is flushed to disk and renamed over the
// target on Commit(), and removed if the file is dropped before that.
class AtomicFile : public WritableFile {
 public:
  AtomicFile(int fd, std::string temp_path, std::string target_path, mode_t mode,
             const struct stat* target)
      : fd_(fd),
        temp_path_(std::move(temp_path)),
        target_path_(std::move(target_path)),
        mode_(mode) {
    if (target != nullptr) {
      keep_owner_ = true;
      uid_ = target->st_uid;
      gid_ = target->st_gid;
    }
  }

  ~AtomicFile() override {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(temp_path_.c_str());
  }

  bool Append(const std::uint8_t* data, std::size_t size, IoError* error) override {
    if (!WriteAll(fd_, data, size, error)) return false;
    written_ += static_cast<off_t>(size);
    StartWriteBack();
    return true;
  }

  bool Commit(IoError* error) override {
    if (keep_owner_) {
      // Only the owner's privileges allow this; a file of someone else's
      // that we may write still gets our ownership, as any editor does.
      (void)!fchown(fd_, uid_, gid_);
    }
    if (fchmod(fd_, mode_) != 0) return FailErrno(error, errno, temp_path_);
    if (fsync(fd_) != 0) return Fail(error, kDiskFull);
    int fd = fd_;
    fd_ = -1;
    if (!CloseChecked(fd, temp_path_, error)) return false;
    if (rename(temp_path_.c_str(), target_path_.c_str()) != 0)
      return FailErrno(error, errno, target_path_);
    committed_ = true;
    // Make the rename itself durable; a folder that cannot be opened or
    // synced leaves the file complete, so that is not a failure.
    int folder = open(FolderOf(target_path_).c_str(), O_RDONLY | O_CLOEXEC);
    if (folder >= 0) {
      (void)fsync(folder);
      close(folder);
    }
    return true;
  }

 private:
  // Every few MiB written, asks the system to start writing them to disk
  // already, so that the flush on Commit() finds most of a large file
  // written instead of starting all of it then.  Only a head start: the
  // flush still waits for every byte, and a failure shows there.
  void StartWriteBack() {
#ifdef __linux__
    constexpr off_t kWriteBackStep = off_t{4} << 20;
    if (written_ - started_ < kWriteBackStep) return;
    (void)sync_file_range(fd_, started_, written_ - started_, SYNC_FILE_RANGE_WRITE);
    started_ = written_;
#endif
  }

  int fd_;
  std::string temp_path_;
  std::string target_path_;
  mode_t mode_;
  bool keep_owner_ = false;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  bool committed_ = false;
  off_t written_ = 0;  // bytes appended so far
  off_t started_ = 0;  // bytes whose write-back was started
};

mode_t DefaultCreationMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// The file a name finally stands for: symlinks are followed, so that the
// file a link points to is replaced (or created, for a dangling link) and
// the link stays.
std::string ResolveTarget(const std::string& name) {
  // As many links as the system itself follows before giving up (ELOOP).
  constexpr int kMaxLinks = 40;
  std::string path = name;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char link[PATH_MAX];
    ssize_t size = readlink(path.c_str(), link, sizeof link);
    if (size <= 0 || static_cast<std::size_t>(size) == sizeof link) return path;
    std::string next(link, static_cast<std::size_t>(size));
    // A relative link is relative to the folder holding it.
    if (next[0] != '/' && path.find('/') != std::string::npos) next = FolderOf(path) + "/" + next;
    path = std::move(next);
  }
  return path;
}

bool OpenDirect(const std::string& path, int flags, std::unique_ptr<WritableFile>* file,
                IoError* error) {
  int fd = open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return FailErrno(error, errno, path);
  *file = std::make_unique<DirectFile>(fd, path);
  return true;
}

bool IsFolderRefusal(int err) { return err == EACCES || err == EPERM || err == EROFS; }

void WriteToStandardError(const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t written = write(STDERR_FILENO, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void WriteReport(std::string_view kind, std::string_view message, const std::uint32_t* locations,
                 std::size_t count) {
  char report[2048];
  std::size_t size = FormatFailureReport(kind, message, locations, count, report, sizeof report);
  WriteToStandardError(report, size);
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

class PosixEnv : public Env {
 public:
  void WriteLine(std::string_view line, LineKind) override {
    // Only a person at a terminal gets the line in their own charset;
    // pipes and files always get the code page 932 bytes.  Fixed lines are
    // converted too: as stored they are unreadable on such a terminal.
    std::string bytes =
        ShowsOtherCharset() ? ToTerminal().ConvertCP932Marking(line) : std::string(line);
    bytes += "\r\n";
    IoError ignored;
    // A console that cannot take the line does not stop the substitution.
    (void)WriteAll(STDOUT_FILENO, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                   &ignored);
  }

  std::string CharacterOptionToCP932(std::string_view value) override {
    // ASCII is the same in every locale's charset and in code page 932, so
    // the locale is only looked at for a value that might need converting.
    if (IsAscii(value) || KeepsCP932Bytes(LocaleCharset())) return std::string(value);
    if (from_locale_ == nullptr) {
      from_locale_ = std::make_unique<Iconv>("CP932", LocaleCharset().c_str());
    }
    std::string converted;
    return from_locale_->ConvertAll(value, &converted) ? converted : std::string(value);
  }

  bool FileExists(const std::string& name) override {
    struct stat st;
    return stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  }

  bool ReadWholeFile(const std::string& name, ByteBuffer* contents, IoError* error) override {
    // POSIX has no share modes; the file is simply opened for reading.
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FailErrno(error, errno, name);
    off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0 || lseek(fd, 0, SEEK_SET) != 0) {
      int err = errno;
      close(fd);
      return FailErrno(error, err, name);
    }
    auto size = static_cast<std::size_t>(end);
    contents->BeginRead(size);
    std::size_t done = 0;
    while (done < size) {
      ssize_t got = read(fd, contents->data() + done, size - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        int err = errno;
        close(fd);
        *contents = ByteBuffer();  // partly overwritten: of no further use
        return FailErrno(error, err, name);
      }
      if (got == 0) break;  // The file shrank since its size was taken.
      done += static_cast<std::size_t>(got);
    }
    close(fd);
    contents->EndRead(done);
    return true;
  }

  bool ReadTextFile(const std::string& name, std::string* contents, IoError* error) override {
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FailErrno(error, errno, name);
    std::string text;
    char chunk[65536];
    for (;;) {
      ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        int err = errno;
        close(fd);
        return FailErrno(error, err, name);
      }
      if (got == 0) break;
      text.append(chunk, static_cast<std::size_t>(got));
    }
    if (!CloseChecked(fd, name, error)) return false;
    *contents = std::move(text);
    return true;
  }

  bool NewOutputFile(const std::string& name, std::unique_ptr<WritableFile>* file,
                     IoError* error) override {
    if (name.empty()) {
      *file = std::make_unique<StandardOutputFile>();
      return true;
    }
    std::string target = ResolveTarget(name);
    struct stat st;
    bool exists = stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
      // Devices, FIFOs and the like are written as they are; a folder is
      // refused by the open itself.
      return OpenDirect(target, 0, file, error);
    }

    // An existing target must be writable in its own right: replacing it
    // through its folder must not get round its protection.
    int target_fd = -1;
    if (exists) {
      target_fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
      if (target_fd < 0) return FailErrno(error, errno, target);
    }

    std::string temp = TempNameBeside(target);
    int temp_fd = mkostemp(temp.data(), O_CLOEXEC);
    if (temp_fd < 0) {
      int err = errno;
      if (target_fd >= 0 && IsFolderRefusal(err)) {
        // The folder does not allow a file beside the target, but the
        // target itself may be written: write it in place.
        if (ftruncate(target_fd, 0) != 0) {
          int truncate_err = errno;
          close(target_fd);
          return FailErrno(error, truncate_err, target);
        }
        *file = std::make_unique<DirectFile>(target_fd, target);
        return true;
      }
      if (target_fd >= 0) close(target_fd);
      return FailErrno(error, err, target);
    }
    if (target_fd >= 0) close(target_fd);
    mode_t mode = exists ? (st.st_mode & 07777) : DefaultCreationMode();
    *file = std::make_unique<AtomicFile>(temp_fd, temp, target, mode, exists ? &st : nullptr);
    return true;
  }

  void ReportFailure(const IoError& error) override {
    WriteReport(kInOutErrorKind, error.message, error.locations.data(), error.locations.size());
  }

 private:
  // True when standard output is a terminal showing a charset other than
  // code page 932 that iconv can convert to (for any other the bytes are
  // the best there is).  Decided on the first line, so that a run that
  // prints nothing never looks at its terminal or its locale.
  bool ShowsOtherCharset() {
    if (shows_other_charset_ < 0) {
      shows_other_charset_ =
          isatty(STDOUT_FILENO) && !KeepsCP932Bytes(LocaleCharset()) && ToTerminal().ok() ? 1 : 0;
    }
    return shows_other_charset_ == 1;
  }

  Iconv& ToTerminal() {
    if (to_terminal_ == nullptr) {
      to_terminal_ = std::make_unique<Iconv>(LocaleCharset().c_str(), "CP932");
    }
    return *to_terminal_;
  }

  int shows_other_charset_ = -1;
  std::unique_ptr<Iconv> to_terminal_;
  std::unique_ptr<Iconv> from_locale_;
};

}  // namespace

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

bool Utf8ToCP932(std::string_view utf8, std::string* cp932) {
  static Iconv from_utf8("CP932", "UTF-8");
  return from_utf8.ConvertAll(utf8, cp932);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

void InitializeProcess() {
  // A file-size limit must fail the write (and so report a full disk)
  // rather than kill the process with the temporary file half written.
  (void)signal(SIGXFSZ, SIG_IGN);
  std::set_new_handler([] { ReportOutOfMemory(); });
}

void ReportOutOfMemory() {
  std::uint32_t locations[kMaxLocations];
  std::size_t count = CaptureLocations(0, locations, kMaxLocations);
  WriteReport(kOutOfMemoryKind, kOutOfMemoryMessage, locations, count);
  _exit(kFailureExitStatus);
}

}  // namespace vorn
