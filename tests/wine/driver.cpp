// Drives Recaster.exe as a person would, from a second process in the same Wine prefix (or on
// Windows), and checks what it shows against the program's design values.
//
//   driver RECASTER.EXE resources
//   driver RECASTER.EXE dialogs SHOT_FOLDER [DPI]
//   driver RECASTER.EXE convert SOURCE DESTINATION EXPECT [cancel-open | cancel-save | open:LOG | keep:LOG]
//   driver RECASTER.EXE convert-argument SOURCE ...   (the program started with SOURCE)
//   driver RECASTER.EXE convert-drop SOURCE ...       (SOURCE dropped on the main dialog)
//   driver RECASTER.EXE fleet-argument|fleet-drop DESTINATION TOTALS ANSWER SOURCE...
//   driver opened LOG FILE
//
// EXPECT is saved (the designed text alone), saved:N (and N settings to re-create, listed in the report
// beside the destination), saved:N:not-written (the report could not be written), write-failed,
// load-failed or nothing; a message that offers the report is answered Yes with open:LOG (the
// test handler of .html files must then record the report in LOG) and No otherwise. `opened` is that
// handler. Prints one line per check ("ok: ..." or
// "FAIL: ...") and ends with 0 when every check passed, 1 otherwise, 2 on bad arguments.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/wine/support.h"

int wmain(int argc, wchar_t** argv) {
  using namespace recaster::driver;
  // Pixels as the screen has them, at whatever scale the system runs, as the program sees them.
  ::SetProcessDPIAware();
  if (const std::wstring command = argc >= 7 ? argv[2] : L"";
      command == L"fleet-argument" || command == L"fleet-drop") {
    return RunFleet(argv[1], command.substr(6), argv[3], argv[4], argv[5],
                    std::vector<std::wstring>(argv + 6, argv + argc));
  }
  if (argc == 4 && std::wstring(argv[1]) == L"opened") return RecordOpened(argv[2], argv[3]);
  if (argc >= 3 && std::wstring(argv[2]) == L"resources") return RunResources(argv[1]);
  if (argc >= 3 && std::wstring(argv[2]) == L"dialogs") {
    return RunDialogs(argv[1], argc >= 4 ? argv[3] : L"", argc >= 5 ? std::stoi(argv[4]) : 96);
  }
  if (const std::wstring command = argc >= 6 ? argv[2] : L"";
      command == L"convert" || command == L"convert-argument" || command == L"convert-drop") {
    const std::wstring how = command == L"convert" ? L"click" : command.substr(8);
    return RunConvert(argv[1], how, argv[3], argv[4], argv[5], argc >= 7 ? argv[6] : L"");
  }
  std::fprintf(stderr,
               "usage: driver RECASTER.EXE resources\n"
               "       driver RECASTER.EXE dialogs [SHOT_FOLDER [DPI]]\n"
               "       driver RECASTER.EXE convert SOURCE DESTINATION saved[:N[:not-written]]|write-failed|load-failed|nothing"
               " [cancel-open|cancel-save|open:LOG|keep:LOG]\n"
               "       driver RECASTER.EXE convert-argument|convert-drop SOURCE ... (as convert)\n"
               "       driver RECASTER.EXE fleet-argument|fleet-drop DESTINATION CONVERTED:SOURCES:REFUSED:SETTINGS"
               " open:LOG|keep:LOG|cancel-folder|refuse-replace SOURCE...\n"
               "       driver opened LOG FILE\n");
  return 2;
}
