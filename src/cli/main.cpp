#include "cli/cli.h"
#include "cli/platform.h"
#include "core/out_of_memory.h"

int main(int argc, char** argv) {
  dashtab::InstallOutOfMemoryHandler(dashtab::ReportOutOfMemoryToStderr);
  dashtab::cli::PrepareProcess();
  const auto arguments = dashtab::cli::CommandLineArguments(argc, argv);
  return dashtab::cli::RunCommandLine(DASHTAB_CLI_NAME, arguments);
}
