// The Win32 side of the platform seam.  File names and console lines are
// bytes in the system's ANSI code page, so only the ...A functions are used.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <new>

#include "platform/command_line.h"
#include "platform/cp932.h"
#include "platform/env.h"
#include "platform/failure_report.h"
#include "platform/output_file.h"
#include "platform/windows_error.h"

namespace vorn {
namespace {

constexpr std::size_t kMaxLocations = 16;

// Fills `out` with the call sites of the current call chain that lie in
// vorn's own executable, innermost first, as offsets from its load address,
// leaving out the `skip` innermost callers (the error helpers).  Allocates
// nothing, so that it also serves the out-of-memory report.
[[gnu::noinline]] std::size_t CaptureLocations(std::size_t skip, std::uint32_t* out,
                                               std::size_t capacity) {
  void* pcs[kMaxLocations + 4];
  // Frame 0 is this function; the rest are return addresses, so one byte
  // back lands inside the call instruction.
  std::size_t frames = RtlCaptureStackBackTrace(0, kMaxLocations + 4, pcs, nullptr);
  HMODULE self = GetModuleHandleA(nullptr);
  std::size_t count = 0;
  for (std::size_t i = 1 + skip; i < frames && count < capacity; ++i) {
    auto call_site = reinterpret_cast<std::uintptr_t>(pcs[i]) - 1;
    HMODULE owner = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(call_site), &owner) ||
        owner != self) {
      continue;
    }
    out[count++] = static_cast<std::uint32_t>(call_site - reinterpret_cast<std::uintptr_t>(self));
  }
  return count;
}

// Every error is made here or in FailWithCode, so the first location is
// the failing call.
[[gnu::noinline]] bool Fail(IoError* error, const char* message) {
  std::uint32_t locations[kMaxLocations];
  std::size_t count = CaptureLocations(1, locations, kMaxLocations);
  error->message = message;
  error->locations.assign(locations, locations + count);
  return false;
}

// `code` is GetLastError() as taken right after the failing call, before
// any clean-up call can change it.
[[gnu::noinline]] bool FailWithCode(IoError* error, DWORD code) {
  std::uint32_t locations[kMaxLocations];
  std::size_t count = CaptureLocations(1, locations, kMaxLocations);
  error->message = MessageForWindowsError(code);
  error->locations.assign(locations, locations + count);
  return false;
}

// Writes all of `data`; any failed or short write is reported as a full
// disk.
bool WriteAll(HANDLE handle, const std::uint8_t* data, std::size_t size, IoError* error) {
  while (size > 0) {
    DWORD chunk = size < 0x40000000 ? static_cast<DWORD>(size) : 0x40000000;
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) {
      return Fail(error, kDiskFull);
    }
    data += written;
    size -= written;
  }
  return true;
}

