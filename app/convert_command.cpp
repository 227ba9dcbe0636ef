// The convert command of the main dialog: the two file dialogs around the conversion core and the
// message that ends it.
#include <exception>
#include <new>
#include <span>
#include <string>

#include "app/recaster.h"
#include "convert/convert.h"
#include "convert/source.h"
#include "fleet/fleet.h"
#include "platform/platform.h"
#include "report/report.h"
#include "settings/ov_settings.h"
#include "xml/xml_document.h"

namespace recaster::app {
namespace {

constexpr std::u16string_view kOpenFilter =
    u"Ornvale 5 - Server Configuration|ov_server_settings.cfg|All Files (*.*)|*.*||";
constexpr std::u16string_view kSaveFilter = u"Ornvale 6 - Server Configuration (*.json)|*.json|All Files (*.*)|*.*||";

constexpr std::u16string_view kSaved =
    u"The converted configuration has beed sucessfully saved. You can now import it into Ornvale Manager.";
constexpr std::u16string_view kWriteFailed = u"Failed to write converted configuration to the file path you specified.";
constexpr std::u16string_view kLoadFailed = u"Failed to read an Ornvale 5 server configuration from the file you selected.";
constexpr std::u16string_view kStopped = u"The conversion stopped on an unexpected error; no file was written.";

constexpr std::u16string_view kSameFile =
    u"The file you chose to save to is the configuration being converted; it was left as it is. Choose "
    u"another file.";
constexpr std::u16string_view kNoMemory = u"not enough memory";
constexpr std::u16string_view kNoReport = u"The report of what is left to do by hand could not be made: ";
constexpr std::u16string_view kOpenReport = u"Open the report now?";
constexpr std::u16string_view kNotOpened = u"The report could not be opened: ";

// The success message, and the report it can offer to open (empty when none was written).
struct Saved {
  std::u16string text;
  std::u16string report;
};

// The success text; when the conversion leaves anything to finish by hand, the migration report is
// written beside the destination (replacing one that is there) and a second paragraph says how much is
// left and where the report is, or why it could not be written: the conversion has succeeded either way.
Saved SavedMessage(const convert::ConversionResult& conversion, const std::u16string& source,
                   const std::u16string& destination) {
  Saved saved{std::u16string(kSaved), {}};
  try {
    const report::Report report = report::BuildReport(conversion, source);
    if (!report.LeavesAnythingBehind()) return saved;
    const std::u16string path = report::ReportPathBeside(destination);
    std::string not_written;
    if (platform::SameFile(source, path)) {
      not_written = "that file is the configuration being converted; it was left as it is";
    } else if (const platform::SystemError code =
                   convert::WriteTextFile(path, report::ToHtml(std::span(&report, 1)));
               code != platform::kSuccess) {
      not_written = convert::DescribeWriteError(code);
    }
    saved.text += u"\n\n";
    saved.text += platform::PathFromNative(report::LeftBehindMessage(report, path, not_written));
    if (not_written.empty()) saved.report = path;
  } catch (const std::exception& error) {
    saved.text += u"\n\n";
    saved.text += kNoReport;
    saved.text += platform::PathFromNative(error.what());
  }
  return saved;
}

// The success message; with a report written, it asks whether to open it.
void ShowSaved(const Saved& saved) {
  if (saved.report.empty()) {
    AfxMessageBox(saved.text, MB_OK | MB_ICONINFORMATION);
  } else {
    AskToOpenReport(saved.text, saved.report);
  }
}

// The file to convert: `given` when it names a regular file (`known`: what it named, when the caller
// looked), otherwise what the open dialog returns, starting from `given` or, without one, the default
// source; empty when the dialog was cancelled.
std::u16string ChooseSource(const std::u16string& given, const platform::PathInfo* known) {
  if (known != nullptr && known->kind == platform::PathKind::kRegularFile) return platform::AbsolutePath(given);
  CFileDialog open(true, u"cfg", given.empty() ? convert::DefaultInputPath() : given, kFileMustExist, kOpenFilter);
  return open.DoModal() == IDOK ? open.GetPathName() : std::u16string();
}

// Steps 1 to 13 of one conversion; anything else thrown leaves before the destination is opened.
void ConvertOnce(const std::u16string& given, const platform::PathInfo* known) {
  const std::u16string source = ChooseSource(given, known);
  if (source.empty()) return;

  // A file that cannot be read or is no version 5 configuration would convert as all defaults and be
  // reported as saved; it is refused instead, with the reason, and nothing is written.
  const bool chosen = known == nullptr || known->kind != platform::PathKind::kRegularFile;
  convert::SourceOutcome taken = convert::TakeSource({source, nullptr, chosen ? nullptr : known, convert::SourceStage::kTree});
  if (!taken.ok()) {
    ShowError(kLoadFailed, platform::PathFromNative(taken.reason));
    return;
  }
  const convert::ConversionResult conversion = std::move(taken.conversion);

  CFileDialog save(false, u"json", convert::DefaultOutputPath(), kOverwritePrompt, kSaveFilter);
  if (save.DoModal() != IDOK) return;
  const std::u16string destination = save.GetPathName();
  // The overwrite prompt may have been answered yes for the source itself.
  if (platform::SameFile(source, destination)) {
    AfxMessageBox(kSameFile, MB_OK | MB_ICONERROR);
    return;
  }
  platform::SystemError outcome = platform::kSuccess;
  try {
    outcome = convert::WriteConfigFile(conversion.tree, destination);
  } catch (const std::bad_alloc&) {
    ShowError(kWriteFailed, kNoMemory);
    return;
  }
  if (outcome == platform::kSuccess) {
    ShowSaved(SavedMessage(conversion, source, destination));
  } else {
    AfxMessageBox(kWriteFailed, MB_OK | MB_ICONERROR);
  }
}

// The stop message: what happened, then the error's own text on a second line.
void ShowStopped(std::string_view what) { ShowError(kStopped, platform::PathFromNative(what)); }

// An error thrown by a step (the tree library's, allocation failure) ends the command with a message
// instead of ending the program.
void ConvertGuarded(const std::u16string& given, const platform::PathInfo* known) {
  try {
    ConvertOnce(given, known);
  } catch (const std::exception& error) {
    ShowStopped(error.what());
  } catch (...) {
    ShowStopped("unknown error");
  }
}

}  // namespace

void ShowError(std::u16string_view first, std::u16string_view second) {
  std::u16string text(first);
  text += u'\n';
  text += second;
  AfxMessageBox(text, MB_OK | MB_ICONERROR);
}

void AskToOpenReport(std::u16string text, const std::u16string& report) {
  text += u"\n\n";
  text += kOpenReport;
  if (AfxMessageBox(text, MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
  if (const DWORD code = AfxShellOpen(report); code != ERROR_SUCCESS) {
    std::u16string first(kNotOpened);
    first += report;
    ShowError(first, platform::PathFromNative(platform::DescribeSystemError(code, platform::PathToNative(report))));
  }
}

void CRecasterDlg::OnBnClickedConvert() { ConvertGuarded({}, nullptr); }

void CRecasterDlg::ConvertPaths(const std::vector<std::u16string>& paths) {
  if (paths.empty()) return;
  // Each path is looked at once: what it names decides the flow and goes on with it.
  fleet::FoundSources found = fleet::FindSources(paths);
  if (paths.size() == 1 && found.usage_code == kExitOk && found.sources.size() == 1 &&
      found.sources.front().path == paths.front()) {
    const fleet::FoundSource& only = found.sources.front();
    ConvertGuarded(only.path, only.inspected ? &only.info : nullptr);
  } else {
    ConvertFleet(std::move(found), paths);
  }
}

}  // namespace recaster::app
