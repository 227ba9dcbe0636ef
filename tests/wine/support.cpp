// The driver's shared parts: its check report, the windows of the program under test, starting and
// closing the program, and its file's resources.
#include "tests/wine/support.h"

#include <cstdio>
#include <cstdlib>

namespace recaster::driver {
namespace {

constexpr DWORD kPollMs = 25;

int g_failures = 0;

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

}  // namespace

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

int ExitCode() { return g_failures == 0 ? 0 : 1; }

bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms) {
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

void ClickId(HWND dialog, int id, const std::string& what) {
  HWND button = ChildWithId(dialog, id);
  if (button == nullptr) Abort("no " + what + " button (id " + std::to_string(id) + ")");
  Click(button);
}

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

int SystemDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

LOGFONTW DialogFont() {
  LOGFONTW font{};
  font.lfHeight = -::MulDiv(8, SystemDpi(), 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  ::lstrcpynW(font.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
  return font;
}

LOGFONTW MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  return metrics.lfMessageFont;
}

void CheckTextFits(HWND window, const LOGFONTW& font, const std::string& name) {
  HDC dc = ::GetDC(nullptr);
  HFONT made = ::CreateFontIndirectW(&font);
  HGDIOBJ old = ::SelectObject(dc, made);
  RECT client{};
  ::GetClientRect(window, &client);
  // A push button's text stays inside its frame: two edges on each side.
  const int edge = 2 * ::GetSystemMetrics(SM_CXEDGE);
  struct Placed {
    RECT rect;
    std::string what;
  };
  std::vector<Placed> placed;
  std::string problems;
  int measured = 0;
  for (HWND control : DirectChildren(window)) {
    if (!::IsWindowVisible(control)) continue;
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    const std::wstring text = TextOf(control);
    const std::string what = Utf8(ClassOf(control)) + " \"" + Shown(text.substr(0, 24)) +
                             (text.size() > 24 ? "...\"" : "\"");
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (r.left < client.left || r.top < client.top || r.right > client.right || r.bottom > client.bottom) {
      problems += "; " + what + " leaves the client area";
    }
    for (const Placed& other : placed) {
      RECT both{};
      if (::IntersectRect(&both, &r, &other.rect)) problems += "; " + what + " overlaps " + other.what;
    }
    placed.push_back({r, what});
    if (text.empty()) continue;
    ++measured;
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(control, GWL_STYLE));
    const bool button = ClassOf(control) == L"Button";
    const int room_width = width - (button ? 2 * edge : 0), room_height = height - (button ? 2 * edge : 0);
    RECT needed{0, 0, room_width, 0};
    UINT format = DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK | DT_EXPANDTABS);
    if (!button && (style & SS_NOPREFIX) != 0) format |= DT_NOPREFIX;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed, format);
    const int needed_width = needed.right - needed.left, needed_height = needed.bottom - needed.top;
    if (needed_width > room_width || needed_height > room_height) {
      problems += "; " + what + " needs " + std::to_string(needed_width) + " x " + std::to_string(needed_height) +
                  " px, has " + std::to_string(room_width) + " x " + std::to_string(room_height);
    }
  }
  ::SelectObject(dc, old);
  ::DeleteObject(made);
  ::ReleaseDC(nullptr, dc);
  Check(problems.empty() && measured > 0,
        name + ": each of its " + std::to_string(measured) +
            " texts fits its control, and the controls lie apart inside the client area" +
            (problems.empty() ? "" : " (" + problems.substr(2) + ")"));
}

Resource FindRes(HMODULE module, const wchar_t* type, const wchar_t* name) {
  HRSRC found = ::FindResourceExW(module, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (found == nullptr) return {};
  HGLOBAL loaded = ::LoadResource(module, found);
  return Resource{static_cast<const BYTE*>(::LockResource(loaded)), ::SizeofResource(module, found)};
}

Program Start(const std::wstring& exe, const std::vector<std::wstring>& arguments) {
  Program program;
  std::wstring command = L"\"" + exe + L"\"";
  for (const std::wstring& argument : arguments) command += L" \"" + argument + L"\"";
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
}  // namespace recaster::driver
