// A fresh folder for one test, removed with everything in it afterwards,
// and plain helpers that reach files without the code under test.
#pragma once

#include <string>

namespace dashtab::win::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, ending in a backslash.
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Creates or overwrites a file with the bytes; false on failure.
bool PutFile(const std::string& path, const std::string& bytes);
// The file's bytes, or "<unreadable>".
std::string GetFile(const std::string& path);
// Removes a file or a folder with everything in it, read-only ones included.
void RemoveTree(const std::string& path);
// The number of entries in a folder, not counting "." and "..".
int CountEntries(const std::string& folder);

}  // namespace dashtab::win::testing
