// File: app/recaster.h - the Windows program: its application object, main dialog and About box.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/framework.h"
#include "fleet/fleet.h"

namespace recaster::app {

// The application: runs the main dialog once and ends when it closes.
class CRecasterApp : public CWinApp {
 public:
  // Initialises the common controls, runs the main dialog modally and returns false whatever it returned.
  bool InitInstance() override;
};

// The main dialog (IDD_RECASTER_DIALOG): the convert button, Close, and the About entry of the system menu.
class CRecasterDlg : public CDialog {
 public:
  // Loads the application icon; the dialog has no parent. The files in `start` (the program's
  // arguments) are converted as if dropped on the dialog, once it is shown.
  explicit CRecasterDlg(std::vector<std::u16string> start = {});

  // One conversion: open dialog, load, map, save dialog, write, one message. Nothing is kept after it.
  void OnBnClickedConvert();
  // Several files, or the version 5 files named ov_server_settings.cfg below a folder (`found`, as
  // fleet::FindSources found them in `paths`), converted into one folder that a folder dialog chooses,
  // with an index. The conversion runs off the window's thread with the dialog disabled; a message
  // gives the totals and asks to open the index.
  void ConvertFleet(fleet::FoundSources found, const std::vector<std::u16string>& paths);

 protected:
  // Adds the About entry to the system menu and sets the icons; the focus goes to the first tab stop.
  bool OnInitDialog() override;
  // The About entry (whatever its low four bits) opens the About box; other commands go on to the system.
  void OnSysCommand(UINT id, POINT where) override;
  // Draws the icon centred while minimised; otherwise the system paints.
  void OnPaint() override;
  // The application icon.
  HCURSOR OnQueryDragIcon() override;
  // Control 1000 runs OnBnClickedConvert; the rest as the dialog does.
  void OnClicked(int id) override;
  // One file dropped is converted as if the open dialog had returned it (a path that names no regular
  // file opens the open dialog with it as the file name); several, or a folder, ConvertFleet.
  void OnDropFiles(const std::vector<std::u16string>& paths) override;
  // The start files, once the dialog is shown; the end of a conversion of several files.
  void OnPosted(int code) override;

 private:
  struct FleetJob;
  struct EndFleetJob {
    void operator()(FleetJob* job) const;  // waits for its thread
  };

  void ConvertPaths(const std::vector<std::u16string>& paths);
  void OnFleetDone();

  HICON m_hIcon;
  std::vector<std::u16string> m_start;
  std::unique_ptr<FleetJob, EndFleetJob> m_fleet;  // the conversion of several files while it runs
};

// The About box (IDD_ABOUTBOX), with nothing of its own.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
};

// Shows `text`, then "Open the report now?", with Yes and No; Yes opens `report` with the program the
// system opens its type with, and a failure to start it is said in a second message.
void AskToOpenReport(std::u16string text, const std::u16string& report);

// An error message: what failed, then why on a second line.
void ShowError(std::u16string_view first, std::u16string_view second);

// What the main dialog posts itself.
inline constexpr int kConvertStartFiles = 1;  // convert the files it was started with
inline constexpr int kFleetDone = 2;          // the conversion of several files has ended

}  // namespace recaster::app
