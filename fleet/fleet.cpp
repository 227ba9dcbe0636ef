// Many sources converted into one folder: the plan, the pool of threads, the batch of replacements
// and the index.
#include "fleet/fleet.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <ostream>
#include <streambuf>
#include <thread>

#include "convert/convert.h"
#include "platform/platform.h"
#include "report/index.h"
#include "report/report.h"
#include "report/text_out.h"
#include "settings/ov_settings.h"

namespace recaster::fleet {
namespace {

using platform::SystemError;
using Producer = std::function<bool(convert::TextSink&)>;

// A path that cannot name a file: kNoSuchFile. A file the system keeps us from: kUnreadable.
bool NamesNoFile(SystemError code) {
  return code == platform::kFileNotFound || code == platform::kPathNotFound || code == platform::kFilenameTooLong ||
         code == platform::kInvalidName || code == platform::kCantResolveName;
}

// Whether the path names a regular file, in the command line's words when it does not.
int CheckSource(const std::u16string& path, platform::PathInfo* info, std::string* why) {
  if (const platform::OsStatus found = platform::Files().Inspect(path, info); !found.ok()) {
    *why = NamesNoFile(found.code) ? found.message : "cannot open the file: " + found.message;
    return NamesNoFile(found.code) ? kNoSuchFile : kUnreadable;
  }
  switch (info->kind) {
    case platform::PathKind::kRegularFile: return kConverted;
    case platform::PathKind::kMissing:
      *why = platform::DescribeSystemError(platform::kFileNotFound);
      return kNoSuchFile;
    case platform::PathKind::kDirectory: *why = "is a folder, not a file"; return kNoSuchFile;
    case platform::PathKind::kOther: break;
  }
  *why = "not a regular file";
  return kNoSuchFile;
}

std::string LoadFailureReason(const xml::XmlLoadResult& result) {
  if (result.system_message.empty()) return xml::DescribeLoadResult(result);
  return std::string(xml::DescribeXmlError(result.error)) + ": " + result.system_message;
}

// The file's size, or 0 when it cannot be told (the load then says why).
std::uint64_t SizeOf(const std::u16string& path) {
  platform::FileSystem& files = platform::Files();
  platform::FileHandle handle = platform::kNoFile;
  if (!files.OpenForReading(path, &handle).ok()) return 0;
  const platform::ScopedFile file(files, handle);
  std::uint64_t size = 0;
  return files.FileSize(file.get(), &size).ok() ? size : 0;
}

// A temporary file that is being written or waits for its place.
struct Staged {
  std::u16string temporary;
  std::u16string destination;
};

// A temporary beside the destination, open for writing. A destination that existed when the call was
// planned is looked at again: a link there is followed, a folder or a device refuses (as Windows refuses
// to replace them); one that did not is left to the replacement, which never follows a link.
class OpenTemporary {
 public:
  SystemError Open(const std::u16string& destination, bool existed) {
    platform::FileSystem& files = platform::Files();
    staged_.destination = destination;
    if (existed) {
      platform::PathInfo info;
      if (const platform::OsStatus found = files.Inspect(destination, &info); !found.ok()) return found.code;
      if (info.kind == platform::PathKind::kDirectory || info.kind == platform::PathKind::kOther) {
        return platform::kAccessDenied;
      }
      staged_.destination = info.target;
    }
    platform::FileHandle handle = platform::kNoFile;
    if (const platform::OsStatus created = files.CreateTemporary(staged_.destination, &staged_.temporary, &handle);
        !created.ok()) {
      return created.code;
    }
    file_ = std::make_unique<platform::ScopedFile>(files, handle);
    sink_ = std::make_unique<convert::HandleSink>(files, handle);
    return platform::kSuccess;
  }
  ~OpenTemporary() {
    file_.reset();
    if (!staged_.temporary.empty()) static_cast<void>(platform::Files().Discard(staged_.temporary));
  }

  convert::HandleSink& sink() { return *sink_; }

  // Closes the file; the temporary is then the caller's to place or discard.
  SystemError Close(bool produced, Staged* staged) {
    file_.reset();
    SystemError result = sink_->result();
    if (result == platform::kSuccess && !produced) result = convert::kWriteFault;
    if (result != platform::kSuccess) return result;
    *staged = std::move(staged_);
    staged_ = Staged();
    return platform::kSuccess;
  }

