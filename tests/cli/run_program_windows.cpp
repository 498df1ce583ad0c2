#include <windows.h>

#include <thread>

#include "run_program.h"
#include "win/handle.h"
#include "win/utf16.h"

namespace dashtab::testing {
namespace {

using win::UniqueFileHandle;
using win::UniqueKernelHandle;
using win::WideFromUtf8;

constexpr DWORD kTimeLimitMs = 60'000;

// The quoting that CommandLineToArgvW and the C runtime undo: backslashes
// count only in front of a quote.
std::wstring Quote(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

struct Pipe {
  UniqueFileHandle read;
  UniqueFileHandle write;
};

// Only the child's end is inherited.
Pipe MakePipe(bool childReads) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  Pipe pipe{UniqueFileHandle(read), UniqueFileHandle(write)};
  SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
  return pipe;
}

void Drain(HANDLE from, std::string& into) {
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    into.append(buffer, got);
  }
}

}  // namespace

const std::string& ProgramPath() {
  static const std::string path = DASHTAB_CLI_PATH;
  return path;
}

std::optional<UnprivilegedUser> UserForUnprivilegedRuns() {
  return std::nullopt;
}

ProgramResult RunProgram(const ProgramRun& run) {
  std::wstring commandLine = Quote(WideFromUtf8(ProgramPath()));
  for (const auto& argument : run.arguments) {
    commandLine += L" " + Quote(WideFromUtf8(argument));
  }

  Pipe in = MakePipe(true);
  Pipe out;
  if (run.outputFile) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    out.write = UniqueFileHandle(CreateFileW(WideFromUtf8(*run.outputFile).c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.write) {
      throw std::runtime_error("cannot open the output file");
    }
  } else {
    out = MakePipe(false);
  }
  Pipe err = MakePipe(false);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.read.get();
  startup.hStdOutput = out.write.get();
  startup.hStdError = err.write.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
  }
  UniqueKernelHandle child(process.hProcess);
  UniqueKernelHandle thread(process.hThread);
  // The child holds its own copies; ours would keep the pipes from ending.
  in.read.reset();
  out.write.reset();
  err.write.reset();

  ProgramResult result;
  std::thread feeder([&] {
    DWORD put = 0;
    std::size_t fed = 0;
    while (fed < run.input.size() &&
           WriteFile(in.write.get(), run.input.data() + fed,
                     static_cast<DWORD>(run.input.size() - fed), &put, nullptr)) {
      fed += put;
    }
    in.write.reset();
  });
  std::thread outReader([&] {
    if (out.read) {
      Drain(out.read.get(), result.out);
    }
  });
  std::thread errReader([&] { Drain(err.read.get(), result.err); });

  const bool exited = WaitForSingleObject(child.get(), kTimeLimitMs) == WAIT_OBJECT_0;
  if (!exited) {
    TerminateProcess(child.get(), 1);
    WaitForSingleObject(child.get(), kTimeLimitMs);
  }
  feeder.join();
  outReader.join();
  errReader.join();
  DWORD code = 0;
  GetExitCodeProcess(child.get(), &code);
  result.status = exited ? static_cast<int>(code) : -1;
  return result;
}

}  // namespace dashtab::testing
