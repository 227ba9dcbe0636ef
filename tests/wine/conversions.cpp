// The `convert` command: one conversion as a person makes it, through the open and save dialogs, and
// the message that ends it.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/support.h"

namespace recaster::driver {
namespace {

// The messages that end a conversion.
const wchar_t kSaved[] =
    L"The converted configuration has beed sucessfully saved. You can now import it into Ornvale Manager.";
const wchar_t kWriteFailed[] = L"Failed to write converted configuration to the file path you specified.";
const wchar_t kLoadFailed[] = L"Failed to read an Ornvale 5 server configuration from the file you selected.";
const wchar_t kOpenReport[] = L"\n\nOpen the report now?";

std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return L"";
  return path;
}

// The file dialog's name box: the Vista dialog's Edit 1152 or the classic ComboBoxEx32 1148.
HWND FileNameBox(HWND dialog) {
  if (HWND combo = ChildWithId(dialog, 1148); combo != nullptr && ClassOf(combo) == L"ComboBoxEx32") {
    for (HWND child : Children(combo)) {
      if (ClassOf(child) == L"Edit") return child;
    }
  }
  if (HWND edit = ChildWithId(dialog, 1152); edit != nullptr && ClassOf(edit) == L"Edit") return edit;
  return nullptr;
}

// The message box text (static 0xFFFF) or empty when `dialog` is not a message box.
std::wstring MessageText(HWND dialog) {
  HWND text = ChildWithId(dialog, 0xFFFF);
  return text != nullptr && ClassOf(text) == L"Static" ? TextOf(text) : L"";
}

// Which stock icon the message box shows, by comparing its pixels with each one drawn here.
std::string MessageIcon(HWND box) {
  HWND icon = nullptr;
  for (HWND child : Children(box)) {
    if (ClassOf(child) == L"Static" && (::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = child;
  }
  if (icon == nullptr) return "none";
  ::SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  ::Sleep(300);
  RECT r{};
  ::GetWindowRect(icon, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  const std::vector<COLORREF> shown = Pixels(nullptr, r.left, r.top, width, height);
  HDC screen = ::GetDC(nullptr);
  struct Stock {
    const wchar_t* id;
    const char* name;
  };
  const Stock stocks[] = {{IDI_ERROR, "error"}, {IDI_INFORMATION, "information"}, {IDI_WARNING, "warning"},
                          {IDI_QUESTION, "question"}};
  std::string best = "unknown";
  std::size_t best_match = 0;
  for (const Stock& stock : stocks) {
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    HBRUSH background = ::CreateSolidBrush(shown.front());
    RECT all{0, 0, width, height};
    ::FillRect(memory, &all, background);
    ::DeleteObject(background);
    ::DrawIconEx(memory, 0, 0, ::LoadIconW(nullptr, stock.id), 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    const std::vector<COLORREF> drawn = Pixels(memory, 0, 0, width, height);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    std::size_t match = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) match += shown[i] == drawn[i] ? 1 : 0;
    if (match > best_match) best_match = match, best = stock.name;
  }
  ::ReleaseDC(nullptr, screen);
  if (best_match * 100 < shown.size() * 95) best = "unknown (" + best + " matched " + std::to_string(best_match) + ")";
  return best;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Where the program writes the report of a conversion to `destination` as typed: the name with its
// extension (or the one the save dialog adds to a name without) replaced by ".report.html".
std::wstring ReportPathFor(const std::wstring& destination) {
  const std::size_t name = destination.find_last_of(L"\\/");
  const std::size_t dot = destination.rfind(L'.');
  const bool has_extension = dot != std::wstring::npos && (name == std::wstring::npos || dot > name + 1);
  return (has_extension ? destination.substr(0, dot) : destination) + L".report.html";
}

// The success message, after `expect`: "saved" is the designed text alone, and no report is written;
// "saved:N" is the designed text, then a paragraph with the N settings to re-create and the report's
// path, where the report now is; "saved:N:not-written" says instead that the report could not be
// written there, and why.
void CheckSaved(const std::wstring& text, const std::wstring& expect, const std::wstring& destination) {
  const std::wstring report = ReportPathFor(destination);
  if (expect == L"saved") {
    CheckText(text, kSaved, "the message");
    Check(!Exists(report), "nothing is left behind, so no report is written: " + Utf8(report));
    return;
  }
  const std::size_t colon = expect.find(L':', 6);
  const std::wstring count = expect.substr(6, colon == std::wstring::npos ? std::wstring::npos : colon - 6);
  const bool written = colon == std::wstring::npos;
  const std::wstring first(kSaved);
  CheckText(text.substr(0, first.size() + 2), first + L"\n\n", "the message's first paragraph");
  const std::wstring left = count + L" settings must be re-created by hand in Ornvale Manager. ";
  if (written) {
    CheckText(text.substr(first.size() + 2),
              left + L"The report lists them with their values:\n" + report + kOpenReport,
              "the message's second paragraph and its question");
    Check(Exists(report), "the report is written beside the converted file: " + Utf8(report));
  } else {
    const std::wstring not_written = left + L"The report that lists them could not be written to " + report + L":\n";
    CheckText(text.substr(first.size() + 2, not_written.size()), not_written, "the message's second paragraph");
    Check(text.size() > first.size() + 2 + not_written.size(),
          "the message says why the report could not be written: \"" + Shown(text) + "\"");
  }
}

// Waits for whatever the program shows next, owned by `owner`; null when nothing comes within `ms`.
HWND NextDialog(DWORD pid, HWND owner, DWORD ms) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        auto dialogs = Dialogs(pid, owner);
        found = dialogs.empty() ? nullptr : dialogs.front();
        return found != nullptr;
      },
      ms);
  return found;
}

// The texts of a combo box's entries, also from another process.
std::vector<std::wstring> ComboItems(HWND combo) {
  std::vector<std::wstring> items;
  DWORD_PTR count = 0;
  if (!::SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count)) return items;
  for (DWORD_PTR i = 0; i < count && i < 64; ++i) {
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 5000, &length);
    if (static_cast<LONG_PTR>(length) < 0 || length > 4096) break;
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(static_cast<LONG_PTR>(copied) < 0 ? 0 : copied);
    items.push_back(text);
  }
  return items;
}

