// The POSIX side of the platform seam.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <unwind.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/env.h"
#include "platform/failure_report.h"
#include "platform/output_file.h"
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
    case ELOOP:
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

int Descriptor(FileHandle file) { return static_cast<int>(file); }

class PosixSequentialFile : public SequentialFile {
 public:
  PosixSequentialFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~PosixSequentialFile() override {
    if (fd_ >= 0) close(fd_);
  }
  bool Read(std::uint8_t* data, std::size_t size, std::size_t* got, IoError* error) override {
    ssize_t done;
    do {
      done = read(fd_, data, size);
    } while (done < 0 && errno == EINTR);
    if (done < 0) return FailErrno(error, errno, name_);
    *got = static_cast<std::size_t>(done);
    return true;
  }
  bool Close(IoError* error) override {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0 || FailErrno(error, errno, name_);
  }

 private:
  int fd_;
  std::string name_;
};

mode_t DefaultCreationMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Reads what a list call (flistxattr, fgetxattr) gives into `out`, asking
// again should it have grown between asking its size and reading it.
template <typename Call>
bool ReadGrowing(Call call, std::string* out) {
  for (;;) {
    ssize_t size = call(nullptr, 0);
    if (size < 0) return false;
    out->resize(static_cast<std::size_t>(size));
    size = call(out->data(), out->size());
    if (size >= 0) {
      out->resize(static_cast<std::size_t>(size));
      return true;
    }
    if (errno != ERANGE) return false;
  }
}

// The names of a file's extended attributes, each ended by a NUL byte;
// none where the file system keeps none.
bool AttributeNames(int fd, std::string* names) {
  if (ReadGrowing([fd](char* out, std::size_t size) { return flistxattr(fd, out, size); }, names))
    return true;
  names->clear();
  return errno == ENOTSUP;
}

bool AttributeValue(int fd, const char* name, std::string* value) {
  return ReadGrowing(
      [fd, name](char* out, std::size_t size) { return fgetxattr(fd, name, out, size); }, value);
}

bool HasName(const std::string& names, const char* name) {
  for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
    if (std::strcmp(names.c_str() + at, name) == 0) return true;
  }
  return false;
}

// Makes the extended attributes of `to` those of `from`, POSIX access
// lists (system.posix_acl_access) included: what `to` got from its folder
// (a default access list) and `from` lacks is removed.
bool CopyAttributes(int from, int to, IoError* error) {
  std::string wanted;
  std::string present;
  if (!AttributeNames(from, &wanted) || !AttributeNames(to, &present)) {
    return Fail(error, kAccessDenied);
  }
  for (std::size_t at = 0; at < present.size(); at += std::strlen(present.c_str() + at) + 1) {
    const char* name = present.c_str() + at;
    if (!HasName(wanted, name) && fremovexattr(to, name) != 0) return Fail(error, kAccessDenied);
  }
  std::string value;
  std::string current;
  for (std::size_t at = 0; at < wanted.size(); at += std::strlen(wanted.c_str() + at) + 1) {
    const char* name = wanted.c_str() + at;
    if (!AttributeValue(from, name, &value)) return Fail(error, kAccessDenied);
    // Set only what differs: a label the system gave alike needs no right to set it.
    if (AttributeValue(to, name, &current) && current == value) continue;
    if (fsetxattr(to, name, value.data(), value.size(), 0) != 0) return Fail(error, kAccessDenied);
  }
  return true;
}

// The signals that end a run early and find an unfinished file to remove.
constexpr int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kTerminationSignals) sigaddset(&set, signal_number);
  return set;
}

