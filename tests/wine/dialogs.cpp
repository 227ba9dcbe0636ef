// The `dialogs` command: the running main dialog, its icon and focus, and the About box opened from
// the system menu and by its system command; screenshots of both.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/wine/resources.h"
#include "tests/wine/support.h"

namespace recaster::driver {
namespace {

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
  CheckTextFits(about, DialogFont(), name);
  if (!shot.empty()) Check(SaveScreenshot(about, shot), "screenshot of the About box");
  ClickId(about, IDOK, "OK");
  WaitGone(about, name);
  Check(::IsWindowEnabled(program.main), "the main dialog takes input again after OK");
}

}  // namespace

int RunDialogs(const std::wstring& exe, const std::wstring& shots, int dpi) {
  CheckValue(SystemDpi(), dpi, "the system's dots per inch");
  // main-dialog.bmp at 96 DPI, main-dialog-144.bmp at 144.
  const std::wstring scale = dpi == 96 ? L"" : L"-" + std::to_wstring(dpi);
  Program program = Start(exe);
  Check(true, "the main dialog appears, without owner");
  // Before this process makes windows of its own, which would take the activation.
  if (!shots.empty()) {
    Check(SaveScreenshot(program.main, shots + L"\\main-dialog" + scale + L".bmp"), "screenshot of the main dialog");
  }
  CheckRunningDialog(program.main, kMainDialog, exe, "main dialog");
  CheckTextFits(program.main, DialogFont(), "main dialog");
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
      shots.empty() ? L"" : shots + L"\\about-box" + scale + L".bmp");
  CheckAboutBox(
      program, exe, "About box from system command 0x001F",
      [&] { ::PostMessageW(program.main, WM_SYSCOMMAND, 0x001F, 0); }, L"");
  Finish(program);
  return ExitCode();
}

}  // namespace recaster::driver