void DumpDialog(HWND dialog) {
  if (::GetEnvironmentVariableW(L"RECASTER_DRIVER_DUMP", nullptr, 0) == 0) return;
  for (HWND child : Children(dialog)) {
    std::printf("  child id %d class %s text \"%s\"\n", ::GetDlgCtrlID(child), Utf8(ClassOf(child)).c_str(),
                Shown(TextOf(child)).c_str());
    if (ClassOf(child) == L"ComboBox") {
      for (const auto& item : ComboItems(child)) std::printf("    item \"%s\"\n", Shown(item).c_str());
    }
  }
}

// The file dialog's list of file types (the Vista dialog's combo box 1136) holds these descriptions.
void CheckFileTypes(HWND dialog, const std::vector<std::wstring>& expected, const std::string& what) {
  HWND combo = ChildWithId(dialog, 1136);
  const std::vector<std::wstring> items = combo != nullptr ? ComboItems(combo) : std::vector<std::wstring>{};
  std::wstring joined, wanted;
  for (const auto& item : items) joined += (joined.empty() ? L"" : L" | ") + item;
  for (const auto& item : expected) wanted += (wanted.empty() ? L"" : L" | ") + item;
  CheckText(joined, wanted, what + " file types");
}

// Types `path` into the file dialog's name box and presses its OK button.
void ChooseFile(HWND dialog, const std::wstring& path, const std::string& what) {
  HWND box = FileNameBox(dialog);
  if (box == nullptr) Abort(what + " has no file name box");
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG, 5000, &ignored);
  ClickId(dialog, IDOK, what + " OK");
}

// Drops `paths` on the main dialog as the shell does: WM_DROPFILES with a DROPFILES block in the
// program's memory. A fixed global memory block is its own address, so one made there serves.
void DropFiles(const Program& program, const std::vector<std::wstring>& paths) {
  std::wstring names;
  for (const std::wstring& path : paths) names += path + L'\0';
  std::vector<BYTE> block(sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t), 0);
  auto* header = reinterpret_cast<DROPFILES*>(block.data());
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  std::memcpy(block.data() + sizeof(DROPFILES), names.data(), names.size() * sizeof(wchar_t));
  void* remote = ::VirtualAllocEx(program.info.hProcess, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  SIZE_T written = 0;
  if (remote == nullptr ||
      !::WriteProcessMemory(program.info.hProcess, remote, block.data(), block.size(), &written) ||
      written != block.size()) {
    Abort("cannot place the dropped file's name in the program: error " + std::to_string(::GetLastError()));
  }
  ::PostMessageW(program.main, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

// What the test handler for .html files (the `opened` command) was given, one path a line; empty when
// it was not started.
std::vector<std::wstring> OpenedFiles(const std::wstring& log) {
  std::vector<std::wstring> lines;
  FILE* in = _wfopen(log.c_str(), L"rb");
  if (in == nullptr) return lines;
  std::string bytes;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof(buffer), in)) > 0;) bytes.append(buffer, got);
  std::fclose(in);
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = bytes.substr(start, end - start);
    std::wstring wide(line.size(), L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                                               wide.data(), static_cast<int>(wide.size()))));
    lines.push_back(wide);
  }
  return lines;
}

