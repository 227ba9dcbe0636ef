// Drives Recaster.exe as a person would, from a second process in the same Wine prefix (or on
// Windows), and checks what it shows against the program's design values.
//
//   driver RECASTER.EXE resources
//   driver RECASTER.EXE dialogs SHOT_FOLDER
//   driver RECASTER.EXE convert SOURCE DESTINATION EXPECT [cancel-open | cancel-save]
//
// EXPECT is saved, write-failed, load-failed or nothing. Prints one line per check ("ok: ..." or
// "FAIL: ...") and ends with 0 when every check passed, 1 otherwise, 2 on bad arguments.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMs = 25;
constexpr DWORD kWaitMs = 20000;

int g_failures = 0;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

// Text with control characters spelled out, for the report lines.
std::string Shown(const std::wstring& text) {
  std::string out;
  for (char c : Utf8(text)) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

void Check(bool passed, const std::string& what) {
  std::printf("%s: %s\n", passed ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!passed) ++g_failures;
}

void CheckText(const std::wstring& actual, const std::wstring& expected, const std::string& what) {
  Check(actual == expected, what + " is \"" + Shown(expected) + "\"" +
                                (actual == expected ? "" : " (found \"" + Shown(actual) + "\")"));
}

void CheckName(const std::string& actual, const std::string& expected, const std::string& what) {
  Check(actual == expected, what + " is " + expected + (actual == expected ? "" : " (found " + actual + ")"));
}

void CheckValue(long long actual, long long expected, const std::string& what) {
  Check(actual == expected, what + " is " + std::to_string(expected) +
                                (actual == expected ? "" : " (found " + std::to_string(actual) + ")"));
}

[[noreturn]] void Abort(const std::string& why) {
  std::printf("FAIL: %s\n", why.c_str());
  std::fflush(stdout);
  std::exit(1);
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms = kWaitMs) {
  const ULONGLONG end = ::GetTickCount64() + timeout_ms;
  for (;;) {
    if (done()) return true;
    if (::GetTickCount64() >= end) return false;
    ::Sleep(kPollMs);
  }
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  ::GetClassNameW(hwnd, name, 256);
  return name;
}

// A control's or window's text, also from another process.
std::wstring TextOf(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return L"<no answer>";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                        &copied);
  text.resize(copied);
  return text;
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

// Visible dialog windows (#32770) of the process owned by `owner` (null: without owner).
std::vector<HWND> Dialogs(DWORD pid, HWND owner) {
  struct Search {
    DWORD pid;
    HWND owner;
    std::vector<HWND> found;
  } search{pid, owner, {}};
  ::EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if (ProcessOf(hwnd) == s->pid && ::IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770" &&
            ::GetWindow(hwnd, GW_OWNER) == s->owner) {
          s->found.push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForDialog(DWORD pid, HWND owner, const std::string& what) {
  HWND found = nullptr;
  if (!WaitUntil([&] {
        auto dialogs = Dialogs(pid, owner);
        found = dialogs.empty() ? nullptr : dialogs.front();
        return found != nullptr;
      })) {
    Abort("no " + what + " appeared within " + std::to_string(kWaitMs / 1000) + " s");
  }
  return found;
}

void WaitGone(HWND hwnd, const std::string& what) {
  if (!WaitUntil([&] { return !::IsWindow(hwnd) || !::IsWindowVisible(hwnd); })) Abort(what + " did not close");
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> found;
  ::EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Direct children only, in Z order (the order of the template, which is the tab order).
std::vector<HWND> DirectChildren(HWND parent) {
  std::vector<HWND> found;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    found.push_back(child);
  }
  return found;
}

HWND ChildWithId(HWND parent, int id) {
  for (HWND child : Children(parent)) {
    if ((::GetDlgCtrlID(child) & 0xFFFF) == (id & 0xFFFF)) return child;
  }
  return nullptr;
}

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

void ClickId(HWND dialog, int id, const std::string& what) {
  HWND button = ChildWithId(dialog, id);
  if (button == nullptr) Abort("no " + what + " button (id " + std::to_string(id) + ")");
  Click(button);
}

// ---- The program's design values -------------------------------------------------------------

struct ControlSpec {
  int id;
  const wchar_t* window_class;
  const wchar_t* text;
  DWORD style;  // as the template holds it, WS_CHILD | WS_VISIBLE included
  RECT dlu;     // left, top, width, height
};

struct ExpectedDialog {
  int template_id;
  const wchar_t* caption;
  DWORD style;
  DWORD ex_style;
  SIZE dlu;
  std::vector<ControlSpec> controls;  // in tab order
};

const ExpectedDialog kMainDialog{
    102,
    L"Recaster for Ornvale (5.x -> 6.x)",
    DS_SETFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME,
    WS_EX_APPWINDOW,
    {256, 62},
    {
        {2, L"Button", L"Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, {199, 41, 50, 14}},
        {1000, L"Button", L"Convert Server Configuration....", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
         {7, 7, 242, 16}},
        {-1, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_ETCHEDHORZ, {7, 32, 243, 1}},
    },
};

const ExpectedDialog kAboutBox{
    100,
    L"About Recaster",
    DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU,
    0,
    {171, 58},
    {
        {-1, L"Static", L"Recaster, Version 1.0", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
         {7, 7, 130, 8}},
        {1, L"Button", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, {114, 37, 50, 14}},
    },
};

const wchar_t kSaved[] =
    L"The converted configuration has beed sucessfully saved. You can now import it into Ornvale Manager.";
const wchar_t kWriteFailed[] = L"Failed to write converted configuration to the file path you specified.";
const wchar_t kLoadFailed[] = L"Failed to read an Ornvale 5 server configuration from the file you selected.";

// ---- The program file's resources ------------------------------------------------------------

struct Resource {
  const BYTE* data = nullptr;
  DWORD size = 0;
};

Resource FindRes(HMODULE module, const wchar_t* type, const wchar_t* name) {
  HRSRC found = ::FindResourceExW(module, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (found == nullptr) return {};
  HGLOBAL loaded = ::LoadResource(module, found);
  return Resource{static_cast<const BYTE*>(::LockResource(loaded)), ::SizeofResource(module, found)};
}

// Reads DLGTEMPLATEEX and its items.
class TemplateReader {
 public:
  explicit TemplateReader(Resource res) : p_(res.data), end_(res.data + res.size) {}
  WORD Word() {
    WORD v = 0;
    if (p_ + 2 <= end_) std::memcpy(&v, p_, 2);
    p_ += 2;
    return v;
  }
  DWORD Dword() {
    DWORD v = 0;
    if (p_ + 4 <= end_) std::memcpy(&v, p_, 4);
    p_ += 4;
    return v;
  }
  short Short() { return static_cast<short>(Word()); }
  // A string or 0xFFFF and an ordinal (given as "#n").
  std::wstring SzOrOrd() {
    WORD first = Word();
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    std::wstring s;
    while (first != 0 && p_ < end_) {
      s.push_back(static_cast<wchar_t>(first));
      first = Word();
    }
    return s;
  }
  void AlignDword(const BYTE* base) {
    while ((p_ - base) % 4 != 0) ++p_;
  }
  const BYTE* pos() const { return p_; }
  void Skip(std::size_t n) { p_ += n; }

 private:
  const BYTE* p_;
  const BYTE* end_;
};

std::wstring ClassName(const std::wstring& raw) {
  if (raw == L"#128") return L"Button";
  if (raw == L"#129") return L"Edit";
  if (raw == L"#130") return L"Static";
  if (_wcsicmp(raw.c_str(), L"Static") == 0) return L"Static";
  return raw;
}

void CheckTemplate(HMODULE module, const ExpectedDialog& expected, const std::string& name) {
  const Resource res = FindRes(module, RT_DIALOG, MAKEINTRESOURCEW(expected.template_id));
  Check(res.data != nullptr, name + " template " + std::to_string(expected.template_id) + " exists in English (US)");
  if (res.data == nullptr) return;
  TemplateReader r(res);
  const WORD version = r.Word();
  const WORD signature = r.Word();
  Check(version == 1 && signature == 0xFFFF, name + " is an extended dialog template");
  r.Dword();  // help id
  CheckValue(r.Dword(), expected.ex_style, name + " extended style");
  CheckValue(r.Dword(), expected.style, name + " style");
  const WORD count = r.Word();
  CheckValue(count, static_cast<long long>(expected.controls.size()), name + " control count");
  const short x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
  Check(x == 0 && y == 0 && cx == expected.dlu.cx && cy == expected.dlu.cy,
        name + " size is " + std::to_string(expected.dlu.cx) + " x " + std::to_string(expected.dlu.cy) + " dialog units");
  CheckText(r.SzOrOrd(), L"", name + " menu");
  CheckText(r.SzOrOrd(), L"", name + " window class");
  CheckText(r.SzOrOrd(), expected.caption, name + " caption");
  CheckValue(r.Word(), 8, name + " font size");
  r.Word();  // weight
  r.Word();  // italic, charset
  CheckText(r.SzOrOrd(), L"MS Shell Dlg", name + " font");
  for (WORD i = 0; i < count && i < expected.controls.size(); ++i) {
    const ControlSpec& c = expected.controls[i];
    const std::string what = name + " control " + std::to_string(i + 1) + " (" + Utf8(c.text) + ")";
    r.AlignDword(res.data);
    r.Dword();  // help id
    CheckValue(r.Dword(), 0, what + " extended style");
    CheckValue(r.Dword(), c.style, what + " style");
    const short ix = r.Short(), iy = r.Short(), icx = r.Short(), icy = r.Short();
    Check(ix == c.dlu.left && iy == c.dlu.top && icx == c.dlu.right && icy == c.dlu.bottom,
          what + " at " + std::to_string(c.dlu.left) + ", " + std::to_string(c.dlu.top) + " size " +
              std::to_string(c.dlu.right) + " x " + std::to_string(c.dlu.bottom) + " (found " + std::to_string(ix) +
              ", " + std::to_string(iy) + " size " + std::to_string(icx) + " x " + std::to_string(icy) + ")");
    CheckValue(static_cast<int>(r.Dword()) & 0xFFFF, c.id & 0xFFFF, what + " identifier");
    CheckText(ClassName(r.SzOrOrd()), c.window_class, what + " class");
    CheckText(r.SzOrOrd(), c.text, what + " text");
    r.Skip(r.Word());
  }
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* key) {
  wchar_t* value = nullptr;
  UINT length = 0;
  std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
  if (!::VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr) {
    return L"<none>";
  }
  std::wstring text(value);
  return text;
}

int RunResources(const std::wstring& exe) {
  HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) Abort("cannot load " + Utf8(exe) + " as a data file");
  CheckTemplate(module, kMainDialog, "main dialog");
  CheckTemplate(module, kAboutBox, "About box");

  // String 101 in the block of strings 96 to 111.
  const Resource strings = FindRes(module, RT_STRING, MAKEINTRESOURCEW(101 / 16 + 1));
  std::wstring about;
  if (strings.data != nullptr) {
    const WORD* p = reinterpret_cast<const WORD*>(strings.data);
    for (int i = 0; i < 101 % 16; ++i) p += 1 + *p;
    about.assign(reinterpret_cast<const wchar_t*>(p + 1), *p);
  }
  CheckText(about, L"&About Recaster...", "string 101");

  // Icon group 128: 16, 32 and 64 pixels in 16 colours, 256 pixels as PNG.
  const Resource group = FindRes(module, RT_GROUP_ICON, MAKEINTRESOURCEW(128));
  Check(group.data != nullptr, "icon group 128 exists");
  if (group.data != nullptr) {
    const WORD count = reinterpret_cast<const WORD*>(group.data)[2];
    CheckValue(count, 4, "icon group 128 image count");
    const int sizes[] = {16, 32, 64, 256};
    for (WORD i = 0; i < count && i < 4; ++i) {
      const BYTE* entry = group.data + 6 + 14 * i;
      const int width = entry[0] == 0 ? 256 : entry[0];
      WORD bits = 0, id = 0;
      std::memcpy(&bits, entry + 6, 2);
      std::memcpy(&id, entry + 12, 2);
      const Resource image = FindRes(module, RT_ICON, MAKEINTRESOURCEW(id));
      const bool png = image.data != nullptr && image.size > 8 && std::memcmp(image.data, "\x89PNG", 4) == 0;
      const std::string what = "icon image " + std::to_string(i + 1);
      CheckValue(width, sizes[i], what + " width");
      if (sizes[i] == 256) {
        Check(png && bits == 32, what + " is a PNG with alpha");
      } else {
        Check(!png && bits == 4 && entry[2] == 16, what + " has 16 colours");
      }
    }
  }

  const Resource manifest = FindRes(module, RT_MANIFEST, MAKEINTRESOURCEW(1));
  const std::string text = manifest.data != nullptr ? std::string(reinterpret_cast<const char*>(manifest.data), manifest.size) : "";
  for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "processorArchitecture=\"amd64\"",
                           "level=\"asInvoker\" uiAccess=\"false\"", ">true</dpiAware>"}) {
    Check(text.find(part) != std::string::npos, std::string("manifest holds ") + part);
  }
  ::FreeLibrary(module);

  DWORD ignored = 0;
  std::vector<BYTE> info(::GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  Check(!info.empty() && ::GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()),
        "version information exists");
  if (!info.empty()) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length);
    Check(fixed != nullptr && fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0x00010000 &&
              fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 0x00010000,
          "file and product version are 1.0.1");
    CheckText(VersionString(info, L"FileDescription"), L"Recaster", "file description");
    CheckText(VersionString(info, L"FileVersion"), L"1.0.1", "file version text");
    CheckText(VersionString(info, L"ProductVersion"), L"1.0.1", "product version text");
    CheckText(VersionString(info, L"InternalName"), L"Recaster.exe", "internal name");
    CheckText(VersionString(info, L"OriginalFilename"), L"Recaster.exe", "file name");
    CheckText(VersionString(info, L"ProductName"), L"Ornvale - Recaster", "product name");
    DWORD* translation = nullptr;
    ::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length);
    Check(translation != nullptr && *translation == MAKELONG(0x0409, 1200), "language English (US), Unicode");
  }
  return g_failures == 0 ? 0 : 1;
}

