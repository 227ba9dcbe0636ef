// Several files, or a folder of them, dropped on the program or the main dialog: converted into one
// folder on a thread of their own, and the message with the totals that ends it.
#include <exception>
#include <string>
#include <thread>
#include <utility>

#include "app/recaster.h"
#include "fleet/fleet.h"
#include "platform/platform.h"

namespace recaster::app {

// The conversion while it runs: its thread, and what it ended with.
struct CRecasterDlg::FleetJob {
  std::thread worker;
  fleet::FleetResult result;
  std::string stopped;  // the error that stopped it, if one was thrown
};

namespace {

constexpr std::u16string_view kNoneFound = u"No Ornvale 5 server configuration (ov_server_settings.cfg) was found in:";
constexpr std::u16string_view kNotStarted = u"The configurations were not converted:";
constexpr std::u16string_view kStopped = u"The conversion stopped on an unexpected error; some files may be missing:";

std::u16string Number(std::size_t n) { return platform::PathFromNative(std::to_string(n)); }

// "Converted 3 of 4 configurations; 1 refused." and the settings to re-create (with the distinct values
// among them, as the index's view counts them, when the index was written) and the values to check, as
// the totals say.
std::u16string Totals(const fleet::FleetResult& result) {
  const fleet::FleetTotals& totals = result.totals;
  std::u16string text = u"Converted " + Number(totals.converted) + u" of " + Number(totals.sources) +
                        (totals.sources == 1 ? u" configuration" : u" configurations");
  if (totals.refused != 0) text += u"; " + Number(totals.refused) + u" refused";
  if (totals.write_failed != 0) text += u"; " + Number(totals.write_failed) + u" not written";
  text += u".\n" + Number(totals.to_recreate) +
          (totals.to_recreate == 1 ? u" setting must" : u" settings must") + u" be re-created by hand in Ornvale Manager";
  if (result.distinct_to_recreate != 0) {
    text += u" (" + Number(result.distinct_to_recreate) +
            (result.distinct_to_recreate == 1 ? u" distinct value" : u" distinct values") + u" among them)";
  }
  if (totals.adjustments != 0) {
    text += u", and " + Number(totals.adjustments) + (totals.adjustments == 1 ? u" value" : u" values") +
            u" to check, adjusted to fit version 6";
  }
  return text + u".";
}

}  // namespace

void CRecasterDlg::EndFleetJob::operator()(FleetJob* job) const {
  if (job->worker.joinable()) job->worker.join();
  delete job;
}

void CRecasterDlg::ConvertFleet(fleet::FoundSources found, const std::vector<std::u16string>& paths) {
  if (m_fleet != nullptr) return;
  if (found.usage_code != kExitOk || found.sources.empty()) {
    std::u16string where;
    for (const std::u16string& path : paths) where += (where.empty() ? u"" : u"\n") + path;
    ShowError(kNoneFound, where);
    return;
  }
  CFolderPickerDialog folder;
  if (folder.DoModal() != IDOK) return;
  fleet::FleetPlan plan = fleet::PlanFleet(std::move(found), folder.GetPathName());
  if (plan.usage_code != kExitOk) {
    ShowError(kNotStarted, plan.problem_path + u": " + platform::PathFromNative(plan.problem));
    return;
  }
  if (plan.Replacing() != 0) {
    const std::size_t count = plan.Replacing();
    const std::u16string question = u"Replace " + Number(count) + (count == 1 ? u" file" : u" files") + u" in " +
                                    plan.out_dir + u"?";
    if (AfxMessageBox(question, MB_YESNO | MB_ICONWARNING) != IDYES) return;
  }
  std::unique_ptr<FleetJob, EndFleetJob> job(new FleetJob);
  ::EnableWindow(GetSafeHwnd(), FALSE);
  job->worker = std::thread([this, job = job.get(), plan = std::move(plan)] {
    fleet::FleetOptions options;
    options.program_version = RECASTER_VERSION;
    options.replace_existing = true;
    try {
      job->result = fleet::ConvertFleet(plan, options);
    } catch (const std::exception& error) {
      job->stopped = error.what();
    } catch (...) {
      job->stopped = "unknown error";
    }
    Post(kFleetDone);
  });
  m_fleet = std::move(job);
}

void CRecasterDlg::OnFleetDone() {
  if (m_fleet == nullptr) return;
  const std::unique_ptr<FleetJob, EndFleetJob> job = std::move(m_fleet);
  job->worker.join();
  ::EnableWindow(GetSafeHwnd(), TRUE);
  const fleet::FleetResult& result = job->result;
  if (!job->stopped.empty()) {
    ShowError(kStopped, platform::PathFromNative(job->stopped));
  } else if (!result.problem.empty()) {
    ShowError(kNotStarted, result.problem_path + u": " + platform::PathFromNative(result.problem));
  } else if (result.totals.converted == 0) {
    ShowError(Totals(result), u"No configuration was converted; nothing was written.");
  } else if (result.index_code != kExitOk) {
    ShowError(Totals(result), u"The index could not be written to " + platform::AbsolutePath(result.index_html) +
                                         u": " + platform::PathFromNative(result.index_reason));
  } else {
    const std::u16string index = platform::AbsolutePath(result.index_html);
    AskToOpenReport(Totals(result) + u"\n\nThe index lists every server with its files:\n" + index, index);
  }
}

}  // namespace recaster::app
