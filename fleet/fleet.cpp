// A fleet in stages: the pool converts and stages every source, the index is written as they come in
// argument order, then the commit flushes, places and removes in one batch, and the rows are counted.
#include "fleet/fleet.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <thread>

#include "fleet/stage.h"
#include "report/fleet_view.h"
#include "report/index.h"
#include "report/report.h"
#include "report/text_out.h"

namespace recaster::fleet {
namespace {

using platform::SystemError;

// A conversion charged more than this gives the memory it held back to the system once it is let go.
constexpr std::uint64_t kLargeCharge = std::uint64_t{64} << 20;

// The pool of workers. Sources start in argument order, each once its charge fits what is left of the
// memory budget (a charge over the whole budget once nothing else is held) and it is at most a few
// sources per worker ahead of the index; its charge goes back when the index has taken it. As sources
// start in order and the index takes them in order, whatever holds the budget is ahead of the index.
class Pool {
 public:
  Pool(const FleetPlan& plan, const FleetOptions& options, std::vector<Slot>& slots)
      : plan_(plan), options_(options), slots_(slots), existing_(plan.existing.begin(), plan.existing.end()) {}
  ~Pool() { Join(); }

  void Start(unsigned jobs) {
    window_ = 4 * static_cast<std::size_t>(jobs);
    for (unsigned t = 0; t < jobs; ++t) threads_.emplace_back([this] { Work(); });
  }

  // Slot i, once its source is converted and staged.
  Slot& Wait(std::size_t i) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return slots_[i].done; });
    return slots_[i];
  }

  // The index has taken slot i.
  void Release(std::size_t i) {
    {
      std::lock_guard lock(mutex_);
      held_ -= slots_[i].charge;
      indexed_ = i + 1;
    }
    changed_.notify_all();
  }

  void Join() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

 private:
  bool MayStart(std::size_t i) const {
    if (i >= indexed_ + window_) return false;
    return held_ == 0 || held_ + slots_[i].charge <= options_.memory_budget;
  }

  void Work() {
    for (;;) {
      std::size_t i = 0;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return next_ >= slots_.size() || MayStart(next_); });
        if (next_ >= slots_.size()) return;
        i = next_++;
        held_ += slots_[i].charge;
      }
      changed_.notify_all();
      ConvertSource(plan_.sources[i], options_, existing_, slots_[i]);
      {
        std::lock_guard lock(mutex_);
        slots_[i].done = true;
      }
      changed_.notify_all();
    }
  }

  const FleetPlan& plan_;
  const FleetOptions& options_;
  std::vector<Slot>& slots_;
  const std::set<std::u16string> existing_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t window_ = 0;
  std::size_t next_ = 0;
  std::size_t indexed_ = 0;
  std::uint64_t held_ = 0;
};

// What each source is charged, from the size the plan saw (standard input: its bytes).
std::vector<Slot> SlotsFor(const FleetPlan& plan, const FleetOptions& options) {
  std::vector<Slot> slots(plan.sources.size());
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const PlannedSource& source = plan.sources[i];
    const std::uint64_t size = source.path == kStandardInput
                                   ? (options.standard_input != nullptr ? options.standard_input->bytes.size() : 0)
                                   : source.info.size;
    slots[i].charge = MemoryCharge(size);
  }
  return slots;
}