// ---- The running program ---------------------------------------------------------------------

struct Program {
  PROCESS_INFORMATION info{};
  HWND main = nullptr;
};

Program Start(const std::wstring& exe) {
  Program program;
  std::wstring command = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &program.info)) {
    Abort("cannot start " + Utf8(exe) + ": error " + std::to_string(::GetLastError()));
  }
  program.main = WaitForDialog(program.info.dwProcessId, nullptr, "main dialog");
  ::WaitForInputIdle(program.info.hProcess, 5000);
  return program;
}

// Closes the main dialog with its Close button and checks that the program ends with 0.
void Finish(Program& program) {
  ClickId(program.main, IDCANCEL, "Close");
  const bool ended = ::WaitForSingleObject(program.info.hProcess, kWaitMs) == WAIT_OBJECT_0;
  Check(ended, "the Close button ends the program");
  DWORD code = 1;
  ::GetExitCodeProcess(program.info.hProcess, &code);
  if (ended) CheckValue(code, 0, "the program's exit code");
  if (!ended) ::TerminateProcess(program.info.hProcess, 99);
  ::CloseHandle(program.info.hThread);
  ::CloseHandle(program.info.hProcess);
}

// A hidden copy of a template, made in this process, to map dialog units to pixels the way the
// program's dialog does (MapDialogRect does not work on another process's window).
class DialogUnits {
 public:
  DialogUnits(const std::wstring& exe, int template_id) {
    module_ = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const Resource res = FindRes(module_, RT_DIALOG, MAKEINTRESOURCEW(template_id));
    if (res.data == nullptr) Abort("no dialog template " + std::to_string(template_id));
    copy_.assign(res.data, res.data + res.size);
    DWORD style = 0;
    std::memcpy(&style, copy_.data() + 12, 4);
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    std::memcpy(copy_.data() + 12, &style, 4);
    hwnd_ = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                         reinterpret_cast<const DLGTEMPLATE*>(copy_.data()), nullptr,
                                         [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    if (hwnd_ == nullptr) Abort("cannot make a copy of dialog template " + std::to_string(template_id));
  }
  ~DialogUnits() {
    ::DestroyWindow(hwnd_);
    ::FreeLibrary(module_);
  }
  // Origin and size are mapped separately, as the dialog manager places controls.
  // Where the system placed control `index` of the copy, in its client coordinates.
  RECT ControlRect(std::size_t index) const {
    std::vector<HWND> controls;
    for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
      controls.push_back(child);
    }
    RECT r{-1, -1, -1, -1};
    if (index < controls.size()) {
      ::GetWindowRect(controls[index], &r);
      ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    }
    return r;
  }
  RECT ToPixels(RECT dlu) const {
    RECT origin{dlu.left, dlu.top, dlu.right, dlu.bottom};
    ::MapDialogRect(hwnd_, &origin);
    return RECT{origin.left, origin.top, origin.left + origin.right, origin.top + origin.bottom};
  }
  // The dialog units that map to `px` horizontally (or vertically), or -1.
  int ToUnits(int px, bool vertical) const {
    for (int d = 0; d <= 1000; ++d) {
      RECT r{0, 0, vertical ? 0 : d, vertical ? d : 0};
      ::MapDialogRect(hwnd_, &r);
      if ((vertical ? r.bottom : r.right) == px) return d;
    }
    return -1;
  }

