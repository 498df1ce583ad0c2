// The file layer over the wide-character functions: paths arrive as UTF-8
// and are converted here, so the program needs no code page of its own.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "cli/platform.h"
#include "win/handle.h"
#include "win/utf16.h"

namespace dashtab::cli {
namespace {

using win::UniqueFileHandle;
using win::Utf8FromWide;
using win::WideFromUtf8;

// ReadFile and WriteFile count in DWORDs.
constexpr DWORD kMostPerCall = DWORD{1} << 30;

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text ? text : L"", length);
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' ')) {
    message.pop_back();
  }
  if (message.empty()) {
    return "system error " + std::to_string(error);
  }
  return Utf8FromWide(message);
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Windows says "access denied" for a folder opened as a file, so the path
// is looked at again to tell the two apart.
FileStatus StatusFromError(DWORD error, const std::wstring& path, bool writing) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return {writing ? FileError::kNoSuchFolder : FileError::kNoSuchFile, {}};
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
      return {writing ? FileError::kNoSuchFolder : FileError::kNoSuchFile, {}};
    case ERROR_ACCESS_DENIED:
      if (!path.empty() && IsDirectory(path)) {
        return {FileError::kIsADirectory, {}};
      }
      return {FileError::kPermissionDenied, {}};
    case ERROR_WRITE_PROTECT:
      return {FileError::kPermissionDenied, {}};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return {FileError::kDiskFull, {}};
    case ERROR_FILE_TOO_LARGE:
      return {FileError::kFileTooLarge, {}};
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return {FileError::kInUse, {}};
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return {FileError::kNotEnoughMemory, {}};
    default:
      return {FileError::kOther, SystemMessage(error)};
  }
}

// Removes the new file unless the move over the target went through.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) {
      DeleteFileW(path_.c_str());
    }
  }
  const std::wstring& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::wstring path_;
};

// A move over a file that another program holds open fails as "access
// denied"; asking for the right to delete the file tells the cases apart.
bool HeldOpenByAnother(const std::wstring& path) {
  UniqueFileHandle probe(CreateFileW(path.c_str(), DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return !probe && GetLastError() == ERROR_SHARING_VIOLATION;
}

// Standard input ends at the end of a file or when the writer of a pipe
// closes its end.
ReadPiece ReadHandle(HANDLE handle, char* into, std::size_t most) {
  DWORD got = 0;
  if (ReadFile(handle, into, static_cast<DWORD>(std::min<std::size_t>(most, kMostPerCall)), &got,
               nullptr)) {
    return {got, {}};
  }
  const DWORD error = GetLastError();
  if (error == ERROR_BROKEN_PIPE) {
    return {0, {}};
  }
  return {0, StatusFromError(error, {}, false)};
}

FileStatus WriteHandle(HANDLE handle, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(kMostPerCall, bytes.size() - done));
    DWORD put = 0;
    if (!WriteFile(handle, bytes.data() + done, want, &put, nullptr)) {
      return StatusFromError(GetLastError(), {}, true);
    }
    if (put == 0) {
      return {FileError::kDiskFull, {}};
    }
    done += put;
  }
  return {};
}

// A file the program opened, or standard input, which it only borrows.
class HandleInput final : public Input {
 public:
  HandleInput(UniqueFileHandle owned, HANDLE handle, std::uint64_t expected)
      : owned_(std::move(owned)), handle_(handle), expected_(expected) {}
  std::uint64_t ExpectedSize() const override { return expected_; }
  ReadPiece Read(char* into, std::size_t most) override { return ReadHandle(handle_, into, most); }

 private:
  UniqueFileHandle owned_;
  HANDLE handle_;
  std::uint64_t expected_;
};

// Standard output, or a device opened for writing: written as it comes.
class HandleOutput final : public Output {
 public:
  HandleOutput(UniqueFileHandle owned, HANDLE handle) : owned_(std::move(owned)), handle_(handle) {}
  FileStatus Write(std::string_view bytes) override { return WriteHandle(handle_, bytes); }
  FileStatus Commit() override {
    if (owned_ && !CloseHandle(owned_.release())) {
      return StatusFromError(GetLastError(), {}, true);
    }
    return {};
  }

 private:
  UniqueFileHandle owned_;
  HANDLE handle_;
};

