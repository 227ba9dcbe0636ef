// The application object and its two dialogs.
#include "app/recaster.h"

#include <commctrl.h>
#include <shellapi.h>

#include <utility>

#include "app/resource.h"

namespace recaster::app {
namespace {

static_assert((IDM_ABOUTBOX & 0xFFF0) == IDM_ABOUTBOX, "system commands keep their low four bits for the system");
static_assert(IDM_ABOUTBOX < 0xF000, "system commands of the program stay below the system's own");

// The string resource `id`, or an empty text when there is none.
std::wstring LoadResourceString(int id) {
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(AfxGetApp()->Instance(), id, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

// BeginPaint and EndPaint around one paint message.
class PaintScope {
 public:
  explicit PaintScope(HWND hwnd) : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &paint_)) {}
  ~PaintScope() { ::EndPaint(hwnd_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

}  // namespace

bool CRecasterApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  CWinApp::InitInstance();
  {
    CRecasterDlg dialog(Arguments());
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
  }
  return false;
}

CRecasterDlg::CRecasterDlg(std::vector<std::u16string> start)
    : CDialog(IDD_RECASTER_DIALOG), m_hIcon(AfxGetApp()->LoadIcon(IDR_MAINFRAME)), m_start(std::move(start)) {}

bool CRecasterDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (HMENU menu = ::GetSystemMenu(GetSafeHwnd(), FALSE); menu != nullptr) {
    const std::wstring about = LoadResourceString(IDS_ABOUTBOX);
    if (!about.empty()) {
      ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
  }
  ::SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  ::DragAcceptFiles(GetSafeHwnd(), TRUE);
  if (!m_start.empty()) Post(kConvertStartFiles);
  return true;
}

void CRecasterDlg::OnSysCommand(UINT id, POINT where) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else {
    CDialog::OnSysCommand(id, where);
  }
}

void CRecasterDlg::OnPaint() {
  if (!::IsIconic(GetSafeHwnd())) {
    CDialog::OnPaint();
    return;
  }
  PaintScope paint(GetSafeHwnd());
  ::SendMessageW(GetSafeHwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.dc()), 0);
  const int icon_width = ::GetSystemMetrics(SM_CXICON);
  const int icon_height = ::GetSystemMetrics(SM_CYICON);
  RECT client{};
  ::GetClientRect(GetSafeHwnd(), &client);
  const int x = (client.right - client.left - icon_width + 1) / 2;
  const int y = (client.bottom - client.top - icon_height + 1) / 2;
  ::DrawIcon(paint.dc(), x, y, m_hIcon);
}

HCURSOR CRecasterDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CRecasterDlg::OnClicked(int id) {
  if (id == IDC_BUTTON_CONVERT) {
    OnBnClickedConvert();
  } else {
    CDialog::OnClicked(id);
  }
}

void CRecasterDlg::OnDropFiles(const std::vector<std::u16string>& paths) { ConvertPaths(paths); }

void CRecasterDlg::OnPosted(int code) {
  if (code == kConvertStartFiles) ConvertPaths(std::exchange(m_start, {}));
  if (code == kFleetDone) OnFleetDone();
}

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

}  // namespace recaster::app

// The one application object, named after the executable.
recaster::app::CRecasterApp theApp;