 private:
  HMODULE module_ = nullptr;
  std::vector<BYTE> copy_;
  HWND hwnd_ = nullptr;
};

RECT ClientRectOf(HWND control, HWND dialog) {
  RECT r{};
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string Units(const DialogUnits& units, RECT px) {
  return std::to_string(units.ToUnits(px.left, false)) + ", " + std::to_string(units.ToUnits(px.top, true)) +
         " size " + std::to_string(units.ToUnits(px.right - px.left, false)) + " x " +
         std::to_string(units.ToUnits(px.bottom - px.top, true));
}

std::string Pixels(RECT r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

void CheckRunningDialog(HWND dialog, const ExpectedDialog& expected, const std::wstring& exe, const std::string& name) {
  const DialogUnits units(exe, expected.template_id);
  CheckText(TextOf(dialog), expected.caption, name + " caption");
  const auto style = static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE));
  const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  CheckValue(style & frame, expected.style & frame, name + " window style (frame bits)");
  const auto ex_style = static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE));
  if (expected.ex_style != 0) CheckValue(ex_style & expected.ex_style, expected.ex_style, name + " extended style");
  if ((expected.style & DS_MODALFRAME) != 0) Check((ex_style & WS_EX_DLGMODALFRAME) != 0, name + " has a modal frame");

  RECT client{};
  ::GetClientRect(dialog, &client);
  const RECT expected_client = units.ToPixels(RECT{0, 0, expected.dlu.cx, expected.dlu.cy});
  Check(client.right == expected_client.right && client.bottom == expected_client.bottom,
        name + " client area is " + std::to_string(expected.dlu.cx) + " x " + std::to_string(expected.dlu.cy) +
            " dialog units (found " + Units(units, client) + ")");

  const std::vector<HWND> controls = DirectChildren(dialog);
  CheckValue(static_cast<long long>(controls.size()), static_cast<long long>(expected.controls.size()),
             name + " control count");
  for (std::size_t i = 0; i < controls.size() && i < expected.controls.size(); ++i) {
    const ControlSpec& c = expected.controls[i];
    HWND control = controls[i];
    const std::string what = name + " control " + std::to_string(i + 1) + " in tab order";
    CheckValue(::GetDlgCtrlID(control) & 0xFFFF, c.id & 0xFFFF, what + " identifier");
    CheckText(ClassOf(control), c.window_class, what + " class");
    CheckText(TextOf(control), c.text, what + " text");
    const auto control_style = static_cast<DWORD>(::GetWindowLongPtrW(control, GWL_STYLE));
    // The dialog shows the focused push button as the default one; the template says which it is.
    const DWORD mask = (c.style & BS_DEFPUSHBUTTON) != 0 || std::wstring(c.window_class) == L"Static"
                           ? 0xFFFFFFFF
                           : ~static_cast<DWORD>(BS_DEFPUSHBUTTON);
    CheckValue(control_style & mask, c.style & mask, what + " style");
    const RECT actual = ClientRectOf(control, dialog);
    // The template's rectangle as the system lays it out (Wine widens an etched line a little).
    const RECT expected = units.ControlRect(i);
    Check(std::memcmp(&actual, &expected, sizeof(RECT)) == 0,
          what + " at " + std::to_string(c.dlu.left) + ", " + std::to_string(c.dlu.top) + " size " +
              std::to_string(c.dlu.right) + " x " + std::to_string(c.dlu.bottom) + " dialog units (found " +
              Units(units, actual) + "; pixels " + Pixels(actual) + ", expected " + Pixels(expected) + ")");
  }
}

