// The recaster program: the command line in place of the Windows program's dialogs.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  recaster::platform::GuardStandardStreams();
  std::vector<std::string> args(argv + 1, argv + argc);
  recaster::cli::Console console{std::cin, std::cout, std::cerr, recaster::platform::StdinIsTerminal(),
                                 recaster::platform::DescribeLastStreamError,
                                 recaster::platform::StderrIsTerminal(), recaster::platform::ReadStandardInput};
  return recaster::cli::RunRecaster(args, console);
}