HANDLE HandleOf(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle FileHandleOf(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

// Where the folder part of a file name ends: after its last "\", "/" or
// drive colon.  The bytes are walked character by character, so that the
// trail byte of a two-byte character (表 is 95 5C) is not taken for a
// backslash and the temporary file's name is made of whole characters.
std::size_t FolderPrefixLength(const std::string& name) {
  std::size_t prefix = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto byte = static_cast<unsigned char>(name[i]);
    if (IsLeadByte(byte)) {
      ++i;
    } else if (byte == '\\' || byte == '/' || byte == ':') {
      prefix = i + 1;
    }
  }
  return prefix;
}

// Creates `path`, which must not exist, for writing.  The console control
// handler may remove it while it is open.
HANDLE CreateExclusive(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

class WindowsSequentialFile : public SequentialFile {
 public:
  explicit WindowsSequentialFile(HANDLE handle) : handle_(handle) {}
  ~WindowsSequentialFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool Read(std::uint8_t* data, std::size_t size, std::size_t* got, IoError* error) override {
    DWORD done = 0;
    DWORD chunk = size < 0x40000000 ? static_cast<DWORD>(size) : 0x40000000;
    if (!ReadFile(handle_, data, chunk, &done, nullptr)) {
      DWORD code = GetLastError();
      // A pipe ends by its writer closing it.
      if (code != ERROR_BROKEN_PIPE) return FailWithCode(error, code);
    }
    *got = done;
    return true;
  }
  bool Close(IoError* error) override {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) || FailWithCode(error, GetLastError());
  }

 private:
  HANDLE handle_;
};

// Held while output_file.cc makes, replaces or removes a file, and by the
// console control handler, so that the handler, which runs on a thread of
// its own, finds the unfinished file either not yet made or registered,
// and either registered or already in its place.
CRITICAL_SECTION termination_lock;

// What Windows gives a console program that Ctrl+C ends
// (STATUS_CONTROL_C_EXIT).
constexpr UINT kInterruptedExitCode = 0xC000013A;

// Ctrl+C, Ctrl+Break, closing the console, logging off: removes the
// unfinished file (its handle allows that while it is open) and ends the
// run at once, as an interrupted console program ends.
BOOL WINAPI OnConsoleControl(DWORD) {
  EnterCriticalSection(&termination_lock);
  const char* unfinished = UnfinishedFile();
  if (unfinished != nullptr) DeleteFileA(unfinished);
  TerminateProcess(GetCurrentProcess(), kInterruptedExitCode);
  return TRUE;
}

void WriteToStandardError(const char* data, std::size_t size) {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
      return;
    }
    data += written;
    size -= written;
  }
}

void WriteReport(std::string_view kind, std::string_view message, const std::uint32_t* locations,
                 std::size_t count) {
  char report[2048];
  std::size_t size = FormatFailureReport(kind, message, locations, count, report, sizeof report);
  WriteToStandardError(report, size);
}

