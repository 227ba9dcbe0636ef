// File: tests/wine/support.h - what the driver's files share: the check report, finding and driving
// another process's windows, the running program, the program file's resources, and the commands.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace recaster::driver {

// How long the driver waits for the program to show or close a window.
inline constexpr DWORD kWaitMs = 20000;

// ---- The check report ------------------------------------------------------------------------

// Prints "ok: WHAT" or "FAIL: WHAT" at once and counts the failures.
void Check(bool passed, const std::string& what);
// Checks that `actual` equals `expected`; the line quotes the expected text and, on failure, the text found.
void CheckText(const std::wstring& actual, const std::wstring& expected, const std::string& what);
// Checks that a name (an icon's, say) equals `expected`; the line names what was found on failure.
void CheckName(const std::string& actual, const std::string& expected, const std::string& what);
// Checks that a number equals `expected`; the line gives the number found on failure.
void CheckValue(long long actual, long long expected, const std::string& what);
// Reports a failure that stops the command and ends the driver with 1.
[[noreturn]] void Abort(const std::string& why);
// The command's exit code: 0 when every check so far passed, 1 otherwise.
int ExitCode();

// UTF-8 for the report lines.
std::string Utf8(const std::wstring& text);
// UTF-8 with line breaks spelled out (\n, \r), for quoting a window's text in a report line.
std::string Shown(const std::wstring& text);

// ---- Another process's windows ---------------------------------------------------------------

// Polls `done` until it holds (true) or `timeout_ms` has passed (false).
bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms = kWaitMs);
// The window's class name.
std::wstring ClassOf(HWND hwnd);
// A control's or window's text, also from another process; "<no answer>" when the window hangs.
std::wstring TextOf(HWND hwnd);
// The process that made the window.
DWORD ProcessOf(HWND hwnd);
// Visible dialog windows (#32770) of the process owned by `owner` (null: without owner).
std::vector<HWND> Dialogs(DWORD pid, HWND owner);
// The first such dialog to appear within kWaitMs; aborts, naming `what`, when none does.
HWND WaitForDialog(DWORD pid, HWND owner, const std::string& what);
// Returns once the window is gone or hidden; aborts, naming `what`, after kWaitMs.
void WaitGone(HWND hwnd, const std::string& what);
// Every descendant of the window.
std::vector<HWND> Children(HWND parent);
// Direct children only, in Z order (the order of the template, which is the tab order).
std::vector<HWND> DirectChildren(HWND parent);
// The descendant with control identifier `id` (compared as 16 bits), or null.
HWND ChildWithId(HWND parent, int id);
// Clicks the button with identifier `id`; aborts, naming `what`, when the dialog has none.
void ClickId(HWND dialog, int id, const std::string& what);
// The pixels of a screen area (null `source`) or of a memory DC's bitmap, row by row from the top.
std::vector<COLORREF> Pixels(HDC source, int x, int y, int width, int height);

// ---- Scale -----------------------------------------------------------------------------------

// The system's dots per inch (96 at 100 %), as a DPI-aware process sees them; the driver is one.
int SystemDpi();
// A dialog template's font (8 points, "MS Shell Dlg") at the system's scale.
LOGFONTW DialogFont();
// The font the system's message boxes write in, at its scale.
LOGFONTW MessageFont();
// Measures the text of each of the window's visible controls in `font` as the control draws it (a
// button on one line inside its edges, a static text broken at words to its width); one check that
// every text fits its control's rectangle, every control lies inside the client area, and none overlap.
void CheckTextFits(HWND window, const LOGFONTW& font, const std::string& name);

// ---- The running program ---------------------------------------------------------------------

// A started program and its main dialog.
struct Program {
  PROCESS_INFORMATION info{};
  HWND main = nullptr;
};

// Starts the program with `arguments` and waits for its main dialog; aborts when it does not start or
// show it.
Program Start(const std::wstring& exe, const std::vector<std::wstring>& arguments = {});
// Closes the main dialog with its Close button and checks that the program ends with 0.
void Finish(Program& program);

// ---- The program file's resources ------------------------------------------------------------

// A resource's bytes, inside the module that holds them; null data when there is none.
struct Resource {
  const BYTE* data = nullptr;
  DWORD size = 0;
};

// The English (US) resource of that type and name.
Resource FindRes(HMODULE module, const wchar_t* type, const wchar_t* name);

// ---- The commands, one file each ---------------------------------------------------------------

// `resources`: the dialog templates, strings, icons, manifest and version information of the file.
int RunResources(const std::wstring& exe);
// `dialogs`: the running main dialog and About box at `dpi` dots per inch, which the system must have;
// screenshots go to `shots` unless it is empty (named with the scale when it is not 96).
int RunDialogs(const std::wstring& exe, const std::wstring& shots, int dpi);
// `convert`: one conversion through the file dialogs, ending with the message `expect` names. `how` it
// starts: "click" (the convert button), "argument" (the program started with `source`) or "drop"
// (`source` dropped on the main dialog); a regular file given either way skips the open dialog. `answer`
// cancels a file dialog (cancel-open, cancel-save) or answers the question to open the report (open:LOG
// Yes, keep:LOG or nothing No, LOG being where the `opened` command records what it was given).
int RunConvert(const std::wstring& exe, const std::wstring& how, const std::wstring& source,
               const std::wstring& destination, const std::wstring& expect, const std::wstring& answer);
// `fleet`: several files or folders, given as the program's arguments (`how` "argument") or dropped on
// the main dialog ("drop"), converted into the folder `destination` chosen in the folder dialog; the
// message must give the totals in `expect` (CONVERTED:SOURCES:REFUSED:SETTINGS) and the index's path,
// and `answer` answers its question as for `convert`; cancel-folder cancels the folder dialog, and
// refuse-replace answers No to "Replace N files in DESTINATION?" (N is then `expect`).
int RunFleet(const std::wstring& exe, const std::wstring& how, const std::wstring& destination,
             const std::wstring& expect, const std::wstring& answer, const std::vector<std::wstring>& sources);
// `opened`: the test handler of .html files; appends the file it is given to LOG, one line of UTF-8.
int RecordOpened(const std::wstring& log, const std::wstring& file);

}  // namespace recaster::driver
