// The convert command of the main dialog: the two file dialogs around the conversion core and the
// message that ends it.
#include <exception>
#include <new>
#include <span>
#include <string>

#include "app/recaster.h"
#include "convert/convert.h"
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

void ShowError(std::u16string_view first, std::u16string_view second) {
  std::u16string text(first);
  text += u'\n';
  text += second;
  AfxMessageBox(text, MB_OK | MB_ICONERROR);
}

// The success text; when the conversion leaves anything to finish by hand, the migration report is
// written beside the destination (replacing one that is there) and a second paragraph says how much is
// left and where the report is, or why it could not be written: the conversion has succeeded either way.
std::u16string SavedMessage(const convert::ConversionResult& conversion, const std::u16string& source,
                            const std::u16string& destination) {
  std::u16string text(kSaved);
  try {
    const report::Report report = report::BuildReport(conversion, source);
    if (!report.LeavesAnythingBehind()) return text;
    const std::u16string path = report::ReportPathBeside(destination);
    std::string not_written;
    if (platform::SameFile(source, path)) {
      not_written = "that file is the configuration being converted; it was left as it is";
    } else if (const platform::SystemError code =
                   convert::WriteTextFile(path, report::ToHtml(std::span(&report, 1)));
               code != platform::kSuccess) {
      not_written = convert::DescribeWriteError(code);
    }
    text += u"\n\n";
    text += platform::PathFromNative(report::LeftBehindMessage(report, path, not_written));
  } catch (const std::exception& error) {
    text += u"\n\n";
    text += kNoReport;
    text += platform::PathFromNative(error.what());
  }
  return text;
}

// Steps 1 to 13 of one conversion; anything else thrown leaves before the destination is opened.
void ConvertOnce() {
  CFileDialog open(true, u"cfg", convert::DefaultInputPath(), kFileMustExist, kOpenFilter);
  if (open.DoModal() != IDOK) return;
  const std::u16string source = open.GetPathName();

  // A file that cannot be read or is no version 5 configuration would convert as all defaults and be
  // reported as saved; it is refused instead, with the loader's reason, and nothing is written.
  convert::ConversionResult conversion;
  try {
    conversion = convert::BuildConfigTree(source);
  } catch (const std::bad_alloc&) {
    ShowError(kLoadFailed, kNoMemory);
    return;
  }
  if (!conversion.load.ok()) {
    ShowError(kLoadFailed, platform::PathFromNative(xml::DescribeLoadResult(conversion.load)));
    return;
  }

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
    AfxMessageBox(SavedMessage(conversion, source, destination), MB_OK | MB_ICONINFORMATION);
  } else {
    AfxMessageBox(kWriteFailed, MB_OK | MB_ICONERROR);
  }
}

// The stop message: what happened, then the error's own text on a second line.
void ShowStopped(std::string_view what) { ShowError(kStopped, platform::PathFromNative(what)); }

}  // namespace

// An error thrown by a step (the tree library's, allocation failure) ends the command with a message
// instead of ending the program.
void CRecasterDlg::OnBnClickedConvert() {
  try {
    ConvertOnce();
  } catch (const std::exception& error) {
    ShowStopped(error.what());
  } catch (...) {
    ShowStopped("unknown error");
  }
}

}  // namespace recaster::app
