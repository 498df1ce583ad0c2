#include "temp_folder.h"

#include <windows.h>

#include <atomic>

#include "win/handle.h"

namespace dashtab::win::testing {

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  char temp[MAX_PATH + 1];
  GetTempPathA(sizeof temp, temp);
  path_ = std::string(temp) + "dashtab-test-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(counter++) + "\\";
  RemoveTree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  RemoveTree(path_);
}

bool PutFile(const std::string& path, const std::string& bytes) {
  UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file &&
         WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string GetFile(const std::string& path) {
  UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return "<unreadable>";
  }
  std::string bytes;
  char chunk[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
    bytes.append(chunk, read);
  }
  return bytes;
}

void RemoveTree(const std::string& path) {
  std::string bare = path;
  while (!bare.empty() && bare.back() == '\\') {
    bare.pop_back();
  }
  const DWORD attributes = GetFileAttributesA(bare.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return;
  }
  SetFileAttributesA(bare.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileA(bare.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  UniqueFindHandle search(FindFirstFileA((bare + "\\*").c_str(), &found));
  if (search) {
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") {
        RemoveTree(bare + "\\" + name);
      }
    } while (FindNextFileA(search.get(), &found));
  }
  search.reset();
  RemoveDirectoryA(bare.c_str());
}

int CountEntries(const std::string& folder) {
  int count = 0;
  WIN32_FIND_DATAA found;
  UniqueFindHandle search(FindFirstFileA((folder + "*").c_str(), &found));
  if (search) {
    do {
      const std::string name = found.cFileName;
      count += name != "." && name != "..";
    } while (FindNextFileA(search.get(), &found));
  }
  return count;
}

}  // namespace dashtab::win::testing