 private:
  Staged staged_;
  std::unique_ptr<platform::ScopedFile> file_;
  std::unique_ptr<convert::HandleSink> sink_;
};

SystemError Stage(const std::u16string& destination, bool existed, const Producer& produce,
                  std::vector<Staged>* staged) {
  OpenTemporary temporary;
  if (const SystemError opened = temporary.Open(destination, existed); opened != platform::kSuccess) return opened;
  const bool produced = produce(temporary.sink());
  Staged done;
  const SystemError closed = temporary.Close(produced, &done);
  if (closed == platform::kSuccess) staged->push_back(std::move(done));
  return closed;
}

void DiscardAll(std::vector<Staged>& staged) {
  for (const Staged& file : staged) static_cast<void>(platform::Files().Discard(file.temporary));
  staged.clear();
}

std::u16string FileName(std::u16string_view name, std::u16string_view suffix) {
  return std::u16string(name) + std::u16string(suffix);
}

// One source on its way: converted by a worker, then read by the index in argument order.
struct Slot {
  FleetRow row;
  convert::ConversionResult conversion;
  std::vector<Staged> staged;
  bool done = false;
};

class Run {
 public:
  Run(const FleetPlan& plan, const FleetOptions& options)
      : plan_(plan), options_(options), existing_(plan.existing.begin(), plan.existing.end()) {}

  void Convert(std::size_t i) {
    Slot& slot = slots_[i];
    const PlannedSource& source = plan_.sources[i];
    slot.row.path = source.path;
    slot.row.absolute_path = source.absolute_path;
    slot.row.name = source.name;
    slot.row.outputs = source.outputs;
    try {
      ConvertSource(source, slot);
    } catch (const std::bad_alloc&) {
      DiscardAll(slot.staged);
      slot.conversion = convert::ConversionResult();
      if (slot.row.code == kConverted) slot.row.code = kWriteFailed;
      slot.row.reason = "not enough memory";
    }
  }

  std::vector<Slot> slots_;

 private:
  void ConvertSource(const PlannedSource& source, Slot& slot) {
    FleetRow& row = slot.row;
    const bool from_input = source.path == kStandardInput;
    std::unique_lock<std::mutex> large(large_, std::defer_lock);
    if (!from_input) {
      platform::PathInfo info;
      if ((row.code = CheckSource(source.path, &info, &row.reason)) != kConverted) return;
      if (SizeOf(source.path) > kLargeSourceBytes) large.lock();
    }
    auto document = std::make_unique<settings::COVSettings>();
    try {
      slot.conversion.load = from_input ? document->LoadFromBytesWithResult(options_.standard_input)
                                        : document->LoadFromFileWithResult(source.path);
    } catch (const std::bad_alloc&) {
      row.code = kUnreadable;
      row.reason = "not enough memory";
      return;
    }
    if (!slot.conversion.load.ok()) {
      row.code = kUnreadable;
      row.reason = "not a readable Ornvale 5 server configuration: " + LoadFailureReason(slot.conversion.load);
      return;
    }
    slot.conversion.document = std::move(document);
    convert::MapConversion(slot.conversion);
    const convert::ConversionResult& conversion = slot.conversion;
    if (std::string problem = convert::JsonProblem(conversion.tree); !problem.empty()) {
      row.code = kWriteFailed;
      row.reason = "cannot produce the JSON text: " + problem;
      return;
    }
    const mapping::Plan& plan = conversion.plan;
    row.summary = mapping::Summarize(plan);

    const std::u16string* failed = nullptr;
    SystemError code = Stage(source.outputs.json, Existed(source.outputs.json), [&](convert::TextSink& sink) {
      return convert::WriteJson(conversion.tree, sink);
    }, &slot.staged);
    if (code != platform::kSuccess) failed = &source.outputs.json;
    if (failed == nullptr) {
      const report::Report whole = report::BuildReport(conversion, source.path);
      code = Stage(source.outputs.report_html, Existed(source.outputs.report_html), [&](convert::TextSink& sink) {
        const std::unique_ptr<report::ReportPieces> pieces = report::HtmlPieces(sink);
        return pieces->Begin({&whole, 1}) && pieces->Next(whole) && pieces->End();
      }, &slot.staged);
      if (code != platform::kSuccess) failed = &source.outputs.report_html;
    }
    if (failed == nullptr) {
      code = Stage(source.outputs.report_json, Existed(source.outputs.report_json), [&](convert::TextSink& sink) {
        report::SinkStreamBuf buffer(sink);
        std::ostream out(&buffer);
        report::JsonReportWriter writer(out, options_.program_version);
        writer.Source({source.path, source.absolute_path, &conversion, {}, kConverted, nullptr});
        writer.End({});
        return buffer.Flush();
      }, &slot.staged);
      if (code != platform::kSuccess) failed = &source.outputs.report_json;
    }
    if (failed != nullptr) {
      DiscardAll(slot.staged);
      row.code = kWriteFailed;
      row.reason = platform::PathToNative(*failed) + ": " + convert::DescribeWriteError(code);
    }
  }