// The pixels of a screen area, or of a memory DC's bitmap.
std::vector<COLORREF> Pixels(HDC source, int x, int y, int width, int height) {
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, source != nullptr ? source : screen, x, y, SRCCOPY);
  std::vector<COLORREF> pixels;
  for (int py = 0; py < height; ++py) {
    for (int px = 0; px < width; ++px) pixels.push_back(::GetPixel(memory, px, py));
  }
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return pixels;
}

// The icon group 128 of the program file, drawn here at the small icon size as the window caption
// draws it, is found in the caption: every pixel the icon covers matches. (The window's icons cannot
// be asked for across processes under Wine.)
bool CaptionShowsIcon(HWND window, const std::wstring& exe) {
  HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  HICON icon = module != nullptr ? ::LoadIconW(module, MAKEINTRESOURCEW(128)) : nullptr;
  if (icon == nullptr) return false;
  const int size = ::GetSystemMetrics(SM_CXSMICON);
  // Drawn on black and on white: a pixel that differs is (partly) transparent and is not compared.
  auto drawn = [&](COLORREF background) {
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    HBRUSH brush = ::CreateSolidBrush(background);
    RECT all{0, 0, size, size};
    ::FillRect(memory, &all, brush);
    ::DeleteObject(brush);
    ::DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> pixels = Pixels(memory, 0, 0, size, size);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
  };
  const std::vector<COLORREF> on_black = drawn(RGB(0, 0, 0));
  const std::vector<COLORREF> on_white = drawn(RGB(255, 255, 255));
  ::FreeLibrary(module);

  RECT frame{};
  ::GetWindowRect(window, &frame);
  const int area = 48;
  const std::vector<COLORREF> shown = Pixels(nullptr, frame.left, frame.top, area, area);
  for (int oy = 0; oy + size <= area; ++oy) {
    for (int ox = 0; ox + size <= area; ++ox) {
      bool all = true;
      int compared = 0;
      for (int y = 0; y < size && all; ++y) {
        for (int x = 0; x < size && all; ++x) {
          const std::size_t i = static_cast<std::size_t>(y * size + x);
          if (on_black[i] != on_white[i]) continue;
          ++compared;
          all = shown[static_cast<std::size_t>((oy + y) * area + ox + x)] == on_black[i];
        }
      }
      if (all && compared > size * size / 2) return true;
    }
  }
  return false;
}