// After the question: "open:LOG" (Yes) expects the handler to have been given the report, and nothing
// else; "keep:LOG" (No) expects it not to have been started at all.
void CheckOpened(const std::wstring& answer, const std::wstring& report) {
  const std::size_t colon = answer.find(L':');
  if (colon == std::wstring::npos) return;
  const std::wstring log = answer.substr(colon + 1);
  if (answer.rfind(L"open:", 0) == 0) {
    WaitUntil([&] { return !OpenedFiles(log).empty(); });
    const std::vector<std::wstring> opened = OpenedFiles(log);
    CheckValue(static_cast<long long>(opened.size()), 1, "the number of files handed to the .html handler after Yes");
    if (!opened.empty()) CheckText(opened.front(), report, "the file handed to the .html handler");
  } else {
    ::Sleep(2000);
    CheckValue(static_cast<long long>(OpenedFiles(log).size()), 0, "the number of files opened after No");
  }
}

// The open dialog, shown after the convert button or a dropped path that is no regular file: its file
// types and initial name, and then `source` chosen or, with "cancel-open", the dialog cancelled.
void AnswerOpenDialog(const Program& program, const std::wstring& how, const std::wstring& source,
                      const std::wstring& answer) {
  const DWORD pid = program.info.dwProcessId;
  const std::wstring default_source = SpecialFolder(CSIDL_COMMON_APPDATA) + L"\\Ornvale\\ov_server_settings.cfg";
  HWND open = WaitForDialog(pid, program.main, "open dialog");
  DumpDialog(open);
  CheckFileTypes(open, {L"Ornvale 5 - Server Configuration", L"All Files (*.*)"}, "the open dialog's");
  Check(!::IsWindowEnabled(program.main), "the main dialog takes no input while the open dialog is shown");
  HWND box = FileNameBox(open);
  Check(box != nullptr, "the open dialog has a file name box");
  if (box != nullptr) {
    CheckText(TextOf(box), how == L"click" ? default_source : source, "the open dialog's initial file name");
  }
  if (answer == L"cancel-open") {
    ClickId(open, IDCANCEL, "open dialog Cancel");
    WaitGone(open, "the open dialog");
    Check(NextDialog(pid, program.main, 1500) == nullptr, "nothing is shown after cancelling the open dialog");
  } else {
    ChooseFile(open, source, "the open dialog");
    WaitGone(open, "the open dialog");
  }
}

// The save dialog: its file types and initial name, then `destination` chosen, with Yes to the question
// to replace it, or the dialog cancelled with "cancel-save". What the program shows next, or null.
HWND AnswerSaveDialog(const Program& program, HWND save, const std::wstring& destination, bool destination_existed,
                      const std::wstring& answer) {
  const DWORD pid = program.info.dwProcessId;
  const std::wstring default_destination = SpecialFolder(CSIDL_PERSONAL) + L"\\converted_ov_config.json";
  DumpDialog(save);
  CheckFileTypes(save, {L"Ornvale 6 - Server Configuration (*.json)", L"All Files (*.*)"}, "the save dialog's");
  CheckText(TextOf(FileNameBox(save)), default_destination, "the save dialog's initial file name");
  if (answer == L"cancel-save") {
    ClickId(save, IDCANCEL, "save dialog Cancel");
    WaitGone(save, "the save dialog");
    Check(NextDialog(pid, program.main, 1500) == nullptr, "nothing is shown after cancelling the save dialog");
    return nullptr;
  }
  ChooseFile(save, destination, "the save dialog");
  // The dialog asks before replacing a file, also one it found by adding the default extension.
  bool asked = false;
  if (!WaitUntil([&] {
        if (HWND prompt = NextDialog(pid, save, 0); prompt != nullptr && !asked) {
          asked = true;
          Check(MessageText(prompt).find(L"already exists") != std::wstring::npos,
                "the save dialog asks before replacing: \"" + Shown(MessageText(prompt)) + "\"");
          ClickId(prompt, IDYES, "Yes");
        }
        return !::IsWindow(save) || !::IsWindowVisible(save);
      })) {
    Abort("the save dialog did not close");
  }
  if (destination_existed) Check(asked, "the save dialog asked before replacing the existing file");
  return WaitForDialog(pid, program.main, "message");
}