  bool Existed(const std::u16string& output) const { return existing_.count(output) != 0; }

  const FleetPlan& plan_;
  const FleetOptions& options_;
  const std::set<std::u16string> existing_;
  std::mutex large_;
};

report::JsonSummaryRow SummaryOf(const FleetRow& row) {
  report::JsonSummaryRow summary;
  summary.path = row.path;
  summary.converted = row.code == kConverted;
  summary.reason = row.reason;
  summary.exit_code = row.code;
  summary.summary = row.summary;
  return summary;
}

// Two looks at one existing regular file, however each was named.
bool SameExisting(const platform::PathInfo& a, const platform::PathInfo& b) {
  return a.kind == platform::PathKind::kRegularFile && b.kind == platform::PathKind::kRegularFile && a.id == b.id &&
         a.id != platform::FileId{};
}

FleetResult Refused(const FleetPlan& plan) {
  FleetResult result;
  result.usage_code = plan.usage_code;
  result.worst = plan.usage_code;
  result.problem = plan.problem;
  result.problem_path = plan.problem_path;
  return result;
}

}  // namespace

FleetPlan PlanFleet(std::span<const std::u16string> sources, std::u16string_view out_dir) {
  FleetPlan plan;
  plan.out_dir = std::u16string(out_dir);
  const auto usage = [&plan](std::u16string path, std::string why) {
    plan.usage_code = kNoSuchFile;
    plan.problem_path = std::move(path);
    plan.problem = std::move(why);
    return plan;
  };
  if (sources.empty()) return usage(plan.out_dir, "no source to convert");
  platform::PathInfo folder;
  if (const platform::OsStatus found = platform::Files().Inspect(plan.out_dir, &folder); !found.ok()) {
    return usage(plan.out_dir, found.message);
  }
  if (folder.kind != platform::PathKind::kDirectory && folder.kind != platform::PathKind::kMissing) {
    return usage(plan.out_dir, "is not a folder");
  }

  std::vector<std::u16string> absolute;
  std::vector<platform::PathInfo> infos(sources.size());
  bool input_named = false;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (sources[i] == kStandardInput) {
      if (input_named) return usage(u"-", "standard input can be read only once");
      input_named = true;
      absolute.emplace_back(kStandardInput);
      continue;
    }
    absolute.push_back(platform::AbsolutePath(sources[i]));
    static_cast<void>(platform::Files().Inspect(sources[i], &infos[i]));  // a failure is the source's row
    for (std::size_t j = 0; j < i; ++j) {
      if (SameExisting(infos[i], infos[j]) || absolute[i] == absolute[j]) {
        return usage(sources[i], "is named twice (also as " + platform::PathToNative(sources[j]) + ")");
      }
    }
  }
  const std::vector<std::u16string> names = AssignNames(absolute);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    PlannedSource planned{sources[i], absolute[i], names[i], {}};
    planned.outputs.json = platform::JoinPath(plan.out_dir, FileName(names[i], u".json"));
    planned.outputs.report_html = platform::JoinPath(plan.out_dir, FileName(names[i], u".report.html"));
    planned.outputs.report_json = platform::JoinPath(plan.out_dir, FileName(names[i], u".report.json"));
    plan.sources.push_back(std::move(planned));
  }
  plan.index_html = platform::JoinPath(plan.out_dir, u"index.html");
  plan.index_json = platform::JoinPath(plan.out_dir, u"index.json");

  // What exists already, and whether a source would be overwritten.
  const auto look = [&](const std::u16string& output) -> bool {
    platform::PathInfo info;
    if (!platform::Files().Inspect(output, &info).ok()) return true;  // told when it is written
    if (info.kind == platform::PathKind::kMissing && !info.is_link) return true;
    for (std::size_t i = 0; i < sources.size(); ++i) {
      if (SameExisting(info, infos[i])) {
        usage(sources[i], "is also an output (" + platform::PathToNative(output) + "); choose another folder");
        return false;
      }
    }
    plan.existing.push_back(output);
    return true;
  };
  for (const PlannedSource& source : plan.sources) {
    if (!look(source.outputs.json) || !look(source.outputs.report_html) || !look(source.outputs.report_json)) {
      return plan;
    }
  }
  if (!look(plan.index_json) || !look(plan.index_html)) return plan;
  return plan;
}