// The index, written while the sources come in argument order: index.json, index.html and index.csv.
class Index {
 public:
  Index(const FleetPlan& plan, const FleetOptions& options) : plan_(plan) {
    const std::set<std::u16string> existing(plan.existing.begin(), plan.existing.end());
    opened_ = json_file_.Open(plan.index_json, existing.count(plan.index_json) != 0);
    failed_ = &plan.index_json;
    if (opened_.ok()) {
      opened_ = html_file_.Open(plan.index_html, existing.count(plan.index_html) != 0);
      failed_ = &plan.index_html;
    }
    if (opened_.ok()) {
      opened_ = csv_file_.Open(plan.index_csv, existing.count(plan.index_csv) != 0);
      failed_ = &plan.index_csv;
    }
    if (!opened_.ok()) return;
    failed_ = nullptr;
    json_buffer_ = std::make_unique<report::SinkStreamBuf>(json_file_.sink());
    json_out_ = std::make_unique<std::ostream>(json_buffer_.get());
    json_ = std::make_unique<report::JsonReportWriter>(*json_out_, options.program_version);
    html_ = std::make_unique<report::IndexHtmlWriter>(html_file_.sink());
    csv_done_ = csv_file_.sink().Write(report::CsvHeader());
  }

  void Add(const Slot& slot);
  std::size_t distinct_to_recreate() const { return view_.distinct_to_recreate(); }
  // Ends both files: their temporaries into `staged`, or why they could not be written.
  bool Finish(const FleetTotals& totals, std::vector<Staged>* staged, std::string* why);

 private:
  const FleetPlan& plan_;
  OpenTemporary json_file_;
  OpenTemporary html_file_;
  OpenTemporary csv_file_;
  bool csv_done_ = true;  // false once index.csv's sink refused its rows
  platform::OsStatus opened_;
  const std::u16string* failed_ = nullptr;
  std::unique_ptr<report::SinkStreamBuf> json_buffer_;
  std::unique_ptr<std::ostream> json_out_;
  std::unique_ptr<report::JsonReportWriter> json_;
  std::unique_ptr<report::IndexHtmlWriter> html_;
  std::vector<report::JsonSummaryRow> summaries_;
  report::FleetView view_;
};

void Index::Add(const Slot& slot) {
  if (failed_ != nullptr) return;
  const FleetRow& row = slot.row;
  const std::u16string json_name = row.name + u".json";
  const std::u16string html_name = row.name + u".report.html";
  const std::u16string report_json_name = row.name + u".report.json";
  const report::JsonOutputs outputs{row.name, json_name, html_name, report_json_name};
  report::JsonSource part{row.path, row.absolute_path, nullptr, row.reason, row.code, &outputs};
  const bool converted = row.code == kExitOk;
  if (converted) part.conversion = &slot.conversion;
  summaries_.push_back(json_->Source(part));
  if (!converted) summaries_.back().exit_code = row.code;
  if (converted) view_.Add(row.name, slot.view);
  json_buffer_->Flush();
  if (converted && csv_done_ && slot.conversion.document != nullptr) {
    std::string rows;
    report::AppendCsvRows(row.name, row.path, *slot.conversion.document, slot.conversion.plan, rows);
    csv_done_ = csv_file_.sink().Write(rows);
  }
  html_->Row({&summaries_.back(), row.name, row.absolute_path, converted ? json_name : u"",
              converted ? html_name : u"", converted ? report_json_name : u""});
}

bool Index::Finish(const FleetTotals& totals, std::vector<Staged>* staged, std::string* why) {
  if (failed_ != nullptr) {
    *why = platform::PathToNative(*failed_) + ": " + opened_.message;
    return false;
  }
  json_->End(summaries_, &view_);
  json_.reset();
  json_out_.reset();
  const bool json_done = json_buffer_->Flush();
  const bool html_done = html_->End(totals, &view_);
  Staged json_staged;
  Staged html_staged;
  if (const SystemError code = json_file_.Close(json_done, &json_staged); code != platform::kSuccess) {
    *why = platform::PathToNative(plan_.index_json) + ": " + convert::DescribeWriteError(code);
    return false;
  }
  staged->push_back(std::move(json_staged));
  if (const SystemError code = html_file_.Close(html_done, &html_staged); code != platform::kSuccess) {
    DiscardAll(*staged);
    *why = platform::PathToNative(plan_.index_html) + ": " + convert::DescribeWriteError(code);
    return false;
  }
  staged->push_back(std::move(html_staged));
  Staged csv_staged;
  if (const SystemError code = csv_file_.Close(csv_done_, &csv_staged); code != platform::kSuccess) {
    DiscardAll(*staged);
    *why = platform::PathToNative(plan_.index_csv) + ": " + convert::DescribeWriteError(code);
    return false;
  }
  staged->push_back(std::move(csv_staged));
  return true;
}

