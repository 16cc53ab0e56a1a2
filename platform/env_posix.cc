// The POSIX side of the platform seam.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <unwind.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "platform/env.h"
#include "platform/failure_report.h"
#include "platform/text_posix.h"

namespace vorn {
namespace {

struct Trace {
  std::uintptr_t pcs[kMaxLocations + 4];
  std::size_t count = 0;
};

_Unwind_Reason_Code AddFrame(_Unwind_Context* context, void* trace) {
  auto* t = static_cast<Trace*>(trace);
  if (t->count == kMaxLocations + 4) return _URC_END_OF_STACK;
  if (std::uintptr_t pc = _Unwind_GetIP(context)) t->pcs[t->count++] = pc;
  return _URC_NO_REASON;
}

// Writes all of `data`; false on the first failed write.
bool WriteAll(int fd, const void* data, std::size_t size) {
  for (const char* bytes = static_cast<const char*>(data); size > 0;) {
    ssize_t written = write(fd, bytes, size < SSIZE_MAX ? size : SSIZE_MAX);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool FailErrno(IoError* error, int err, const std::string& path = "") {
  return Fail(error, MessageForErrno(err, path));
}

// A descriptor just opened on `path`, or the failure to open it.
bool Opened(int fd, const std::string& path, FileHandle* file, IoError* error) {
  if (fd < 0) return FailErrno(error, errno, path);
  *file = fd;
  return true;
}

int Descriptor(FileHandle file) { return static_cast<int>(file); }

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

// The extended attributes of a file, its POSIX access lists
// (system.posix_acl_*) among them: their names, each ended by NUL (none
// where the file system keeps none), and the value of one.
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

// Calls visit(name) for each of the NUL-ended `names` while it returns true.
template <typename Visit>
bool EachName(const std::string& names, Visit visit) {
  for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
    if (!visit(names.c_str() + at)) return false;
  }
  return true;
}

bool HasName(const std::string& names, const char* name) {
  return !EachName(names, [name](const char* other) { return std::strcmp(other, name) != 0; });
}

// Makes the extended attributes of `to` those of `from`: what `to` got
// from its folder (a default access list) and `from` lacks is removed.
bool CopyAttributes(int from, int to, IoError* error) {
  std::string wanted, present, value, current;
  auto remove_unwanted = [&](const char* name) {
    return HasName(wanted, name) || fremovexattr(to, name) == 0;
  };
  // Only what differs is set: a label the system gave alike needs no right
  // to set it.
  auto copy = [&](const char* name) {
    return AttributeValue(from, name, &value) &&
           ((AttributeValue(to, name, &current) && current == value) ||
            fsetxattr(to, name, value.data(), value.size(), 0) == 0);
  };
  return (AttributeNames(from, &wanted) && AttributeNames(to, &present) &&
          EachName(present, remove_unwanted) && EachName(wanted, copy)) ||
         Fail(error, kAccessDenied);
}

// The file an interrupt or running out of memory removes first.
const char* volatile unfinished_file = nullptr;

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
  RemoveUnfinishedFile();
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigaction(signal_number, &default_action, nullptr);
  (void)raise(signal_number);  // delivered as the handler returns
}

class PosixEnv : public Env {
 public:
  void WriteLine(std::string_view line, LineKind) override {
    // Only a person at a terminal gets the line in their own charset;
    // pipes and files always get the code page 932 bytes.  Fixed lines are
    // converted too: as stored they are unreadable on such a terminal.
    std::string bytes =
        ShowsOtherCharset() ? to_terminal_->ConvertCP932Marking(line) : std::string(line);
    bytes += "\r\n";
    (void)WriteAll(STDOUT_FILENO, bytes.data(), bytes.size());  // dropped if not taken
  }

  std::string CharacterOptionToCP932(std::string_view value) override {
    // ASCII is the same in every locale's charset and in code page 932, so
    // the locale is only looked at for a value that might need converting.
    bool ascii = std::all_of(value.begin(), value.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || KeepsCP932Bytes(LocaleCharset())) return std::string(value);
    if (!from_locale_) from_locale_ = std::make_unique<Iconv>("CP932", LocaleCharset().c_str());
    std::string converted;
    return from_locale_->ConvertAll(value, &converted) ? converted : std::string(value);
  }

  bool Utf8ToCP932(std::string_view utf8, std::string* cp932) override {
    if (!from_utf8_) from_utf8_ = std::make_unique<Iconv>("CP932", "UTF-8");
    return from_utf8_->ConvertAll(utf8, cp932);
  }