FleetResult ConvertFleet(const FleetPlan& plan, const FleetOptions& options, const Progress& progress) {
  if (plan.usage_code != 0) return Refused(plan);
  if (!plan.existing.empty() && !options.replace_existing) {
    FleetResult result;
    result.worst = kNotReplaced;
    result.existing = plan.existing;
    result.problem_path = plan.out_dir;
    return result;
  }
  FleetResult result;
  result.index_html = plan.index_html;
  result.index_json = plan.index_json;
  const auto fail_index = [&result](const std::u16string& path, std::string why) {
    result.index_code = kWriteFailed;
    result.index_reason = platform::PathToNative(path) + ": " + std::move(why);
    result.worst = std::max(result.worst, kWriteFailed);
  };
  if (const platform::OsStatus made = platform::Files().CreateFolder(plan.out_dir); !made.ok()) {
    result.problem = "cannot create the folder: " + made.message;
    result.problem_path = plan.out_dir;
    fail_index(plan.out_dir, made.message);
    return result;
  }

  // The index is written as the sources come, in argument order.
  OpenTemporary index_json;
  OpenTemporary index_html;
  const std::set<std::u16string> existing(plan.existing.begin(), plan.existing.end());
  SystemError index_opened = index_json.Open(plan.index_json, existing.count(plan.index_json) != 0);
  const std::u16string* index_failed = index_opened != platform::kSuccess ? &plan.index_json : nullptr;
  if (index_failed == nullptr) {
    index_opened = index_html.Open(plan.index_html, existing.count(plan.index_html) != 0);
    if (index_opened != platform::kSuccess) index_failed = &plan.index_html;
  }
  std::unique_ptr<report::SinkStreamBuf> json_buffer;
  std::unique_ptr<std::ostream> json_out;
  std::unique_ptr<report::JsonReportWriter> json_writer;
  std::unique_ptr<report::IndexHtmlWriter> html_writer;
  if (index_failed == nullptr) {
    json_buffer = std::make_unique<report::SinkStreamBuf>(index_json.sink());
    json_out = std::make_unique<std::ostream>(json_buffer.get());
    json_writer = std::make_unique<report::JsonReportWriter>(*json_out, options.program_version, "1.1");
    html_writer = std::make_unique<report::IndexHtmlWriter>(index_html.sink());
  }

  const std::size_t total = plan.sources.size();
  Run run(plan, options);
  run.slots_.resize(total);
  unsigned threads = options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, total));
  // Workers run at most this far ahead of the index, so that few conversions wait in memory for it.
  const std::size_t window = 4 * static_cast<std::size_t>(threads);
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next = 0;
  std::size_t indexed = 0;
  const auto work = [&] {
    for (;;) {
      std::size_t i = 0;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return next >= total || next < indexed + window; });
        if (next >= total) return;
        i = next++;
      }
      if (plan.sources[i].path != kStandardInput && SizeOf(plan.sources[i].path) > kLargeSourceBytes) {
        // A large source waits until every source before it has gone through the index, so that at
        // most one large conversion is held in memory however many follow.
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return indexed == i; });
      }
      run.Convert(i);
      {
        std::lock_guard lock(mutex);
        run.slots_[i].done = true;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work);

  std::vector<report::JsonSummaryRow> summaries;
  for (std::size_t i = 0; i < total; ++i) {
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return run.slots_[i].done; });
    }
    Slot& slot = run.slots_[i];
    const FleetRow& row = slot.row;
    const std::u16string json_name = FileName(row.name, u".json");
    const std::u16string html_name = FileName(row.name, u".report.html");
    const std::u16string report_json_name = FileName(row.name, u".report.json");
    if (json_writer != nullptr) {
      const report::JsonOutputs outputs{row.name, json_name, html_name, report_json_name};
      report::JsonSource part{row.path, row.absolute_path, nullptr, row.reason, row.code, &outputs};
      if (row.code == kConverted) part.conversion = &slot.conversion;
      summaries.push_back(json_writer->Source(part));
      if (row.code != kConverted) summaries.back().exit_code = row.code;
      json_buffer->Flush();
      const bool converted = row.code == kConverted;
      html_writer->Row({&summaries.back(), row.name, row.absolute_path, converted ? json_name : u"",
                        converted ? html_name : u"", converted ? report_json_name : u""});
    } else {
      summaries.push_back(SummaryOf(row));
    }
    slot.conversion = convert::ConversionResult();
    {
      std::lock_guard lock(mutex);
      indexed = i + 1;
    }
    changed.notify_all();
    if (progress) progress(i + 1, total);
  }
  for (std::thread& thread : pool) thread.join();

  for (Slot& slot : run.slots_) {
    result.totals.Add(slot.row.code, slot.row.summary);
    result.worst = std::max(result.worst, slot.row.code);
  }
  std::vector<Staged> index_files;
  if (index_failed == nullptr) {
    json_writer->End(summaries);
    json_writer.reset();
    json_out.reset();
    const bool json_done = json_buffer->Flush();
    const bool html_done = html_writer->End(result.totals);
    Staged json_file;
    Staged html_file;
    if (const SystemError code = index_json.Close(json_done, &json_file); code != platform::kSuccess) {
      fail_index(plan.index_json, convert::DescribeWriteError(code));
    } else {
      index_files.push_back(std::move(json_file));
    }
    if (const SystemError code = index_html.Close(html_done, &html_file); code != platform::kSuccess) {
      fail_index(plan.index_html, convert::DescribeWriteError(code));
    } else {
      index_files.push_back(std::move(html_file));
    }
    if (result.index_code != kConverted) DiscardAll(index_files);
  } else {
    fail_index(*index_failed, convert::DescribeWriteError(index_opened));
  }

  // Every temporary flushed at once, then each put in place (the index last), then the folder flushed once.
  platform::FileSystem& files = platform::Files();
  std::vector<std::u16string> temporaries;
  for (const Slot& slot : run.slots_) {
    for (const Staged& file : slot.staged) temporaries.push_back(file.temporary);
  }
  for (const Staged& file : index_files) temporaries.push_back(file.temporary);
  if (const platform::OsStatus flushed = files.FlushFiles(temporaries); !flushed.ok()) {
    for (Slot& slot : run.slots_) {
      if (slot.row.code != kConverted) continue;
      slot.row.code = kWriteFailed;
      slot.row.reason = "cannot flush the files to disk: " + flushed.message;
      DiscardAll(slot.staged);
    }
    DiscardAll(index_files);
    fail_index(plan.index_json, flushed.message);
  }
  const auto place = [&files](std::vector<Staged>& staged) -> platform::OsStatus {
    for (std::size_t k = 0; k < staged.size(); ++k) {
      const Staged& file = staged[k];
      platform::OsStatus placed =
          platform::RetryWhileShared(files, [&] { return files.ReplaceInBatch(file.temporary, file.destination); });
      if (!placed.ok()) {
        placed.message = platform::PathToNative(file.destination) + ": " + placed.message;
        for (std::size_t rest = k; rest < staged.size(); ++rest) {
          static_cast<void>(files.Discard(staged[rest].temporary));
        }
        staged.clear();
        return placed;
      }
    }
    staged.clear();
    return platform::Ok();
  };
  const FleetRow* unplaced = nullptr;  // the first source whose files could not be put in place
  for (Slot& slot : run.slots_) {
    if (const platform::OsStatus placed = place(slot.staged); !placed.ok()) {
      slot.row.code = kWriteFailed;
      slot.row.reason = placed.message;
      if (unplaced == nullptr) unplaced = &slot.row;
    }
  }
  if (unplaced != nullptr && !index_files.empty()) {
    // The index was written while the sources were converted, and lists this one as converted: it
    // would say what is not so. It is not put in place; the rows and the exit code tell.
    DiscardAll(index_files);
    fail_index(plan.index_json, "not replaced, as it would list " + platform::PathToNative(unplaced->path) +
                                    " as converted though its files could not be put in place");
  } else if (const platform::OsStatus placed = place(index_files); !placed.ok()) {
    result.index_code = kWriteFailed;
    result.index_reason = placed.message;
  }
  static_cast<void>(files.FlushFolder(plan.out_dir));  // the names are in place; a failure here changes nothing

  result.totals = FleetTotals();
  result.worst = result.index_code;
  for (Slot& slot : run.slots_) {
    result.totals.Add(slot.row.code, slot.row.summary);
    result.worst = std::max(result.worst, slot.row.code);
    result.rows.push_back(std::move(slot.row));
  }
  return result;
}

FleetResult ConvertFleet(std::span<const std::u16string> sources, std::u16string_view out_dir,
                         const FleetOptions& options, const Progress& progress) {
  return ConvertFleet(PlanFleet(sources, out_dir), options, progress);
}

}  // namespace recaster::fleet
