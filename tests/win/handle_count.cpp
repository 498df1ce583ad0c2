#include "handle_count.h"

#include <winternl.h>

#include <vector>

namespace dashtab::win::testing {
namespace {

// SystemExtendedHandleInformation and its entries, which winternl.h lacks.
constexpr auto kExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

struct HandleEntry {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handleValue;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG handleAttributes;
  ULONG reserved;
};

struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};

long CountInTheSystemTable() {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status = NtQuerySystemInformation(kExtendedHandleInformation, buffer.data(),
                                                     static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch && buffer.size() < (1u << 28)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) {
      return -1;
    }
    break;
  }
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  long count = 0;
  for (ULONG_PTR i = 0; i < table->count; ++i) {
    count += table->entries[i].processId == GetCurrentProcessId();
  }
  return count;
}

}  // namespace

long OpenHandleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) {
    return static_cast<long>(count);
  }
  return CountInTheSystemTable();
}

}  // namespace dashtab::win::testing
