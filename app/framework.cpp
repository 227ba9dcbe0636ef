// The thin dialog framework: one trampoline per dialog, COM for the file dialogs, the entry point.
#include "app/framework.h"

#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>
#include <windowsx.h>

#include <vector>

namespace recaster::app {
namespace {

CWinApp* g_app = nullptr;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// The executable's file name without folder and extension.
std::u16string ExecutableBaseName(HINSTANCE instance) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(instance, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const auto slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  const auto dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  return FromWide(name);
}

// COM, apartment-threaded, for as long as it lives (the Vista dialogs hang in a multithreaded apartment).
class ComApartment {
 public:
  ComApartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  // False when COM is already in use on this thread in another threading model.
  bool ok() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

// Owns one reference to a COM object.
template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (ptr_ != nullptr) ptr_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  Interface* operator->() const { return ptr_; }
  Interface** put() { return &ptr_; }
  Interface* get() const { return ptr_; }

 private:
  Interface* ptr_ = nullptr;
};

// A string the shell allocated with CoTaskMemAlloc.
using CoTaskString = ScopedHandle<wchar_t*, ::CoTaskMemFree>;

// "Name|*.ext|Other|*.*||" as the name and pattern pairs the shell dialog takes; the strings keep the
// texts the pairs point into.
std::vector<COMDLG_FILTERSPEC> ParseFilter(const std::wstring& filter, std::vector<std::wstring>* parts) {
  std::size_t start = 0;
  while (start < filter.size()) {
    const std::size_t bar = filter.find(L'|', start);
    const std::size_t end = bar == std::wstring::npos ? filter.size() : bar;
    if (end == start) break;  // the empty part that ends the list
    parts->push_back(filter.substr(start, end - start));
    start = end + 1;
  }
  std::vector<COMDLG_FILTERSPEC> file_types;
  for (std::size_t i = 0; i + 1 < parts->size(); i += 2) {
    file_types.push_back(COMDLG_FILTERSPEC{(*parts)[i].c_str(), (*parts)[i + 1].c_str()});
  }
  return file_types;
}

// The shell dialog's options for the classic flags the program passes.
FILEOPENDIALOGOPTIONS ShellOptions(DWORD flags) {
  FILEOPENDIALOGOPTIONS options = FOS_FORCEFILESYSTEM;
  if ((flags & kFileMustExist) != 0) options |= FOS_FILEMUSTEXIST;
  if ((flags & kOverwritePrompt) != 0) options |= FOS_OVERWRITEPROMPT;
  return options;
}

}  // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

bool CWinApp::InitInstance() { return true; }

HICON CWinApp::LoadIcon(int id) const { return ::LoadIconW(instance_, MAKEINTRESOURCEW(id)); }

HWND CWinApp::MainWindow() const { return m_pMainWnd != nullptr ? m_pMainWnd->GetSafeHwnd() : nullptr; }

int CWinApp::Run(HINSTANCE instance) {
  instance_ = instance;
  app_name_ = ExecutableBaseName(instance);
  int count = 0;
  if (wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count); argv != nullptr) {
    for (int i = 1; i < count; ++i) arguments_.push_back(FromWide(argv[i]));
    ::LocalFree(argv);
  }
  InitInstance();
  return 0;
}

CWinApp* AfxGetApp() { return g_app; }

CDialog::CDialog(int template_id, HWND parent) : template_id_(template_id), parent_(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
  CWinApp* app = AfxGetApp();
  HWND owner = parent_ != nullptr ? parent_ : app->MainWindow();
  return ::DialogBoxParamW(app->Instance(), MAKEINTRESOURCEW(template_id_), owner, &CDialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }

bool CDialog::OnInitDialog() { return true; }

void CDialog::OnSysCommand(UINT, POINT) { Default(); }

void CDialog::OnPaint() { Default(); }

HCURSOR CDialog::OnQueryDragIcon() {
  Default();
  return nullptr;
}

void CDialog::OnClicked(int id) {
  if (id == IDOK) {
    OnOK();
  } else if (id == IDCANCEL) {
    OnCancel();
  } else {
    Default();
  }
}

void CDialog::Post(int code) { ::PostMessageW(hwnd_, WM_APP, static_cast<WPARAM>(code), 0); }

void CDialog::OnDropFiles(const std::vector<std::u16string>&) {}

void CDialog::OnPosted(int) {}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

// The one trampoline: WM_INITDIALOG brings `this`, which is kept with the window; every message after
// it goes to HandleMessage. Messages before it (WM_SETFONT) get the system's handling.
INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CDialog*>(lparam);
    dialog->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
  }
  auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (dialog == nullptr) return FALSE;
  const INT_PTR result = dialog->HandleMessage(message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    dialog->hwnd_ = nullptr;
  }
  return result;
}