FleetTotals CountRows(const std::vector<Slot>& slots) {
  FleetTotals totals;
  for (const Slot& slot : slots) totals.Add(slot.row.code, slot.row.summary);
  return totals;
}

// The stage and the index: every source converted on the pool while the index takes them in order.
void StageAndIndex(const FleetPlan& plan, const FleetOptions& options, const Progress& progress,
                   std::vector<Slot>& slots, Index& index) {
  Pool pool(plan, options, slots);
  const unsigned jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  pool.Start(static_cast<unsigned>(std::min<std::size_t>(jobs, slots.size())));
  for (std::size_t i = 0; i < slots.size(); ++i) {
    Slot& slot = pool.Wait(i);
    index.Add(slot);
    slot.conversion = convert::ConversionResult();
    slot.view = report::ViewSource();
    if (slot.charge > kLargeCharge) platform::ReleaseFreedMemory();
    pool.Release(i);
    if (progress) progress(i + 1, slots.size());
  }
}

void FailIndex(FleetResult& result, std::string why) {
  result.index_code = kExitWriteFailed;
  result.index_reason = std::move(why);
}

// Puts one source's temporaries in place; the first that cannot be placed stops the commit.
platform::OsStatus Place(std::vector<Staged>& staged) {
  platform::FileSystem& files = platform::Files();
  for (const Staged& file : staged) {
    platform::OsStatus placed =
        platform::RetryWhileShared(files, [&] { return files.ReplaceInBatch(file.temporary, file.destination); });
    if (!placed.ok()) {
      placed.message = platform::PathToNative(file.destination) + ": " + placed.message;
      return placed;
    }
  }
  staged.clear();
  return platform::Ok();
}

// Removes the earlier index's outputs that this call did not write again: regular files only, looked
// at once more just before.
std::size_t RemoveStale(const FleetPlan& plan) {
  std::size_t removed = 0;
  for (const std::u16string& path : plan.stale) {
    platform::PathInfo info;
    if (!platform::Files().Inspect(path, &info).ok() || info.is_link || info.kind != platform::PathKind::kRegularFile) {
      continue;
    }
    if (platform::Files().Discard(path).ok()) ++removed;
  }
  return removed;
}

// Every source's files, then the index, put in place. A file that cannot be placed stops the commit:
// what was placed keeps its new content, nothing after it is placed, and the index is not.
void PlaceAll(const FleetPlan& plan, std::vector<Slot>& slots, std::vector<Staged>& index_files, FleetResult& result) {
  const FleetRow* stopped = nullptr;
  for (Slot& slot : slots) {
    if (stopped != nullptr) {
      if (!slot.staged.empty()) {
        slot.row.code = kExitWriteFailed;
        slot.row.reason = "not put in place: the files stopped at " + platform::PathToNative(stopped->path);
      }
      DiscardAll(slot.staged);
      continue;
    }
    if (const platform::OsStatus placed = Place(slot.staged); !placed.ok()) {
      DiscardAll(slot.staged);
      slot.row.code = kExitWriteFailed;
      slot.row.reason = placed.message;
      stopped = &slot.row;
    }
  }
  if (stopped != nullptr) {
    DiscardAll(index_files);
    FailIndex(result, "not replaced, as it would list " + platform::PathToNative(stopped->path) +
                          " as converted though its files could not be put in place");
    return;
  }
  if (index_files.empty()) return;
  if (const platform::OsStatus placed = Place(index_files); !placed.ok()) {
    DiscardAll(index_files);
    FailIndex(result, placed.message);
    return;
  }
  result.index_written = true;
  result.removed = RemoveStale(plan);
}