// Removes the unfinished file, then lets the signal end the process as if
// vorn had not caught it, so that its parent sees which signal it was.
// Only calls that are safe in a signal handler.
void OnTermination(int signal_number) {
  const char* unfinished = UnfinishedFile();
  if (unfinished != nullptr) unlink(unfinished);
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigaction(signal_number, &default_action, nullptr);
  (void)raise(signal_number);  // delivered as the handler returns
}

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

  bool Examine(const std::string& name, FileKind* kind, std::string* path,
               IoError* error) override {
    // Links are followed here rather than by the system, so that a link to
    // a missing file names the file to create, and the link stays.  As
    // many are followed as the system itself follows before giving up.
    constexpr int kMaxLinks = 40;
    std::string at = name;
    for (int links = 0; links <= kMaxLinks; ++links) {
      struct stat st;
      if (lstat(at.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) return FailErrno(error, errno, at);
        *kind = FileKind::kMissing;
        *path = std::move(at);
        return true;
      }
      if (!S_ISLNK(st.st_mode)) {
        *kind = S_ISDIR(st.st_mode) ? FileKind::kFolder : FileKind::kFile;
        *path = std::move(at);
        return true;
      }
      char link[PATH_MAX];
      ssize_t size = readlink(at.c_str(), link, sizeof link);
      if (size < 0) return FailErrno(error, errno, at);
      if (size == 0 || static_cast<std::size_t>(size) == sizeof link) {
        return FailErrno(error, ENAMETOOLONG, at);
      }
      std::string next(link, static_cast<std::size_t>(size));
      // A relative link is relative to the folder holding it.
      if (next[0] != '/' && at.find('/') != std::string::npos) next = FolderOf(at) + "/" + next;
      at = std::move(next);
    }
    return FailErrno(error, ELOOP, name);
  }

  bool ReadWholeFile(const std::string& name, ByteBuffer* contents, IoError* error) override {
    // POSIX has no share modes; the file is simply opened for reading, but
    // without waiting, should it be a FIFO.
    int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return FailErrno(error, errno, name);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return Fail(error, kAccessDenied);  // a device would read as anything
    }
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

  bool NewSequentialFile(const std::string& name, std::unique_ptr<SequentialFile>* file,
                         IoError* error) override {
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FailErrno(error, errno, name);
    *file = std::make_unique<PosixSequentialFile>(fd, name);
    return true;
  }

  FileHandle StandardOutput() override { return STDOUT_FILENO; }

  bool OpenExisting(const std::string& path, FileHandle* file, bool* regular,
                    IoError* error) override {
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return FailErrno(error, errno, path);
    struct stat st;
    *regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    *file = fd;
    return true;
  }

  bool CreateNew(const std::string& path, FileHandle* file, IoError* error) override {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return FailErrno(error, errno, path);
    *file = fd;
    return true;
  }

  Creation CreateTemporary(const std::string& target, std::string* temp, FileHandle* file,
                           IoError* error) override {
    *temp = TempNameBeside(target);
    int fd = mkostemp(temp->data(), O_CLOEXEC);
    if (fd >= 0) {
      *file = fd;
      return Creation::kCreated;
    }
    int err = errno;
    FailErrno(error, err, target);
    if (err == EACCES || err == EPERM || err == EROFS) return Creation::kRefused;
    return err == ENAMETOOLONG ? Creation::kTooLong : Creation::kFailed;
  }

  bool Write(FileHandle file, const std::uint8_t* data, std::size_t size, IoError* error) override {
    return WriteAll(Descriptor(file), data, size, error);
  }

  bool Reserve(FileHandle file, std::size_t size, IoError* error) override {
#ifdef __linux__
    // Unlike posix_fallocate, this leaves the file's size as it is.
    int result = 0;
    if (size > 0) {
      do {
        result = fallocate(Descriptor(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size));
      } while (result != 0 && errno == EINTR);
    }
    if (result != 0 && errno != EOPNOTSUPP && errno != ENOSYS) return FailErrno(error, errno, "");
#else
    (void)file, (void)size, (void)error;
#endif
    return true;
  }

  bool Truncate(FileHandle file, std::size_t size, IoError* error) override {
    if (ftruncate(Descriptor(file), static_cast<off_t>(size)) != 0) {
      return FailErrno(error, errno, "");
    }
    return true;
  }

  bool CopyMetadata(FileHandle from, FileHandle to, IoError* error) override {
    if (from == kNoFile) {
      if (fchmod(Descriptor(to), DefaultCreationMode()) != 0) return FailErrno(error, errno, "");
      return true;
    }
    struct stat st;
    if (fstat(Descriptor(from), &st) != 0) return FailErrno(error, errno, "");
    // Only the owner's privileges allow this; a file of someone else's
    // that we may write still gets our ownership, as any editor does.
    (void)!fchown(Descriptor(to), st.st_uid, st.st_gid);
    // The access list goes after the mode, whose group bits would
    // otherwise overwrite its mask.
    if (fchmod(Descriptor(to), st.st_mode & 07777) != 0) return FailErrno(error, errno, "");
    return CopyAttributes(Descriptor(from), Descriptor(to), error);
  }

  bool Flush(FileHandle file, IoError* error) override {
    if (fsync(Descriptor(file)) != 0) return Fail(error, kDiskFull);
    return true;
  }

  bool Close(FileHandle file, IoError* error) override {
    if (close(Descriptor(file)) != 0) return FailErrno(error, errno, "");
    return true;
  }

  bool Replace(const std::string& from, const std::string& to, IoError* error) override {
    // Named first: nothing may fail for want of memory once it is done.
    const std::string folder_name = FolderOf(to);
    if (rename(from.c_str(), to.c_str()) != 0) return FailErrno(error, errno, to);
    // Make the rename itself durable; a folder that cannot be opened or
    // synced leaves the file complete, so that is not a failure.
    int folder = open(folder_name.c_str(), O_RDONLY | O_CLOEXEC);
    if (folder >= 0) {
      (void)fsync(folder);
      close(folder);
    }
    return true;
  }

  void Remove(const std::string& path) override { unlink(path.c_str()); }

  void HoldTermination() override {
    sigset_t set = TerminationSignals();
    (void)sigprocmask(SIG_BLOCK, &set, &held_mask_);
  }

  void ReleaseTermination() override { (void)sigprocmask(SIG_SETMASK, &held_mask_, nullptr); }

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

  sigset_t held_mask_{};
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
  struct sigaction action {};
  action.sa_handler = OnTermination;
  action.sa_mask = TerminationSignals();  // one at a time
  for (int signal_number : kTerminationSignals) {
    struct sigaction inherited {};
    // A signal the process was started with ignored (nohup) stays so.
    if (sigaction(signal_number, nullptr, &inherited) != 0 || inherited.sa_handler == SIG_IGN) {
      continue;
    }
    (void)sigaction(signal_number, &action, nullptr);
  }
  std::set_new_handler([] { ReportOutOfMemory(); });
}

void IgnoreBrokenPipe() { (void)signal(SIGPIPE, SIG_IGN); }

void ReportOutOfMemory() {
  const char* unfinished = UnfinishedFile();
  if (unfinished != nullptr) unlink(unfinished);
  std::uint32_t locations[kMaxLocations];
  std::size_t count = CaptureLocations(0, locations, kMaxLocations);
  WriteReport(kOutOfMemoryKind, kOutOfMemoryMessage, locations, count);
  _exit(kFailureExitStatus);
}

}  // namespace vorn
