// The `resources` command, which reads the program file, and the layout checks of a running dialog.
#include "tests/wine/resources.h"

#include <cstring>

#include "tests/wine/support.h"

namespace recaster::driver {

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

// ---- The program file ------------------------------------------------------------------------

namespace {

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

// String 101, in the block of strings 96 to 111.
void CheckAboutString(HMODULE module) {
  const Resource strings = FindRes(module, RT_STRING, MAKEINTRESOURCEW(101 / 16 + 1));
  std::wstring about;
  if (strings.data != nullptr) {
    const WORD* p = reinterpret_cast<const WORD*>(strings.data);
    for (int i = 0; i < 101 % 16; ++i) p += 1 + *p;
    about.assign(reinterpret_cast<const wchar_t*>(p + 1), *p);
  }
  CheckText(about, L"&About Recaster...", "string 101");
}

// Icon group 128: 16, 32 and 64 pixels in 16 colours, 256 pixels as PNG.
void CheckIcons(HMODULE module) {
  const Resource group = FindRes(module, RT_GROUP_ICON, MAKEINTRESOURCEW(128));
  Check(group.data != nullptr, "icon group 128 exists");
  if (group.data == nullptr) return;
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

// The manifest: common controls 6, amd64, run as the invoker, aware of the system's scale.
void CheckManifest(HMODULE module) {
  const Resource manifest = FindRes(module, RT_MANIFEST, MAKEINTRESOURCEW(1));
  const std::string text = manifest.data != nullptr ? std::string(reinterpret_cast<const char*>(manifest.data), manifest.size) : "";
  for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "processorArchitecture=\"amd64\"",
                           "level=\"asInvoker\" uiAccess=\"false\"", ">true</dpiAware>"}) {
    Check(text.find(part) != std::string::npos, std::string("manifest holds ") + part);
  }
}

// The version information: 1.0.1 in numbers and in words, the program's names, English (US).
void CheckVersionInformation(const std::wstring& exe) {
  DWORD ignored = 0;
  std::vector<BYTE> info(::GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  Check(!info.empty() && ::GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()),
        "version information exists");
  if (info.empty()) return;
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

}  // namespace

int RunResources(const std::wstring& exe) {
  HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) Abort("cannot load " + Utf8(exe) + " as a data file");
  CheckTemplate(module, kMainDialog, "main dialog");
  CheckTemplate(module, kAboutBox, "About box");
  CheckAboutString(module);
  CheckIcons(module);
  CheckManifest(module);
  ::FreeLibrary(module);
  CheckVersionInformation(exe);
  return ExitCode();
}

// ---- The running dialog's layout -------------------------------------------------------------

namespace {

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

}  // namespace

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

}  // namespace recaster::driver