// A device such as NUL or CON cannot be replaced, only written to; empty
// for anything else, files included.
UniqueFileHandle OpenIfDevice(const std::wstring& path) {
  UniqueFileHandle device(CreateFileW(path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (device && GetFileType(device.get()) != FILE_TYPE_DISK) {
    return device;
  }
  return {};
}

// A new file beside the target that takes the target's place at Commit.
class ReplacementFile final : public Output {
 public:
  ReplacementFile(UniqueFileHandle file, std::wstring temporary, std::wstring target,
                  DWORD oldAttributes)
      : temporary_(std::move(temporary)),
        file_(std::move(file)),
        target_(std::move(target)),
        oldAttributes_(oldAttributes) {}

  FileStatus Write(std::string_view bytes) override { return WriteHandle(file_.get(), bytes); }

  FileStatus Commit() override {
    const bool replaces = oldAttributes_ != INVALID_FILE_ATTRIBUTES;
    // Only a file that replaces another waits for the disk: a crash then
    // leaves the old contents or the new.
    if (replaces && !FlushFileBuffers(file_.get())) {
      return StatusFromError(GetLastError(), {}, true);
    }
    if (!CloseHandle(file_.release())) {
      return StatusFromError(GetLastError(), {}, true);
    }
    // What Windows lets a file keep of its target: hidden, system, archive.
    // A read-only target was refused before anything was written.
    if (replaces) {
      const DWORD kept =
          oldAttributes_ & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
      SetFileAttributesW(temporary_.path().c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
    }
    if (!MoveFileExW(temporary_.path().c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      const DWORD error = GetLastError();
      return error == ERROR_ACCESS_DENIED && HeldOpenByAnother(target_)
                 ? FileStatus{FileError::kInUse, {}}
                 : StatusFromError(error, target_, true);
    }
    temporary_.Keep();
    return {};
  }

 private:
  // Declared first, so that the file is closed before it is removed.
  TemporaryFile temporary_;
  UniqueFileHandle file_;
  std::wstring target_;
  DWORD oldAttributes_;
};

std::optional<FileIdentity> IdentifyHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    return std::nullopt;
  }
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::wstring FolderOf(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) {
    // "C:name" lives in the current folder of drive C.
    return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : L".";
  }
  return path.substr(0, slash + 1);
}

// A new file beside the target, under a name nobody else uses.
UniqueFileHandle CreateTemporaryBeside(const std::wstring& target, std::wstring& name,
                                       FileStatus& status) {
  std::wstring folder = FolderOf(target);
  if (folder.back() != L'\\' && folder.back() != L'/' && folder.back() != L':') {
    folder += L'\\';
  }
  const DWORD process = GetCurrentProcessId();
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    name = folder + L".dashtab-" + std::to_wstring(process) + L"-" +
           std::to_wstring(GetTickCount() + attempt) + L".tmp";
    UniqueFileHandle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      return file;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
      status = StatusFromError(GetLastError(), {}, true);
      return {};
    }
  }
  status = {FileError::kOther, "no free name for a temporary file"};
  return {};
}

bool IsConsole(HANDLE handle) {
  DWORD mode;
  return GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode);
}

}  // namespace

OpenedInput OpenInputFile(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  UniqueFileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    return {nullptr, StatusFromError(GetLastError(), wide, false)};
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) {
    return {nullptr, StatusFromError(GetLastError(), wide, false)};
  }
  const HANDLE handle = file.get();
  return {std::make_unique<HandleInput>(std::move(file), handle,
                                        static_cast<std::uint64_t>(size.QuadPart)),
          {}};
}

std::unique_ptr<Input> StandardInput() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  LARGE_INTEGER size{};
  std::uint64_t expected = 0;
  if (GetFileType(input) == FILE_TYPE_DISK && GetFileSizeEx(input, &size)) {
    expected = static_cast<std::uint64_t>(size.QuadPart);
  }
  return std::make_unique<HandleInput>(UniqueFileHandle(), input, expected);
}

std::unique_ptr<Output> StandardOutput() {
  return std::make_unique<HandleOutput>(UniqueFileHandle(), GetStdHandle(STD_OUTPUT_HANDLE));
}

FileStatus WriteStandardOutput(std::string_view bytes) {
  return WriteHandle(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
}

OpenedOutput CreateReplacement(const std::string& path) {
  const std::wstring target = WideFromUtf8(path);
  if (UniqueFileHandle device = OpenIfDevice(target)) {
    const HANDLE handle = device.get();
    return {std::make_unique<HandleOutput>(std::move(device), handle), {}};
  }
  const DWORD oldAttributes = GetFileAttributesW(target.c_str());
  if (oldAttributes == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_FILE_NOT_FOUND) {
    return {nullptr, StatusFromError(GetLastError(), {}, true)};
  }
  if (oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return {nullptr, {FileError::kIsADirectory, {}}};
  }
  // Windows refuses to move a file over a read-only one, Wine does not:
  // the program refuses by itself, the same everywhere.
  if (oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & FILE_ATTRIBUTE_READONLY)) {
    return {nullptr, {FileError::kPermissionDenied, {}}};
  }
  std::wstring name;
  FileStatus status;
  UniqueFileHandle file = CreateTemporaryBeside(target, name, status);
  if (!file) {
    return {nullptr, status};
  }
  return {
      std::make_unique<ReplacementFile>(std::move(file), std::move(name), target, oldAttributes),
      {}};
}

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  // No access asked for, only the file's information; a folder opens too.
  UniqueFileHandle file(CreateFileW(WideFromUtf8(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) {
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info)) {
    return std::nullopt;
  }
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<FileIdentity> IdentifyStandardInput() {
  return IdentifyHandle(GetStdHandle(STD_INPUT_HANDLE));
}

std::optional<FileIdentity> IdentifyStandardOutput() {
  return IdentifyHandle(GetStdHandle(STD_OUTPUT_HANDLE));
}

bool StandardErrorIsTerminal() {
  return IsConsole(GetStdHandle(STD_ERROR_HANDLE));
}

void WriteStandardError(std::string_view text) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (IsConsole(error)) {
    // The console shows UTF-16 text whatever its code page.
    const std::wstring wide = WideFromUtf8(text);
    DWORD written;
    WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  (void)WriteHandle(error, text);
}

void PrepareProcess() {
  // A failing drive is reported as an error message, not a dialog box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

std::vector<std::string> CommandLineArguments(int, char**) {
  // The narrow argv of the C runtime follows the code page; the wide
  // command line holds every name as typed.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (!wide) {
    return arguments;
  }
  for (int i = 1; i < count; ++i) {
    arguments.push_back(Utf8FromWide(wide[i]));
  }
  LocalFree(wide);
  return arguments;
}

}  // namespace dashtab::cli
