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

namespace vorn {

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

namespace {

// Writes all of `data`; false on the first failed or empty write.
bool WriteAll(HANDLE handle, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = size < 0x40000000 ? static_cast<DWORD>(size) : 0x40000000;
    DWORD written = 0;
    if (!WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

// `code` is GetLastError() as taken right after the failing call, before
// any clean-up call can change it.
bool FailWithCode(IoError* error, DWORD code) { return Fail(error, MessageForWindowsError(code)); }

// True when the call just made succeeded; otherwise its failure.
bool Succeeded(BOOL ok, IoError* error) { return ok || FailWithCode(error, GetLastError()); }

HANDLE HandleOf(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

// A handle just opened, or the failure to open it.
bool Opened(HANDLE handle, FileHandle* file, IoError* error) {
  if (handle == INVALID_HANDLE_VALUE) return FailWithCode(error, GetLastError());
  *file = reinterpret_cast<FileHandle>(handle);
  return true;
}

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

// Held while the output writer makes, replaces or removes a file, and by
// the console control handler, so that the handler, which runs on a thread
// of its own, finds the unfinished file either not yet made or registered,
// and either registered or already in its place.
CRITICAL_SECTION termination_lock;
const char* unfinished_file = nullptr;

// What Windows gives a console program that Ctrl+C ends
// (STATUS_CONTROL_C_EXIT).
constexpr UINT kInterruptedExitCode = 0xC000013A;

// Ctrl+C, Ctrl+Break, closing the console, logging off: removes the
// unfinished file (its handle allows that while it is open) and ends the
// run at once, as an interrupted console program ends.
BOOL WINAPI OnConsoleControl(DWORD) {
  EnterCriticalSection(&termination_lock);
  RemoveUnfinishedFile();
  TerminateProcess(GetCurrentProcess(), kInterruptedExitCode);
  return TRUE;
}

// Converts `text` from the code page `from` to `to`.  Strict, a byte
// sequence `from` does not have or a character `to` lacks fails the
// conversion, rather than turning into "?" or a look-alike.
bool Recode(UINT from, UINT to, bool strict, std::string_view text, std::string* out) {
  if (text.empty()) {
    out->clear();
    return true;
  }
  const DWORD from_flags = strict ? MB_ERR_INVALID_CHARS : 0;
  const DWORD to_flags = strict ? WC_NO_BEST_FIT_CHARS : 0;
  const int length = static_cast<int>(text.size());
  int wide_size = MultiByteToWideChar(from, from_flags, text.data(), length, nullptr, 0);
  if (wide_size <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  MultiByteToWideChar(from, from_flags, text.data(), length, wide.data(), wide_size);
  BOOL lacking = FALSE;
  int size = WideCharToMultiByte(to, to_flags, wide.data(), wide_size, nullptr, 0, nullptr,
                                 strict ? &lacking : nullptr);
  if (size <= 0 || lacking) return false;
  std::string converted(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(to, to_flags, wide.data(), wide_size, converted.data(), size, nullptr,
                      nullptr);
  *out = std::move(converted);
  return true;
}

class WindowsEnv : public Env {
 public:
  void WriteLine(std::string_view line, LineKind kind) override {
    // Lines assembled at run time go from the ANSI code page to the
    // console's where the two differ (without a console it is 0).
    std::string bytes(line);
    UINT ansi = GetACP();
    UINT console = GetConsoleOutputCP();
    if (kind == LineKind::kAssembled && console != 0 && console != ansi) {
      (void)Recode(ansi, console, false, line, &bytes);
    }
    bytes += "\r\n";
    // A console that cannot take the line does not stop the substitution.
    (void)WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), bytes.size());
  }

  bool Utf8ToCP932(std::string_view utf8, std::string* cp932) override {
    return Recode(CP_UTF8, 932, true, utf8, cp932);
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

  bool OpenForReading(const std::string& name, FileHandle* file, IoError* error) override {
    return Opened(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                  file, error);
  }

  bool OpenTable(const std::string& name, FileHandle* file, std::size_t* size,
                 IoError* error) override {
    // Share mode 0: no other program may open the table while it is read.
    if (!Opened(CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr),
                file, error)) {
      return false;
    }
    HANDLE handle = HandleOf(*file);
    if (GetFileType(handle) != FILE_TYPE_DISK) {
      CloseHandle(handle);
      return Fail(error, kAccessDenied);  // a device would read as anything
    }
    LARGE_INTEGER zero{};
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(handle, zero, &end, FILE_END) ||
        !SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN)) {
      DWORD code = GetLastError();
      CloseHandle(handle);
      return FailWithCode(error, code);
    }
    *size = static_cast<std::size_t>(end.QuadPart);
    return true;
  }

  bool Read(FileHandle file, std::uint8_t* data, std::size_t size, std::size_t* got,
            IoError* error) override {
    DWORD done = 0;
    DWORD chunk = size < 0x40000000 ? static_cast<DWORD>(size) : 0x40000000;
    if (!ReadFile(HandleOf(file), data, chunk, &done, nullptr)) {
      DWORD code = GetLastError();
      // A pipe ends by its writer closing it.
      if (code != ERROR_BROKEN_PIPE) return FailWithCode(error, code);
    }
    *got = done;
    return true;
  }

  FileHandle StandardOutput() override {
    return reinterpret_cast<FileHandle>(GetStdHandle(STD_OUTPUT_HANDLE));
  }

  bool OpenExisting(const std::string& path, FileHandle* file, bool* regular,
                    IoError* error) override {
    // Not read-only, not held by another program, not a folder.
    if (!Opened(CreateFileA(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                file, error)) {
      return false;
    }
    // Devices (NUL, CON, a pipe) are no disk files.
    *regular = GetFileType(HandleOf(*file)) == FILE_TYPE_DISK;
    return true;
  }

  bool CreateNew(const std::string& path, FileHandle* file, IoError* error) override {
    return Opened(CreateExclusive(path), file, error);
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
      code = GetLastError();
      if (Opened(handle, file, error)) return Creation::kCreated;
      if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
    }
    if (code == ERROR_ACCESS_DENIED) return Creation::kRefused;
    // A name too long fails as too long, or under a full path as a path
    // not found.
    if (code == ERROR_FILENAME_EXCED_RANGE || code == ERROR_PATH_NOT_FOUND) {
      return Creation::kTooLong;
    }
    return Creation::kFailed;
  }

  bool Write(FileHandle file, const std::uint8_t* data, std::size_t size, IoError* error) override {
    return WriteAll(HandleOf(file), data, size) || Fail(error, kDiskFull);
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
    return Succeeded(
        SetFilePointerEx(HandleOf(file), end, nullptr, FILE_BEGIN) && SetEndOfFile(HandleOf(file)),
        error);
  }

  bool CopyMetadata(FileHandle from, FileHandle to, IoError* error) override {
    if (from == kNoFile) return true;
    BY_HANDLE_FILE_INFORMATION old{};
    if (!Succeeded(GetFileInformationByHandle(HandleOf(from), &old), error)) return false;
    // Hidden, system and the like; times of zero stay as they are.
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes =
        (old.dwFileAttributes & kKept) != 0 ? old.dwFileAttributes & kKept : FILE_ATTRIBUTE_NORMAL;
    return Succeeded(SetFileInformationByHandle(HandleOf(to), FileBasicInfo, &basic, sizeof basic),
                     error);
  }

  bool Flush(FileHandle file, IoError* error) override {
    return FlushFileBuffers(HandleOf(file)) || Fail(error, kDiskFull);
  }

  bool Close(FileHandle file, IoError* error) override {
    return Succeeded(CloseHandle(HandleOf(file)), error);
  }

  bool Replace(const std::string& from, const std::string& to, IoError* error) override {
    return Succeeded(
        MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH),
        error);
  }

  void Remove(const std::string& path) override { DeleteFileA(path.c_str()); }

  void HoldTermination() override { EnterCriticalSection(&termination_lock); }
  void ReleaseTermination() override { LeaveCriticalSection(&termination_lock); }

  void SetUnfinishedFile(const char* path) override { unfinished_file = path; }
};

}  // namespace

void WriteToStandardError(const char* data, std::size_t size) {
  (void)WriteAll(GetStdHandle(STD_ERROR_HANDLE), data, size);
}

void RemoveUnfinishedFile() {
  if (unfinished_file != nullptr) DeleteFileA(unfinished_file);
}

Env* Env::Default() {
  static WindowsEnv env;
  return &env;
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

}  // namespace vorn
