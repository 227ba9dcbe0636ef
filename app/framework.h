// File: app/framework.h - the thin Windows dialog framework the program stands on: the application
// object, modal dialogs from templates, the Vista-style file dialogs and the message box.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace recaster::app {

// Releases the handle with the given function when it goes out of scope.
template <typename Handle, auto Release>
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(Handle handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (handle_ != nullptr) Release(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  Handle get() const { return handle_; }

 private:
  Handle handle_ = nullptr;
};

class CDialog;

// The one application object: it names the application after the executable and runs InitInstance
// from the program's entry point.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Called once at start-up; the program ends when it returns false (the base returns true).
  virtual bool InitInstance();

  // The executable's base name without its extension ("Recaster"); the caption of every message box.
  const std::u16string& AppName() const { return app_name_; }
  // The icon group `id` of the program's resources, at the system's large icon size; shared, not owned.
  HICON LoadIcon(int id) const;
  // The program's module, for loading its resources.
  HINSTANCE Instance() const { return instance_; }
  // The arguments the program was started with, without the program's own name (a file dropped on the
  // program or its shortcut arrives as one).
  const std::vector<std::u16string>& Arguments() const { return arguments_; }

  // The dialog whose window owns dialogs and messages started without a parent (the main dialog).
  CDialog* m_pMainWnd = nullptr;
  // The main dialog's window while it is shown, otherwise null.
  HWND MainWindow() const;

  // Entry point work: records the module, names the application, runs InitInstance. Returns the exit code.
  int Run(HINSTANCE instance);

 private:
  HINSTANCE instance_ = nullptr;
  std::u16string app_name_;
  std::vector<std::u16string> arguments_;
};

// The application object; there is exactly one.
CWinApp* AfxGetApp();

// A modal dialog made from a dialog template of the program's resources. Every message the dialog
// receives reaches one member function, which hands the few the program handles to the virtuals below;
// a handler that calls Default() leaves its message to the system's dialog handling.
class CDialog {
 public:
  explicit CDialog(int template_id, HWND parent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Shows the dialog and returns the code it was ended with (IDOK, IDCANCEL), or -1 if it could not be made.
  INT_PTR DoModal();
  // The dialog's window while it is shown, otherwise null.
  HWND GetSafeHwnd() const { return hwnd_; }
  // Ends the modal loop with `result`.
  void EndDialog(INT_PTR result);
  // Queues `code` for OnPosted, which runs once the messages already waiting have been handled.
  void Post(int code);

 protected:
  // Once the controls exist; true lets the system put the focus on the first tab stop (the base returns true).
  virtual bool OnInitDialog();
  // A system-menu command, with the cursor position it came with (base: the system's handling).
  virtual void OnSysCommand(UINT id, POINT where);
  // The window needs painting (base: the system's painting).
  virtual void OnPaint();
  // The cursor to show while the minimised window is dragged (base: the system's choice).
  virtual HCURSOR OnQueryDragIcon();
  // A click of the button with identifier `id` (base: IDOK to OnOK, IDCANCEL to OnCancel).
  virtual void OnClicked(int id);
  // The OK identity (base: ends the dialog with IDOK).
  virtual void OnOK();
  // The cancel identity, Esc and the close box (base: ends the dialog with IDCANCEL).
  virtual void OnCancel();
  // Files dropped on the dialog, once it accepts them (DragAcceptFiles), with their full paths in the
  // order the shell gives them (base: ignored).
  virtual void OnDropFiles(const std::vector<std::u16string>& paths);
  // A code the dialog queued with Post (base: ignored).
  virtual void OnPosted(int code);

  // Leaves the message being handled to the system's default dialog handling.
  void Default() { handled_ = false; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Dispatch(UINT message, WPARAM wparam, LPARAM lparam);

  int template_id_;
  HWND parent_;
  HWND hwnd_ = nullptr;
  bool handled_ = true;
};

// Flags of the file dialogs, as the classic dialog names them.
inline constexpr DWORD kFileMustExist = 0x1000;   // OFN_FILEMUSTEXIST
inline constexpr DWORD kOverwritePrompt = 0x0002;  // OFN_OVERWRITEPROMPT

// The Vista-style open or save dialog. `filter` is pairs of description and pattern, each part ended by
// '|', the list ended by a further '|' ("Text|*.txt|All Files (*.*)|*.*||").
class CFileDialog {
 public:
  CFileDialog(bool open, std::u16string_view default_extension, std::u16string_view file_name, DWORD flags,
              std::u16string_view filter, HWND parent = nullptr);

  // Shows the dialog (owned by the main window when no parent was given); IDOK once a file was chosen,
  // IDCANCEL when the user cancelled or the dialog could not be shown.
  INT_PTR DoModal();
  // The full path of the chosen file, after DoModal returned IDOK.
  const std::u16string& GetPathName() const { return path_; }

 protected:
  // Chooses a folder instead of a file.
  bool pick_folders_ = false;

 private:
  bool open_;
  std::u16string default_extension_;
  std::u16string file_name_;
  DWORD flags_;
  std::u16string filter_;
  HWND parent_;
  std::u16string path_;
};

// The Vista-style dialog that chooses a folder; GetPathName is the chosen folder.
class CFolderPickerDialog : public CFileDialog {
 public:
  explicit CFolderPickerDialog(HWND parent = nullptr) : CFileDialog(true, u"", u"", 0, u"", parent) {
    pick_folders_ = true;
  }
};

// Shows `text` in a message box owned by the main window, captioned with the application's name, with
// the buttons and icon of `type`; returns the button pressed.
int AfxMessageBox(std::u16string_view text, UINT type = MB_OK);

// Opens the file with the program the system associates with its type (ShellExecuteW "open"); 0 when
// the system started it, otherwise the system error code that says why not.
DWORD AfxShellOpen(std::u16string_view path);

}  // namespace recaster::app