// A handler may run a modal loop (the About box, the file dialogs) that brings further messages to this
// dialog; each message keeps its own handled state.
INT_PTR CDialog::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  const bool outer = handled_;
  handled_ = true;
  const INT_PTR result = Dispatch(message, wparam, lparam);
  handled_ = outer;
  return result;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto on_init = [this](HWND, HWND, LPARAM) -> BOOL { return OnInitDialog() ? TRUE : FALSE; };
      return HANDLE_WM_INITDIALOG(hwnd_, wparam, lparam, on_init);
    }
    case WM_SYSCOMMAND: {
      auto on_sys_command = [this](HWND, UINT id, int x, int y) { OnSysCommand(id, POINT{x, y}); };
      HANDLE_WM_SYSCOMMAND(hwnd_, wparam, lparam, on_sys_command);
      return handled_ ? TRUE : FALSE;
    }
    case WM_PAINT: {
      auto on_paint = [this](HWND) { OnPaint(); };
      HANDLE_WM_PAINT(hwnd_, wparam, lparam, on_paint);
      return handled_ ? TRUE : FALSE;
    }
    case WM_QUERYDRAGICON: {
      // Not through HANDLE_WM_QUERYDRAGICON, which cuts the handle to 32 bits.
      const HCURSOR cursor = OnQueryDragIcon();
      return handled_ ? reinterpret_cast<INT_PTR>(cursor) : FALSE;
    }
    case WM_COMMAND: {
      auto on_command = [this](HWND, int id, HWND, UINT code) {
        if (code == BN_CLICKED) {
          OnClicked(id);
        } else {
          Default();
        }
      };
      HANDLE_WM_COMMAND(hwnd_, wparam, lparam, on_command);
      return handled_ ? TRUE : FALSE;
    }
    case WM_DROPFILES: {
      // The drop's memory goes back to the system before the handler runs its dialogs.
      auto drop = reinterpret_cast<HDROP>(wparam);
      std::vector<std::u16string> paths;
      const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        if (!path.empty()) paths.push_back(FromWide(path));
      }
      ::DragFinish(drop);
      OnDropFiles(paths);
      return TRUE;
    }
    case WM_APP:
      OnPosted(static_cast<int>(wparam));
      return TRUE;
    default:
      return FALSE;
  }
}

CFileDialog::CFileDialog(bool open, std::u16string_view default_extension, std::u16string_view file_name,
                         DWORD flags, std::u16string_view filter, HWND parent)
    : open_(open),
      default_extension_(default_extension),
      file_name_(file_name),
      flags_(flags),
      filter_(filter),
      parent_(parent) {}

INT_PTR CFileDialog::DoModal() {
  path_.clear();
  ComApartment com;
  if (!com.ok()) return IDCANCEL;
  ComRef<IFileDialog> dialog;
  const HRESULT created =
      open_ ? ::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                 reinterpret_cast<void**>(dialog.put()))
            : ::CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileSaveDialog,
                                 reinterpret_cast<void**>(dialog.put()));
  if (FAILED(created)) return IDCANCEL;

  std::vector<std::wstring> parts;
  const std::vector<COMDLG_FILTERSPEC> file_types = ParseFilter(Wide(filter_), &parts);
  if (!file_types.empty()) dialog->SetFileTypes(static_cast<UINT>(file_types.size()), file_types.data());
  const std::wstring extension = Wide(default_extension_);
  if (!extension.empty()) dialog->SetDefaultExtension(extension.c_str());
  dialog->SetOptions(ShellOptions(flags_) | (pick_folders_ ? FILEOPENDIALOGOPTIONS{FOS_PICKFOLDERS} : FILEOPENDIALOGOPTIONS{0}));
  const std::wstring name = Wide(file_name_);
  if (!name.empty()) dialog->SetFileName(name.c_str());

  HWND owner = parent_ != nullptr ? parent_ : AfxGetApp()->MainWindow();
  if (FAILED(dialog->Show(owner))) return IDCANCEL;  // cancelled: HRESULT_FROM_WIN32(ERROR_CANCELLED)
  ComRef<IShellItem> item;
  if (FAILED(dialog->GetResult(item.put()))) return IDCANCEL;
  wchar_t* chosen = nullptr;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &chosen))) return IDCANCEL;
  CoTaskString owned(chosen);
  path_ = FromWide(owned.get());
  return IDOK;
}

int AfxMessageBox(std::u16string_view text, UINT type) {
  CWinApp* app = AfxGetApp();
  const std::wstring body = Wide(text);
  const std::wstring caption = Wide(app->AppName());
  return ::MessageBoxW(app->MainWindow(), body.c_str(), caption.c_str(), type);
}

DWORD AfxShellOpen(std::u16string_view path) {
  // The shell may hand the file on through COM; an apartment of its own when the thread has none.
  ComApartment com;
  const std::wstring file = Wide(path);
  ::SetLastError(ERROR_SUCCESS);
  const auto started = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(AfxGetApp()->MainWindow(), L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (started > 32) return ERROR_SUCCESS;
  if (const DWORD code = ::GetLastError(); code != ERROR_SUCCESS) return code;
  // The shell's own codes that are not system error codes.
  switch (started) {
    case SE_ERR_SHARE:
      return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
      return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
      return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND:
      return ERROR_DLL_NOT_FOUND;
    default:
      return started > 0 ? static_cast<DWORD>(started) : ERROR_GEN_FAILURE;
  }
}

}  // namespace recaster::app

// The program's entry point: everything happens in the application object.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return recaster::app::AfxGetApp()->Run(instance); }