// `line` (ANSI code page bytes) in the console's output code page.  With
// no console (output code page 0), or where the two code pages agree, or
// where the line cannot be converted, the bytes stay as they are.
std::string InConsoleCodePage(std::string_view line) {
  UINT ansi = GetACP();
  UINT console = GetConsoleOutputCP();
  if (console == 0 || console == ansi || line.empty()) return std::string(line);
  int wide_size =
      MultiByteToWideChar(ansi, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
  if (wide_size <= 0) return std::string(line);
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  MultiByteToWideChar(ansi, 0, line.data(), static_cast<int>(line.size()), wide.data(), wide_size);
  int size = WideCharToMultiByte(console, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string(line);
  std::string converted(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(console, 0, wide.data(), wide_size, converted.data(), size, nullptr, nullptr);
  return converted;
}

class WindowsEnv : public Env {
 public:
  void WriteLine(std::string_view line, LineKind kind) override {
    std::string bytes = kind == LineKind::kAssembled ? InConsoleCodePage(line) : std::string(line);
    bytes += "\r\n";
    IoError ignored;
    // A console that cannot take the line does not stop the substitution.
    (void)WriteAll(GetStdHandle(STD_OUTPUT_HANDLE),
                   reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &ignored);
  }

  bool Examine(const std::string& name, FileKind* kind, std::string* path,
               IoError* error) override {
    DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      DWORD code = GetLastError();
      if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
        return FailWithCode(error, code);
      }
      *kind = FileKind::kMissing;
    } else {
      *kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::kFolder : FileKind::kFile;
    }
    *path = name;
    return true;
  }

  bool ReadWholeFile(const std::string& name, ByteBuffer* contents, IoError* error) override {
    // Share mode 0: no other program may open the table while it is read.
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FailWithCode(error, GetLastError());
    if (GetFileType(file) != FILE_TYPE_DISK) {
      CloseHandle(file);
      return Fail(error, kAccessDenied);  // a device would read as anything
    }
    LARGE_INTEGER zero{};
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file, zero, &end, FILE_END) ||
        !SetFilePointerEx(file, zero, nullptr, FILE_BEGIN)) {
      DWORD code = GetLastError();
      CloseHandle(file);
      return FailWithCode(error, code);
    }
    auto size = static_cast<std::size_t>(end.QuadPart);
    contents->BeginRead(size);
    // One read takes the whole of any table; only a file beyond what one
    // call can read takes more.
    std::size_t done = 0;
    while (done < size) {
      std::size_t left = size - done;
      DWORD chunk = left < 0x40000000 ? static_cast<DWORD>(left) : 0x40000000;
      DWORD got = 0;
      if (!ReadFile(file, contents->data() + done, chunk, &got, nullptr)) {
        DWORD code = GetLastError();
        CloseHandle(file);
        *contents = ByteBuffer();  // partly overwritten: of no further use
        return FailWithCode(error, code);
      }
      if (got == 0) break;  // The file shrank since its size was taken.
      done += got;
    }
    CloseHandle(file);
    contents->EndRead(done);
    return true;
  }

  bool NewSequentialFile(const std::string& name, std::unique_ptr<SequentialFile>* file,
                         IoError* error) override {
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return FailWithCode(error, GetLastError());
    *file = std::make_unique<WindowsSequentialFile>(handle);
    return true;
  }

  FileHandle StandardOutput() override { return FileHandleOf(GetStdHandle(STD_OUTPUT_HANDLE)); }

  bool OpenExisting(const std::string& path, FileHandle* file, bool* regular,
                    IoError* error) override {
    // Not read-only, not held by another program, not a folder.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return FailWithCode(error, GetLastError());
    // Devices (NUL, CON, a pipe) are no disk files.
    *regular = GetFileType(handle) == FILE_TYPE_DISK;
    *file = FileHandleOf(handle);
    return true;
  }

  bool CreateNew(const std::string& path, FileHandle* file, IoError* error) override {
    HANDLE handle = CreateExclusive(path);
    if (handle == INVALID_HANDLE_VALUE) return FailWithCode(error, GetLastError());
    *file = FileHandleOf(handle);
    return true;
  }

  Creation CreateTemporary(const std::string& target, std::string* temp, FileHandle* file,
                           IoError* error) override {
    // A name of five bytes, so that it fits wherever the target's name
    // does unless that is shorter still.
    const std::string folder = target.substr(0, FolderPrefixLength(target));
    static unsigned serial = GetCurrentProcessId();
    DWORD code = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      char leaf[8];
      std::snprintf(leaf, sizeof leaf, "~v%03X", ++serial & 0xFFF);
      *temp = folder + leaf;
      HANDLE handle = CreateExclusive(*temp);
      if (handle != INVALID_HANDLE_VALUE) {
        *file = FileHandleOf(handle);
        return Creation::kCreated;
      }
      code = GetLastError();
      if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
    }
    FailWithCode(error, code);
    if (code == ERROR_ACCESS_DENIED) return Creation::kRefused;
    // A name too long fails as too long, or under a full path as a path
    // not found.
    if (code == ERROR_FILENAME_EXCED_RANGE || code == ERROR_PATH_NOT_FOUND) {
      return Creation::kTooLong;
    }
    return Creation::kFailed;
  }

  bool Write(FileHandle file, const std::uint8_t* data, std::size_t size, IoError* error) override {
    return WriteAll(HandleOf(file), data, size, error);
  }

  bool Reserve(FileHandle file, std::size_t size, IoError* error) override {
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
    if (SetFileInformationByHandle(HandleOf(file), FileAllocationInfo, &allocation,
                                   sizeof allocation)) {
      return true;
    }
    DWORD code = GetLastError();
    // File systems (and Wine) that cannot reserve room.
    if (code == ERROR_CALL_NOT_IMPLEMENTED || code == ERROR_NOT_SUPPORTED ||
        code == ERROR_INVALID_FUNCTION || code == ERROR_INVALID_PARAMETER) {
      return true;
    }
    return FailWithCode(error, code);
  }

  bool Truncate(FileHandle file, std::size_t size, IoError* error) override {
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(HandleOf(file), end, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(HandleOf(file))) {
      return FailWithCode(error, GetLastError());
    }
    return true;
  }

  bool CopyMetadata(FileHandle from, FileHandle to, IoError* error) override {
    if (from == kNoFile) return true;
    BY_HANDLE_FILE_INFORMATION old{};
    if (!GetFileInformationByHandle(HandleOf(from), &old)) {
      return FailWithCode(error, GetLastError());
    }
    // Hidden, system and the like; times of zero stay as they are.
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes =
        (old.dwFileAttributes & kKept) != 0 ? old.dwFileAttributes & kKept : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(HandleOf(to), FileBasicInfo, &basic, sizeof basic)) {
      return FailWithCode(error, GetLastError());
    }
    return true;
  }

  bool Flush(FileHandle file, IoError* error) override {
    if (!FlushFileBuffers(HandleOf(file))) return Fail(error, kDiskFull);
    return true;
  }

  bool Close(FileHandle file, IoError* error) override {
    if (!CloseHandle(HandleOf(file))) return FailWithCode(error, GetLastError());
    return true;
  }

  bool Replace(const std::string& from, const std::string& to, IoError* error) override {
    if (!MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return FailWithCode(error, GetLastError());
    }
    return true;
  }

  void Remove(const std::string& path) override { DeleteFileA(path.c_str()); }

  void HoldTermination() override { EnterCriticalSection(&termination_lock); }
  void ReleaseTermination() override { LeaveCriticalSection(&termination_lock); }

  void ReportFailure(const IoError& error) override {
    WriteReport(kInOutErrorKind, error.message, error.locations.data(), error.locations.size());
  }
};

}  // namespace

