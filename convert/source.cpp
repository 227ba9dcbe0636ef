// The one source step: kind, read, load, plan, and the words of a refusal.
#include "convert/source.h"

#include <memory>
#include <new>
#include <utility>

#include "settings/ov_settings.h"

namespace recaster::convert {
namespace {

constexpr std::string_view kNotReadable = "not a readable Ornvale 5 server configuration: ";

// A path that cannot name a file: a usage error. A file the system keeps us from: unreadable.
bool NamesNoFile(platform::SystemError code) {
  return code == platform::kFileNotFound || code == platform::kPathNotFound || code == platform::kFilenameTooLong ||
         code == platform::kInvalidName || code == platform::kCantResolveName;
}

// Whether what the path names can be a source, as the open dialog insists on an existing regular file.
void CheckKind(const platform::OsStatus& found, SourceOutcome& outcome) {
  if (!found.ok()) {
    outcome.code = NamesNoFile(found.code) ? kExitUsage : kExitUnreadable;
    outcome.reason = NamesNoFile(found.code) ? found.message : "cannot open the file: " + found.message;
    return;
  }
  switch (outcome.info.kind) {
    case platform::PathKind::kRegularFile: return;
    case platform::PathKind::kMissing:
      outcome.code = kExitUsage;
      outcome.reason = platform::DescribeSystemError(platform::kFileNotFound);
      return;
    case platform::PathKind::kDirectory:
      outcome.code = kExitUsage;
      outcome.reason = "is a folder, not a file";
      return;
    case platform::PathKind::kOther: break;
  }
  outcome.code = kExitUsage;
  outcome.reason = "not a regular file";
}

// The loader's reason in the system's own words, without the Windows code the loader adds to it.
std::string LoadFailureReason(const xml::XmlLoadResult& result) {
  if (result.system_message.empty()) return xml::DescribeLoadResult(result);
  return std::string(xml::DescribeXmlError(result.error)) + ": " + result.system_message;
}

void Load(const SourceRequest& request, SourceOutcome& outcome) {
  ConversionResult& conversion = outcome.conversion;
  try {
    BeginStep(ConversionStep::kLoad);
    auto document = std::make_unique<settings::COVSettings>();
    conversion.load = request.input != nullptr ? document->LoadFromBytesWithResult(request.input->bytes)
                                               : document->LoadFromFileWithResult(std::u16string(request.path));
    if (conversion.load.ok()) conversion.document = std::move(document);
  } catch (const std::bad_alloc&) {
    conversion = ConversionResult();
    outcome.code = kExitUnreadable;
    outcome.reason = "not enough memory";
    return;
  }
  if (!conversion.load.ok()) {
    outcome.code = kExitUnreadable;
    outcome.reason = LoadFailureReason(conversion.load);
    outcome.load_failed = true;
  }
}

}  // namespace

std::string SourceOutcome::RowReason() const { return load_failed ? std::string(kNotReadable) + reason : reason; }

SourceOutcome TakeSource(const SourceRequest& request) {
  SourceOutcome outcome;
  if (IsStandardInput(request.path)) {
    if (request.input == nullptr || !request.input->status.ok()) {
      outcome.code = kExitUnreadable;
      outcome.reason = request.input == nullptr ? platform::DescribeSystemError(platform::kInvalidHandle)
                                                : request.input->status.message;
      return outcome;
    }
  } else {
    if (request.known != nullptr) {
      outcome.info = *request.known;
      CheckKind(platform::Ok(), outcome);
    } else {
      CheckKind(platform::Files().Inspect(std::u16string(request.path), &outcome.info), outcome);
    }
    if (!outcome.ok()) return outcome;
  }
  SourceRequest load = request;
  if (!IsStandardInput(request.path)) load.input = nullptr;
  Load(load, outcome);
  if (!outcome.ok() || request.until == SourceStage::kLoad) return outcome;
  try {
    BeginStep(ConversionStep::kMap);
    if (request.until == SourceStage::kPlan) {
      PlanConversion(outcome.conversion);
    } else {
      MapConversion(outcome.conversion);
    }
  } catch (const std::bad_alloc&) {
    outcome.conversion = ConversionResult();
    outcome.code = kExitUnreadable;
    outcome.reason = "not enough memory";
  }
  return outcome;
}

}  // namespace recaster::convert