// The commit: every temporary flushed at once, put in place, the stale outputs removed, and the folder
// flushed once. A signal that comes meanwhile lets it finish (the guard's promise).
void Commit(const FleetPlan& plan, std::vector<Slot>& slots, std::vector<Staged>& index_files, FleetResult& result,
            platform::SignalGuard* guard) {
  std::vector<std::u16string> temporaries;
  for (const Slot& slot : slots) {
    for (const Staged& file : slot.staged) temporaries.push_back(file.temporary);
  }
  for (const Staged& file : index_files) temporaries.push_back(file.temporary);
  if (const platform::OsStatus flushed = platform::Files().FlushFiles(temporaries); !flushed.ok()) {
    for (Slot& slot : slots) {
      if (slot.row.code != kExitOk) continue;
      slot.row.code = kExitWriteFailed;
      slot.row.reason = "cannot flush the files to disk: " + flushed.message;
      DiscardAll(slot.staged);
    }
    DiscardAll(index_files);
    FailIndex(result, platform::PathToNative(plan.index_json) + ": " + flushed.message);
    return;
  }
  if (guard != nullptr && !guard->BeginCommit(temporaries.size() + plan.stale.size())) return;
  PlaceAll(plan, slots, index_files, result);
  static_cast<void>(platform::Files().FlushFolder(plan.out_dir));  // the names are in place; a failure changes nothing
  if (guard != nullptr) guard->EndCommit();
}

FleetResult NotMade(const FleetPlan& plan) {
  FleetResult result;
  result.usage_code = plan.usage_code;
  result.worst = plan.usage_code;
  result.problem = plan.problem;
  result.problem_path = plan.problem_path;
  return result;
}

FleetResult Rows(std::vector<Slot>& slots, FleetResult result) {
  result.totals = CountRows(slots);
  result.worst = std::max(result.worst, result.index_code);
  for (Slot& slot : slots) {
    result.worst = std::max(result.worst, slot.row.code);
    result.rows.push_back(std::move(slot.row));
  }
  return result;
}

}  // namespace

FleetResult ConvertFleet(const FleetPlan& plan, const FleetOptions& options, const Progress& progress) {
  if (plan.usage_code != kExitOk) return NotMade(plan);
  if ((!plan.existing.empty() || !plan.stale.empty()) && !options.replace_existing) {
    FleetResult result;
    result.worst = kExitNotReplaced;
    result.existing = plan.existing;
    result.existing.insert(result.existing.end(), plan.stale.begin(), plan.stale.end());
    result.problem_path = plan.out_dir;
    return result;
  }
  FleetResult result;
  result.index_html = plan.index_html;
  result.index_json = plan.index_json;
  std::unique_ptr<platform::SignalGuard> guard;
  if (options.guard_signals) guard = std::make_unique<platform::SignalGuard>();
  std::vector<Slot> slots = SlotsFor(plan, options);
  std::vector<Staged> index_files;
  {
    Index index(plan, options);
    StageAndIndex(plan, options, progress, slots, index);
    const FleetTotals totals = CountRows(slots);
    if (totals.converted == 0) return Rows(slots, std::move(result));  // nothing is written, no index
    result.distinct_to_recreate = index.distinct_to_recreate();
    if (std::string why; !index.Finish(totals, &index_files, &why)) FailIndex(result, std::move(why));
  }
  Commit(plan, slots, index_files, result, guard.get());
  if (!result.index_written) result.distinct_to_recreate = 0;
  return Rows(slots, std::move(result));
}

FleetResult ConvertFleet(std::span<const std::u16string> arguments, std::u16string_view out_dir,
                         const FleetOptions& options, const Progress& progress) {
  return ConvertFleet(PlanFleet(arguments, out_dir), options, progress);
}

}  // namespace recaster::fleet
