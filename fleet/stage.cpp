// One source of a fleet: taken, converted, and written to temporaries that wait for the commit.
#include "fleet/stage.h"

#include <new>
#include <ostream>

#include "convert/verify.h"
#include "platform/platform.h"
#include "report/report.h"
#include "report/text_out.h"

namespace recaster::fleet {
namespace {

using platform::SystemError;
using Producer = std::function<bool(text::TextSink&)>;

// Why a file could not be written: the system's words where it said why, else the writer's text.
platform::OsStatus WriteFailure(SystemError code) { return {code, convert::DescribeWriteError(code)}; }

// The file written to a temporary that waits for its place; with `verify`, flushed and read back first,
// and removed unless it holds what that plan says.
platform::OsStatus StageFile(const std::u16string& destination, bool existed, const Producer& produce,
                             std::vector<Staged>* staged, const mapping::Plan* verify = nullptr) {
  OpenTemporary temporary;
  if (platform::OsStatus opened = temporary.Open(destination, existed); !opened.ok()) return opened;
  const bool produced = produce(temporary.sink());
  if (verify != nullptr && produced) {
    if (platform::OsStatus flushed = temporary.Flush(); !flushed.ok()) return flushed;
  }
  Staged done;
  const SystemError closed = temporary.Close(produced, &done);
  if (closed != platform::kSuccess) return WriteFailure(closed);
  if (verify != nullptr) {
    const convert::Verification verified = convert::VerifyFile(platform::Files(), done.temporary, *verify);
    if (!verified.ok()) {
      static_cast<void>(platform::Files().Discard(done.temporary));  // the write has failed already
      return {verified.code, verified.problem};
    }
  }
  staged->push_back(std::move(done));
  return platform::Ok();
}

// The three files of a converted source; the first that cannot be written names itself in the row.
void WriteOutputs(const PlannedSource& source, const FleetOptions& options, const std::set<std::u16string>& existing,
                  Slot& slot) {
  const convert::ConversionResult& conversion = slot.conversion;
  const auto existed = [&existing](const std::u16string& output) { return existing.count(output) != 0; };
  const std::u16string* failed = &source.outputs.json;
  platform::OsStatus written = StageFile(source.outputs.json, existed(source.outputs.json), [&](text::TextSink& sink) {
    return convert::WriteJson(conversion.tree, sink);
  }, &slot.staged, options.verify ? &conversion.plan : nullptr);
  if (written.ok()) {
    failed = &source.outputs.report_html;
    const report::Report whole = report::BuildReport(conversion, source.path);
    written = StageFile(source.outputs.report_html, existed(source.outputs.report_html), [&](text::TextSink& sink) {
      const std::unique_ptr<report::ReportPieces> pieces = report::HtmlPieces(sink);
      return pieces->Begin({&whole, 1}) && pieces->Next(whole) && pieces->End();
    }, &slot.staged);
  }
  if (written.ok()) {
    failed = &source.outputs.report_json;
    written = StageFile(source.outputs.report_json, existed(source.outputs.report_json), [&](text::TextSink& sink) {
      report::SinkStreamBuf buffer(sink);
      std::ostream out(&buffer);
      report::JsonReportWriter writer(out, options.program_version);
      writer.Source({source.path, source.absolute_path, &conversion, {}, kExitOk, nullptr});
      writer.End({});
      return buffer.Flush();
    }, &slot.staged);
  }
  if (written.ok()) slot.view = report::ViewOf(conversion);
  if (!written.ok()) {
    DiscardAll(slot.staged);
    slot.row.code = kExitWriteFailed;
    slot.row.reason = platform::PathToNative(*failed) + ": " + written.message;
  }
}

void Convert(const PlannedSource& source, const FleetOptions& options, const std::set<std::u16string>& existing,
             Slot& slot) {
  FleetRow& row = slot.row;
  convert::SourceOutcome taken = convert::TakeSource(
      {source.path, options.standard_input, source.inspected ? &source.info : nullptr, convert::SourceStage::kTree});
  if (!taken.ok()) {
    row.code = taken.code;
    row.reason = taken.RowReason();
    return;
  }
  slot.conversion = std::move(taken.conversion);
  if (std::string problem = convert::JsonProblem(slot.conversion.tree); !problem.empty()) {
    row.code = kExitWriteFailed;
    row.reason = "cannot produce the JSON text: " + problem;
    return;
  }
  row.summary = mapping::Summarize(slot.conversion.plan);
  WriteOutputs(source, options, existing, slot);
}

}  // namespace

OpenTemporary::~OpenTemporary() {
  file_.reset();
  if (!staged_.temporary.empty()) static_cast<void>(platform::Files().Discard(staged_.temporary));
}

platform::OsStatus OpenTemporary::Open(const std::u16string& destination, bool existed) {
  platform::FileSystem& files = platform::Files();
  staged_.destination = destination;
  if (existed) {
    platform::PathInfo info;
    if (platform::OsStatus found = files.Inspect(destination, &info); !found.ok()) return found;
    if (info.kind == platform::PathKind::kDirectory || info.kind == platform::PathKind::kOther) {
      return WriteFailure(platform::kAccessDenied);
    }
    staged_.destination = info.target;
  }
  platform::FileHandle handle = platform::kNoFile;
  if (platform::OsStatus created = files.CreateTemporary(staged_.destination, &staged_.temporary, &handle);
      !created.ok()) {
    return created;
  }
  file_ = std::make_unique<platform::ScopedFile>(files, handle);
  sink_ = std::make_unique<convert::HandleSink>(files, handle);
  return platform::Ok();
}

platform::OsStatus OpenTemporary::Flush() { return platform::Files().Flush(file_->get()); }

SystemError OpenTemporary::Close(bool produced, Staged* staged) {
  file_.reset();
  SystemError result = sink_->result();
  if (result == platform::kSuccess && !produced) result = convert::kWriteFault;
  if (result != platform::kSuccess) return result;
  *staged = std::move(staged_);
  staged_ = Staged();
  return platform::kSuccess;
}

void DiscardAll(std::vector<Staged>& staged) {
  for (const Staged& file : staged) static_cast<void>(platform::Files().Discard(file.temporary));
  staged.clear();
}

void ConvertSource(const PlannedSource& source, const FleetOptions& options, const std::set<std::u16string>& existing,
                   Slot& slot) {
  slot.row.path = source.path;
  slot.row.absolute_path = source.absolute_path;
  slot.row.name = source.name;
  slot.row.outputs = source.outputs;
  try {
    Convert(source, options, existing, slot);
  } catch (const std::bad_alloc&) {
    DiscardAll(slot.staged);
    slot.conversion = convert::ConversionResult();
    slot.view.clear();
    if (slot.row.code == kExitOk) slot.row.code = kExitWriteFailed;
    slot.row.reason = "not enough memory";
  }
}

}  // namespace recaster::fleet