// The message that ends the conversion: caption, buttons, text and icon as `expect` says, then
// answered (OK, or Yes or No to opening the report as `answer` says).
void AnswerMessage(HWND message, const std::wstring& expect, const std::wstring& destination,
                   const std::wstring& answer) {
  const std::wstring text = MessageText(message);
  const bool asks = expect.rfind(L"saved:", 0) == 0 && expect.find(L":not-written") == std::wstring::npos;
  CheckText(TextOf(message), L"Recaster", "the message caption (the application's name)");
  if (asks) {
    Check(ChildWithId(message, IDYES) != nullptr && ChildWithId(message, IDNO) != nullptr &&
              ChildWithId(message, IDOK) == nullptr && ChildWithId(message, IDCANCEL) == nullptr,
          "Yes and No are the message's only buttons");
  } else {
    Check(ChildWithId(message, IDOK) != nullptr && ChildWithId(message, IDCANCEL) == nullptr &&
              ChildWithId(message, IDYES) == nullptr && ChildWithId(message, IDNO) == nullptr,
          "OK is the message's only button");
  }
  if (expect.rfind(L"saved", 0) == 0) {
    CheckSaved(text, expect, destination);
    CheckName(MessageIcon(message), "information", "the message icon");
  } else if (expect == L"write-failed") {
    CheckText(text, kWriteFailed, "the message");
    CheckName(MessageIcon(message), "error", "the message icon");
  } else if (expect == L"load-failed") {
    const std::wstring first = text.substr(0, text.find(L'\n'));
    CheckText(first, kLoadFailed, "the message's first line");
    Check(text.find(L'\n') != std::wstring::npos && text.size() > first.size() + 1,
          "the message gives the reason on a second line: \"" + Shown(text) + "\"");
    CheckName(MessageIcon(message), "error", "the message icon");
  } else {
    Check(false, "no message was expected, found \"" + Shown(text) + "\"");
  }
  CheckTextFits(message, MessageFont(), "the message");
  if (!asks) {
    ClickId(message, IDOK, "message OK");
  } else if (answer.rfind(L"open:", 0) == 0) {
    ClickId(message, IDYES, "message Yes");
  } else {
    ClickId(message, IDNO, "message No");
  }
  WaitGone(message, "the message");
  if (asks) CheckOpened(answer, ReportPathFor(destination));
}

}  // namespace

int RecordOpened(const std::wstring& log, const std::wstring& file) {
  FILE* out = _wfopen(log.c_str(), L"ab");
  if (out == nullptr) return 1;
  const std::string line = Utf8(file) + "\n";
  const bool written = std::fwrite(line.data(), 1, line.size(), out) == line.size();
  return std::fclose(out) == 0 && written ? 0 : 1;
}

