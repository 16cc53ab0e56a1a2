// The Win32 side of the platform seam.  File names and console lines are
// bytes in the system's ANSI code page, so only the ...A functions are used.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <new>

#include "main/command_line.h"
#include "platform/env.h"
#include "platform/failure_report.h"
#include "platform/windows_error.h"
#include "substitute/ms932_code.h"

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

bool CloseChecked(HANDLE handle, IoError* error) {
  if (!CloseHandle(handle)) return FailWithCode(error, GetLastError());
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

// Standard output: the copy of an output named by the empty name.
class StandardOutputFile : public WritableFile {
 public:
  bool Append(const std::uint8_t* data, std::size_t size, IoError* error) override {
    return WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), data, size, error);
  }
  bool Commit(IoError*) override { return true; }
};

// A file written where it stands: a device, or a file whose folder does
// not let a temporary file be made beside it.  What was written stays
// written.
class DirectFile : public WritableFile {
 public:
  explicit DirectFile(HANDLE handle) : handle_(handle) {}
  ~DirectFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool Append(const std::uint8_t* data, std::size_t size, IoError* error) override {
    return WriteAll(handle_, data, size, error);
  }
  bool Commit(IoError* error) override {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseChecked(handle, error);
  }

 private:
  HANDLE handle_;
};

// A file replaced whole or not at all: the bytes go to a temporary file
// beside the target, which is flushed to disk and moved over the target on
// Commit(), and removed if the file is dropped before that.
class AtomicFile : public WritableFile {
 public:
  AtomicFile(HANDLE handle, std::string temp_path, std::string target_path)
      : handle_(handle), temp_path_(std::move(temp_path)), target_path_(std::move(target_path)) {}

  ~AtomicFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!committed_) DeleteFileA(temp_path_.c_str());
  }

  bool Append(const std::uint8_t* data, std::size_t size, IoError* error) override {
    return WriteAll(handle_, data, size, error);
  }

  bool Commit(IoError* error) override {
    if (!FlushFileBuffers(handle_)) return Fail(error, kDiskFull);
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseChecked(handle, error)) return false;
    if (!MoveFileExA(temp_path_.c_str(), target_path_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return FailWithCode(error, GetLastError());
    }
    committed_ = true;
    return true;
  }

 private:
  HANDLE handle_;
  std::string temp_path_;
  std::string target_path_;
  bool committed_ = false;
};

// Creates a new, empty temporary file in the folder of `target` and
// returns its handle (INVALID_HANDLE_VALUE with the error in `code`).
HANDLE CreateTemporaryBeside(const std::string& target, std::string* temp_path, DWORD* code) {
  std::string folder = target.substr(0, FolderPrefixLength(target));
  static unsigned serial = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char leaf[48];
    std::snprintf(leaf, sizeof leaf, "~vorn%08lX%04X.tmp",
                  static_cast<unsigned long>(GetCurrentProcessId()), ++serial & 0xFFFF);
    *temp_path = folder + leaf;
    HANDLE handle = CreateFileA(temp_path->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return handle;
    *code = GetLastError();
    if (*code != ERROR_FILE_EXISTS && *code != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
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

  bool FileExists(const std::string& name) override {
    DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool ReadWholeFile(const std::string& name, ByteBuffer* contents, IoError* error) override {
    // Share mode 0: no other program may open the table while it is read.
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FailWithCode(error, GetLastError());
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

  bool ReadTextFile(const std::string& name, std::string* contents, IoError* error) override {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FailWithCode(error, GetLastError());
    std::string text;
    char chunk[65536];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
        DWORD code = GetLastError();
        // A pipe ends by its writer closing it.
        if (code == ERROR_BROKEN_PIPE) break;
        CloseHandle(file);
        return FailWithCode(error, code);
      }
      if (got == 0) break;
      text.append(chunk, got);
    }
    if (!CloseChecked(file, error)) return false;
    *contents = std::move(text);
    return true;
  }

  bool NewOutputFile(const std::string& name, std::unique_ptr<WritableFile>* file,
                     IoError* error) override {
    if (name.empty()) {
      *file = std::make_unique<StandardOutputFile>();
      return true;
    }
    // An existing target must be writable in its own right (not read-only,
    // not held by another program, not a folder): replacing it through its
    // folder must not get round that.
    HANDLE target = CreateFileA(name.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
      DWORD code = GetLastError();
      if (code != ERROR_FILE_NOT_FOUND) return FailWithCode(error, code);
    } else if (GetFileType(target) != FILE_TYPE_DISK) {
      // Devices (NUL, CON, a pipe) are written as they are.
      *file = std::make_unique<DirectFile>(target);
      return true;
    }

    std::string temp;
    DWORD code = 0;
    HANDLE temp_file = CreateTemporaryBeside(name, &temp, &code);
    if (temp_file == INVALID_HANDLE_VALUE) {
      if (target != INVALID_HANDLE_VALUE && code == ERROR_ACCESS_DENIED) {
        // The folder does not allow a file beside the target, but the
        // target itself may be written: write it in place.
        if (!SetEndOfFile(target)) {
          DWORD truncate_code = GetLastError();
          CloseHandle(target);
          return FailWithCode(error, truncate_code);
        }
        *file = std::make_unique<DirectFile>(target);
        return true;
      }
      if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
      return FailWithCode(error, code);
    }
    if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
    *file = std::make_unique<AtomicFile>(temp_file, temp, name);
    return true;
  }

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
  // Nothing is written through the C runtime's streams, but should anything
  // be, it must not turn LF into CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // A drive that is not ready fails the call instead of opening a dialog
  // box that a console run would wait on.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  std::set_new_handler([] { ReportOutOfMemory(); });
}

void ReportOutOfMemory() {
  std::uint32_t locations[kMaxLocations];
  std::size_t count = CaptureLocations(0, locations, kMaxLocations);
  WriteReport(kOutOfMemoryKind, kOutOfMemoryMessage, locations, count);
  ExitProcess(kFailureExitStatus);
}

}  // namespace vorn
