// The convert command of the main dialog: the two file dialogs around the conversion core and the
// message that ends it.
#include <exception>
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

// The success text; when the conversion leaves anything to finish by hand, the migration report is
// written beside the destination (replacing one that is there) and a second paragraph says how much is
// left and where the report is, or why it could not be written: the conversion has succeeded either way.
std::u16string SavedMessage(const convert::ConversionResult& conversion, const std::u16string& source,
                            const std::u16string& destination) {
  const report::Report report = report::BuildReport(conversion, source);
  if (!report.LeavesAnythingBehind()) return std::u16string(kSaved);
  const std::u16string path = report::ReportPathBeside(destination);
  const platform::SystemError written = convert::WriteTextFile(path, report::ToHtml(std::span(&report, 1)));
  std::u16string text(kSaved);
  text += u"\n\n";
  text += platform::PathFromNative(report::LeftBehindMessage(report, path, written));
  return text;
}

// Steps 1 to 13 of one conversion; anything thrown leaves before the destination is opened.
void ConvertOnce() {
  CFileDialog open(true, u"cfg", convert::DefaultInputPath(), kFileMustExist, kOpenFilter);
  if (open.DoModal() != IDOK) return;
  const std::u16string source = open.GetPathName();

  // A file that cannot be read or is no version 5 configuration would convert as all defaults and be
  // reported as saved; it is refused instead, with the loader's reason, and nothing is written.
  const convert::ConversionResult conversion = convert::BuildConfigTree(source);
  if (!conversion.load.ok()) {
    std::u16string text(kLoadFailed);
    text += u'\n';
    text += platform::PathFromNative(xml::DescribeLoadResult(conversion.load));
    AfxMessageBox(text, MB_OK | MB_ICONERROR);
    return;
  }

  CFileDialog save(false, u"json", convert::DefaultOutputPath(), kOverwritePrompt, kSaveFilter);
  if (save.DoModal() != IDOK) return;
  const std::u16string destination = save.GetPathName();
  const platform::SystemError outcome = convert::WriteConfigFile(conversion.tree, destination);
  if (outcome == platform::kSuccess) {
    AfxMessageBox(SavedMessage(conversion, source, destination), MB_OK | MB_ICONINFORMATION);
  } else {
    AfxMessageBox(kWriteFailed, MB_OK | MB_ICONERROR);
  }
}

// The stop message: what happened, then the error's own text on a second line.
void ShowStopped(std::string_view what) {
  std::u16string text(kStopped);
  text += u'\n';
  text += platform::PathFromNative(what);
  AfxMessageBox(text, MB_OK | MB_ICONERROR);
}

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