int RunConvert(const std::wstring& exe, const std::wstring& how, const std::wstring& source,
               const std::wstring& destination, const std::wstring& expect, const std::wstring& answer) {
  const bool destination_existed = Exists(destination);
  // A regular file given on the command line or dropped stands for the open dialog's answer.
  const DWORD attributes = ::GetFileAttributesW(source.c_str());
  const bool given_file = how != L"click" && attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;

  Program program = Start(exe, how == L"argument" ? std::vector<std::wstring>{source} : std::vector<std::wstring>{});
  const DWORD pid = program.info.dwProcessId;
  if (how == L"drop") {
    Check((::GetWindowLongPtrW(program.main, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0,
          "the main dialog accepts dropped files");
    DropFiles(program, {source});
  } else if (how == L"click") {
    ClickId(program.main, 1000, "Convert");
  }

  if (!given_file) AnswerOpenDialog(program, how, source, answer);
  if (answer != L"cancel-open") {
    HWND next = WaitForDialog(pid, program.main, "save dialog or message");
    if (FileNameBox(next) != nullptr && MessageText(next).empty()) {
      Check(true, given_file ? "the save dialog comes first" : "the save dialog follows the open dialog");
      next = AnswerSaveDialog(program, next, destination, destination_existed, answer);
    }
    if (next != nullptr && ::IsWindow(next) && !MessageText(next).empty()) {
      AnswerMessage(next, expect, destination, answer);
    } else if (expect != L"nothing") {
      Check(false, "a message was expected");
    }
  }
  Check(::IsWindowEnabled(program.main), "the main dialog takes input again");
  Finish(program);
  return ExitCode();
}

int RunFleet(const std::wstring& exe, const std::wstring& how, const std::wstring& destination,
             const std::wstring& expect, const std::wstring& answer, const std::vector<std::wstring>& sources) {
  Program program = Start(exe, how == L"argument" ? sources : std::vector<std::wstring>{});
  const DWORD pid = program.info.dwProcessId;
  if (how == L"drop") DropFiles(program, sources);
  HWND folder = WaitForDialog(pid, program.main, "folder dialog");
  Check(FileNameBox(folder) != nullptr && MessageText(folder).empty(), "a folder dialog asks where the files go");
  Check(ChildWithId(folder, 1136) == nullptr || !::IsWindowVisible(ChildWithId(folder, 1136)),
        "the folder dialog lists no file types");
  if (answer == L"cancel-folder") {
    ClickId(folder, IDCANCEL, "folder dialog Cancel");
    WaitGone(folder, "the folder dialog");
    Check(NextDialog(pid, program.main, 1500) == nullptr, "nothing is shown after cancelling the folder dialog");
  } else {
    ChooseFile(folder, destination, "the folder dialog");
    WaitGone(folder, "the folder dialog");
    HWND message = WaitForDialog(pid, program.main, "message");
    if (answer == L"refuse-replace") {
      CheckText(MessageText(message), L"Replace " + expect + L" files in " + destination + L"?", "the question");
      ClickId(message, IDNO, "question No");
      WaitGone(message, "the question");
      Check(NextDialog(pid, program.main, 3000) == nullptr, "nothing is converted after No");
      Check(::IsWindowEnabled(program.main), "the main dialog takes input again");
      Finish(program);
      return ExitCode();
    }
    // CONVERTED:SOURCES:REFUSED:SETTINGS:DISTINCT (the distinct values among the settings)
    std::vector<std::wstring> n;
    for (std::size_t start = 0, colon; start <= expect.size(); start = colon + 1) {
      colon = expect.find(L':', start);
      if (colon == std::wstring::npos) colon = expect.size();
      n.push_back(expect.substr(start, colon - start));
    }
    n.resize(5);
    const std::wstring index = destination + L"\\index.html";
    const std::wstring expected = L"Converted " + n[0] + L" of " + n[1] + (n[1] == L"1" ? L" configuration" : L" configurations") +
                                  (n[2] == L"0" ? L"" : L"; " + n[2] + L" refused") + L".\n" + n[3] +
                                  (n[3] == L"1" ? L" setting must" : L" settings must") +
                                  L" be re-created by hand in Ornvale Manager" +
                                  (n[3] == L"0" ? L"" : L" (" + n[4] + (n[4] == L"1" ? L" distinct value" : L" distinct values") +
                                                           L" among them)") +
                                  L".\n\nThe index lists every server with its files:\n" +
                                  index + kOpenReport;
    CheckText(MessageText(message), expected, "the message");
    Check(ChildWithId(message, IDYES) != nullptr && ChildWithId(message, IDNO) != nullptr &&
              ChildWithId(message, IDOK) == nullptr,
          "Yes and No are the message's only buttons");
    CheckName(MessageIcon(message), "information", "the message icon");
    CheckTextFits(message, MessageFont(), "the message");
    Check(Exists(index), "the index is written: " + Utf8(index));
    ClickId(message, answer.rfind(L"open:", 0) == 0 ? IDYES : IDNO, "message answer");
    WaitGone(message, "the message");
    CheckOpened(answer, index);
  }
  Check(::IsWindowEnabled(program.main), "the main dialog takes input again");
  Finish(program);
  return ExitCode();
}

}  // namespace recaster::driver