Env* Env::Default() {
  static WindowsEnv env;
  return &env;
}

bool Utf8ToCP932(std::string_view utf8, std::string* cp932) {
  if (utf8.empty()) {
    cp932->clear();
    return true;
  }
  int wide_size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
  if (wide_size <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), wide_size);
  // No best fit: a character code page 932 lacks must fail the conversion,
  // not turn into a look-alike or "?".
  BOOL lacking = FALSE;
  int size = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wide_size, nullptr, 0,
                                 nullptr, &lacking);
  if (size <= 0 || lacking) return false;
  std::string converted(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wide_size, converted.data(), size,
                      nullptr, nullptr);
  *cp932 = std::move(converted);
  return true;
}

// The C runtime's argv follows other quoting rules, so the command line is
// split from the one string Windows hands over.
std::vector<std::string> CommandLineArguments(int, char**) {
  std::vector<std::string> arguments = SplitCommandLine(GetCommandLineA());
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return arguments;
}

void InitializeProcess() {
  // vorn writes nothing through the C runtime's streams, but vorn-table
  // does: they must not turn LF into CR LF, nor CR LF into LF and Ctrl-Z
  // into the end of standard input.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // A drive that is not ready fails the call instead of opening a dialog
  // box that a console run would wait on.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  InitializeCriticalSection(&termination_lock);
  // A process started with Ctrl+C ignored keeps ignoring it: Windows calls
  // no handler for it then.
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  std::set_new_handler([] { ReportOutOfMemory(); });
}

// Writing to a closed pipe already fails on Windows.
void IgnoreBrokenPipe() {}

void ReportOutOfMemory() {
  const char* unfinished = UnfinishedFile();
  if (unfinished != nullptr) DeleteFileA(unfinished);
  std::uint32_t locations[kMaxLocations];
  std::size_t count = CaptureLocations(0, locations, kMaxLocations);
  WriteReport(kOutOfMemoryKind, kOutOfMemoryMessage, locations, count);
  ExitProcess(kFailureExitStatus);
}

}  // namespace vorn