// The window that has the keyboard focus in the program's GUI thread.
HWND FocusOf(const Program& program) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!::GetGUIThreadInfo(program.info.dwThreadId, &info)) return nullptr;
  return info.hwndFocus;
}

// The window's image on the screen as a 24-bit BMP file.
bool SaveScreenshot(HWND hwnd, const std::wstring& path) {
  ::SetForegroundWindow(hwnd);
  ::SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  ::Sleep(300);
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  ::GdiFlush();
  ::SelectObject(memory, old);
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
  const DWORD image = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(bmi.bmiHeader);
  file.bfSize = file.bfOffBits + image;
  bool saved = false;
  if (FILE* out = _wfopen(path.c_str(), L"wb")) {
    saved = std::fwrite(&file, sizeof(file), 1, out) == 1 && std::fwrite(&bmi.bmiHeader, sizeof(bmi.bmiHeader), 1, out) == 1 &&
            std::fwrite(bits, 1, image, out) == image;
    std::fclose(out);
  }
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  ::SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  return saved;
}

// Visible menu windows (#32768) of the process.
HWND FindMenuWindow(DWORD pid) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{pid, nullptr};
  ::EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if (ProcessOf(hwnd) == s->pid && ::IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32768") s->found = hwnd;
        return s->found == nullptr;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void CheckAboutBox(Program& program, const std::wstring& exe, const std::string& name,
                   const std::function<void()>& open, const std::wstring& shot) {
  open();
  HWND about = WaitForDialog(program.info.dwProcessId, program.main, name);
  Check(true, name + " opens, owned by the main dialog");
  Check(!::IsWindowEnabled(program.main), "the main dialog takes no input while the About box is open");
  CheckRunningDialog(about, kAboutBox, exe, name);
  if (!shot.empty()) Check(SaveScreenshot(about, shot), "screenshot of the About box");
  ClickId(about, IDOK, "OK");
  WaitGone(about, name);
  Check(::IsWindowEnabled(program.main), "the main dialog takes input again after OK");
}

int RunDialogs(const std::wstring& exe, const std::wstring& shots) {
  Program program = Start(exe);
  Check(true, "the main dialog appears, without owner");
  // Before this process makes windows of its own, which would take the activation.
  if (!shots.empty()) Check(SaveScreenshot(program.main, shots + L"\\main-dialog.bmp"), "screenshot of the main dialog");
  CheckRunningDialog(program.main, kMainDialog, exe, "main dialog");
  Check(CaptionShowsIcon(program.main, exe), "the caption shows the application icon");
  HWND focus = FocusOf(program);
  CheckValue(focus != nullptr ? ::GetDlgCtrlID(focus) : 0, IDCANCEL, "the focused control's identifier (Close)");

  // As a person would: Alt+Space opens the system menu (the dialog passes that command on to the
  // system), Up and Enter choose its last entry, and the menu sends IDM_ABOUTBOX.
  CheckAboutBox(
      program, exe, "About box from the system menu",
      [&] {
        ::PostMessageW(program.main, WM_SYSCOMMAND, SC_KEYMENU, L' ');
        HWND menu = nullptr;
        if (!WaitUntil([&] { return (menu = FindMenuWindow(program.info.dwProcessId)) != nullptr; })) {
          Abort("the system menu did not open");
        }
        Check(true, "the system menu opens");
        // Up from the first entry wraps to the last one, which the program appended.
        ::PostMessageW(menu, WM_KEYDOWN, VK_UP, 0);
        ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
      },
      shots.empty() ? L"" : shots + L"\\about-box.bmp");
  CheckAboutBox(
      program, exe, "About box from system command 0x001F",
      [&] { ::PostMessageW(program.main, WM_SYSCOMMAND, 0x001F, 0); }, L"");
  Finish(program);
  return g_failures == 0 ? 0 : 1;
}

// ---- Conversion ------------------------------------------------------------------------------

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
  HDC screen = ::GetDC(nullptr);
  auto grab = [&](HDC source, int x, int y) {
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    std::vector<COLORREF> pixels;
    for (int py = 0; py < height; ++py) {
      for (int px = 0; px < width; ++px) pixels.push_back(::GetPixel(memory, px, py));
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    return pixels;
  };
  const std::vector<COLORREF> shown = grab(screen, r.left, r.top);
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
    const std::vector<COLORREF> drawn = grab(memory, 0, 0);
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

int RunConvert(const std::wstring& exe, const std::wstring& source, const std::wstring& destination,
               const std::wstring& expect, const std::wstring& cancel) {
  const std::wstring default_source = SpecialFolder(CSIDL_COMMON_APPDATA) + L"\\Ornvale\\ov_server_settings.cfg";
  const std::wstring default_destination = SpecialFolder(CSIDL_PERSONAL) + L"\\converted_ov_config.json";
  const bool destination_existed = Exists(destination);

  Program program = Start(exe);
  const DWORD pid = program.info.dwProcessId;
  ClickId(program.main, 1000, "Convert");

  HWND open = WaitForDialog(pid, program.main, "open dialog");
  DumpDialog(open);
  CheckFileTypes(open, {L"Ornvale 5 - Server Configuration", L"All Files (*.*)"}, "the open dialog's");
  Check(!::IsWindowEnabled(program.main), "the main dialog takes no input while the open dialog is shown");
  HWND box = FileNameBox(open);
  Check(box != nullptr, "the open dialog has a file name box");
  if (box != nullptr) CheckText(TextOf(box), default_source, "the open dialog's initial file name");

  if (cancel == L"cancel-open") {
    ClickId(open, IDCANCEL, "open dialog Cancel");
    WaitGone(open, "the open dialog");
    Check(NextDialog(pid, program.main, 1500) == nullptr, "nothing is shown after cancelling the open dialog");
  } else {
    ChooseFile(open, source, "the open dialog");
    WaitGone(open, "the open dialog");
    HWND next = WaitForDialog(pid, program.main, "save dialog or message");
    if (FileNameBox(next) != nullptr && MessageText(next).empty()) {
      HWND save = next;
      Check(true, "the save dialog follows the open dialog");
      DumpDialog(save);
      CheckFileTypes(save, {L"Ornvale 6 - Server Configuration (*.json)", L"All Files (*.*)"}, "the save dialog's");
      CheckText(TextOf(FileNameBox(save)), default_destination, "the save dialog's initial file name");
      if (cancel == L"cancel-save") {
        ClickId(save, IDCANCEL, "save dialog Cancel");
        WaitGone(save, "the save dialog");
        Check(NextDialog(pid, program.main, 1500) == nullptr, "nothing is shown after cancelling the save dialog");
      } else {
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
        next = WaitForDialog(pid, program.main, "message");
      }
    }
    if (next != nullptr && ::IsWindow(next) && !MessageText(next).empty()) {
      const std::wstring text = MessageText(next);
      CheckText(TextOf(next), L"Recaster", "the message caption (the application's name)");
      if (expect == L"saved") {
        CheckText(text, kSaved, "the message");
        CheckName(MessageIcon(next), "information", "the message icon");
      } else if (expect == L"write-failed") {
        CheckText(text, kWriteFailed, "the message");
        CheckName(MessageIcon(next), "error", "the message icon");
      } else if (expect == L"load-failed") {
        const std::wstring first = text.substr(0, text.find(L'\n'));
        CheckText(first, kLoadFailed, "the message's first line");
        Check(text.find(L'\n') != std::wstring::npos && text.size() > first.size() + 1,
              "the message gives the reason on a second line: \"" + Shown(text) + "\"");
        CheckName(MessageIcon(next), "error", "the message icon");
      } else {
        Check(false, "no message was expected, found \"" + Shown(text) + "\"");
      }
      ClickId(next, IDOK, "message OK");
      WaitGone(next, "the message");
    } else if (expect != L"nothing") {
      Check(false, "a message was expected");
    }
  }
  Check(::IsWindowEnabled(program.main), "the main dialog takes input again");
  Finish(program);
  return g_failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[2]) == L"resources") return RunResources(argv[1]);
  if (argc >= 3 && std::wstring(argv[2]) == L"dialogs") return RunDialogs(argv[1], argc >= 4 ? argv[3] : L"");
  if (argc >= 6 && std::wstring(argv[2]) == L"convert") {
    return RunConvert(argv[1], argv[3], argv[4], argv[5], argc >= 7 ? argv[6] : L"");
  }
  std::fprintf(stderr,
               "usage: driver RECASTER.EXE resources\n"
               "       driver RECASTER.EXE dialogs [SHOT_FOLDER]\n"
               "       driver RECASTER.EXE convert SOURCE DESTINATION saved|write-failed|load-failed|nothing"
               " [cancel-open|cancel-save]\n");
  return 2;
}