  bool Examine(const std::string& name, FileKind* kind, std::string* path,
               IoError* error) override {
    // Links are followed here rather than by the system, so that a link to
    // a missing file names the file to create, and the link stays.  As
    // many are followed as the system itself follows before giving up.
    std::string at = name;
    for (int links = 0; links <= 40; ++links) {
      struct stat st;
      bool missing = lstat(at.c_str(), &st) != 0;
      if (missing && errno != ENOENT && errno != ENOTDIR) return FailErrno(error, errno, at);
      if (missing || !S_ISLNK(st.st_mode)) {
        *kind = missing               ? FileKind::kMissing
                : S_ISDIR(st.st_mode) ? FileKind::kFolder
                                      : FileKind::kFile;
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

  bool OpenForReading(const std::string& name, FileHandle* file, IoError* error) override {
    return Opened(open(name.c_str(), O_RDONLY | O_CLOEXEC), name, file, error);
  }

  bool OpenTable(const std::string& name, FileHandle* file, std::size_t* size,
                 IoError* error) override {
    // POSIX has no share modes: the table is simply opened for reading,
    // but without waiting, should it be a FIFO.
    if (!Opened(open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC), name, file, error)) {
      return false;
    }
    int fd = Descriptor(*file);
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
    *size = static_cast<std::size_t>(end);
    return true;
  }

  bool Read(FileHandle file, std::uint8_t* data, std::size_t size, std::size_t* got,
            IoError* error) override {
    ssize_t done;
    do {
      done = read(Descriptor(file), data, size < SSIZE_MAX ? size : SSIZE_MAX);
    } while (done < 0 && errno == EINTR);
    if (done < 0) return FailErrno(error, errno);
    *got = static_cast<std::size_t>(done);
    return true;
  }

  FileHandle StandardOutput() override { return STDOUT_FILENO; }

  bool OpenExisting(const std::string& path, FileHandle* file, bool* regular,
                    IoError* error) override {
    if (!Opened(open(path.c_str(), O_WRONLY | O_CLOEXEC), path, file, error)) return false;
    struct stat st;
    *regular = fstat(Descriptor(*file), &st) == 0 && S_ISREG(st.st_mode);
    return true;
  }

  bool CreateNew(const std::string& path, FileHandle* file, IoError* error) override {
    return Opened(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666), path, file,
                  error);
  }

  Creation CreateTemporary(const std::string& target, std::string* temp, FileHandle* file,
                           IoError* error) override {
    // A hidden file beside the target.  The pattern adds 13 bytes to the
    // name, so a name near the file system's limit of 255 bytes is
    // shortened, or a valid output name could not be written.
    std::string::size_type leaf = target.find_last_of('/') + 1;  // 0 without a slash
    *temp = target.substr(0, leaf) + "." + target.substr(leaf, 255 - 13) + ".vorn-XXXXXX";
    int fd = mkostemp(temp->data(), O_CLOEXEC);
    int err = errno;
    if (Opened(fd, target, file, error)) return Creation::kCreated;
    if (err == EACCES || err == EPERM || err == EROFS) return Creation::kRefused;
    return err == ENAMETOOLONG ? Creation::kTooLong : Creation::kFailed;
  }

  bool Write(FileHandle file, const std::uint8_t* data, std::size_t size, IoError* error) override {
    return WriteAll(Descriptor(file), data, size) || Fail(error, kDiskFull);
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
    return result == 0 || errno == EOPNOTSUPP || errno == ENOSYS || FailErrno(error, errno);
#else
    (void)file, (void)size, (void)error;
    return true;
#endif
  }

  bool Truncate(FileHandle file, std::size_t size, IoError* error) override {
    return ftruncate(Descriptor(file), static_cast<off_t>(size)) == 0 || FailErrno(error, errno);
  }

  bool CopyMetadata(FileHandle from, FileHandle to, IoError* error) override {
    struct stat st;
    if (from == kNoFile) {
      mode_t mask = umask(0);
      umask(mask);
      st.st_mode = 0666 & ~mask;
    } else if (fstat(Descriptor(from), &st) == 0) {
      // Only the owner's privileges allow this; a file of someone else's
      // that we may write still gets our ownership, as any editor does.
      (void)!fchown(Descriptor(to), st.st_uid, st.st_gid);
    } else {
      return FailErrno(error, errno);
    }
    // The access list goes after the mode, whose group bits would
    // otherwise overwrite its mask.
    if (fchmod(Descriptor(to), st.st_mode & 07777) != 0) return FailErrno(error, errno);
    return from == kNoFile || CopyAttributes(Descriptor(from), Descriptor(to), error);
  }

  bool Flush(FileHandle file, IoError* error) override {
    return fsync(Descriptor(file)) == 0 || Fail(error, kDiskFull);
  }

  bool Close(FileHandle file, IoError* error) override {
    return close(Descriptor(file)) == 0 || FailErrno(error, errno);
  }

  bool Replace(const std::string& from, const std::string& to, IoError* error) override {
    // Named first: nothing may fail for want of memory once it is done.
    const std::string folder_name = FolderOf(to);
    if (rename(from.c_str(), to.c_str()) != 0) return FailErrno(error, errno, to);
    // Makes the rename itself durable; a folder that cannot be opened or
    // synced leaves the file complete, so that is no failure.
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
  void SetUnfinishedFile(const char* path) override { unfinished_file = path; }

 private:
  // True when standard output is a terminal showing a charset other than
  // code page 932 that iconv converts to (for any other the bytes are the
  // best there is).  Decided on the first line, so that a run that prints
  // nothing never looks at its terminal or its locale.
  bool ShowsOtherCharset() {
    if (!decided_) {
      decided_ = true;
      if (isatty(STDOUT_FILENO) && !KeepsCP932Bytes(LocaleCharset())) {
        to_terminal_ = std::make_unique<Iconv>(LocaleCharset().c_str(), "CP932");
        if (!to_terminal_->ok()) to_terminal_.reset();
      }
    }
    return to_terminal_ != nullptr;
  }

  sigset_t held_mask_{};
  bool decided_ = false;
  std::unique_ptr<Iconv> to_terminal_;
  std::unique_ptr<Iconv> from_locale_;
  std::unique_ptr<Iconv> from_utf8_;
};

}  // namespace

[[gnu::noinline]] std::size_t CaptureLocations(std::size_t skip, std::uint32_t* out,
                                               std::size_t capacity) {
  Trace trace;
  _Unwind_Backtrace(AddFrame, &trace);
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&CaptureLocations), &self) == 0) return 0;
  const auto base = reinterpret_cast<std::uintptr_t>(self.dli_fbase);
  std::size_t count = 0;
  // Frame 0 is this function; the rest are return addresses, so one byte
  // back lands inside the call instruction.
  for (std::size_t i = 1 + skip; i < trace.count && count < capacity; ++i) {
    Dl_info frame{};
    std::uintptr_t call_site = trace.pcs[i] - 1;
    if (dladdr(reinterpret_cast<void*>(call_site), &frame) != 0 &&
        frame.dli_fbase == self.dli_fbase) {
      out[count++] = static_cast<std::uint32_t>(call_site - base);
    }
  }
  return count;
}

