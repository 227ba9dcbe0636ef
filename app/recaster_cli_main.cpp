// recaster-cli.exe: the recaster command line on Windows. The wide command line comes in as UTF-8
// arguments; the JSON text goes to standard output byte for byte (no CR added), messages to the console
// in UTF-8.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"

int wmain(int argc, wchar_t** argv) {
  recaster::platform::GuardStandardStreams();
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::u16string arg(argv[i], argv[i] + std::wcslen(argv[i]));
    args.push_back(recaster::platform::PathToNative(arg));
  }
  recaster::cli::Console console{std::cin, std::cout, std::cerr, recaster::platform::StdinIsTerminal(),
                                 recaster::platform::DescribeLastStreamError,
                                 recaster::platform::StderrIsTerminal(), recaster::platform::ReadStandardInput};
  return recaster::cli::RunRecaster(args, console);
}
