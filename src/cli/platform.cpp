#include "cli/platform.h"

namespace dashtab::cli {

std::string DescribeFileStatus(const FileStatus& status) {
  switch (status.error) {
    case FileError::kNone:
      return "no error";
    case FileError::kNoSuchFile:
      return "no such file";
    case FileError::kNoSuchFolder:
      return "no such folder";
    case FileError::kIsADirectory:
      return "is a directory";
    case FileError::kPermissionDenied:
      return "permission denied";
    case FileError::kDiskFull:
      return "disk full";
    case FileError::kFileTooLarge:
      return "file too large";
    case FileError::kInUse:
      return "the file is in use by another program";
    case FileError::kNotEnoughMemory:
      return "not enough memory";
    case FileError::kOutputIsInput:
      return "the output is the input (use --in-place to replace a file)";
    case FileError::kOther:
      break;
  }
  return status.detail.empty() ? "unknown error" : status.detail;
}

}  // namespace dashtab::cli