void WriteToStandardError(const char* data, std::size_t size) {
  (void)WriteAll(STDERR_FILENO, data, size);
}

void RemoveUnfinishedFile() {
  if (const char* unfinished = unfinished_file) unlink(unfinished);
}

std::string MessageForErrno(int err, const std::string& path) {
  if (err == ENOENT) {
    struct stat st;
    bool folder = stat(FolderOf(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return folder ? kFileNotFound : kInvalidFilename;
  }
  static const struct {
    const char* message;
    int errors[6];  // as many as there are, then zeros
  } kMessages[] = {
      {kDiskFull, {ENOSPC, EFBIG, EDQUOT}},
      {kInvalidFilename, {ENOTDIR, ENAMETOOLONG, ELOOP}},
      {kAccessDenied, {EACCES, EPERM, EISDIR, EROFS, ETXTBSY, EBUSY}},
      {kTooManyOpenFiles, {EMFILE, ENFILE}},
      {kInvalidFileHandle, {EBADF}},
  };
  for (const auto& known : kMessages) {
    for (int known_err : known.errors) {
      if (known_err == err && err != 0) return known.message;
    }
  }
  return UnknownErrorMessage(static_cast<unsigned long>(err));
}

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
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
    if (sigaction(signal_number, nullptr, &inherited) == 0 && inherited.sa_handler != SIG_IGN) {
      (void)sigaction(signal_number, &action, nullptr);
    }
  }
  std::set_new_handler([] { ReportOutOfMemory(); });
}

void IgnoreBrokenPipe() { (void)signal(SIGPIPE, SIG_IGN); }

}  // namespace vorn
