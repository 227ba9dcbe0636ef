// The check's JSON document, written by the one JSON writer with the escaping of documents a person
// or a JSON reader takes.
#include "check/json_output.h"

#include <vector>

#include "words/words.h"

namespace recaster::check {
namespace {

const text::JsonEscaping& Escaping() {
  static const text::JsonEscaping escaping = text::CharacterEscaping(&words::IsHiddenCharacter);
  return escaping;
}

}  // namespace

JsonOutput::JsonOutput(text::TextSink& sink) : writer_(sink, text::JsonLayout{2, false}, Escaping()) {
  writer_.Open('{');
  writer_.Key("format_version").String(kJsonFormatVersion);
  writer_.Key("files").Open('[');
}

void JsonOutput::Head(std::u16string_view path, bool valid, std::size_t errors, std::size_t warnings) {
  writer_.Item().Open('{');
  writer_.Key("path").String(path);
  writer_.Key("valid").Bool(valid);
  writer_.Key("error_count").Number(errors);
  writer_.Key("warning_count").Number(warnings);
}

void JsonOutput::File(std::u16string_view path, std::string_view bytes, const CheckResult& result) {
  Head(path, result.valid(), result.errors, result.warnings);
  writer_.Key("diagnostics").Open('[');
  const std::vector<Position> positions = PositionsOf(bytes, result.findings);
  for (std::size_t i = 0; i < result.findings.size(); ++i) {
    const Finding& finding = result.findings[i];
    writer_.Item().Open('{');
    writer_.Key("severity").String(finding.severity == Severity::kError ? "error" : "warning");
    writer_.Key("pointer").String(finding.pointer);
    writer_.Key("line").Number(positions[i].line);
    writer_.Key("column").Number(positions[i].column);
    writer_.Key("message").String(finding.message);
    writer_.Close('}');
  }
  writer_.Close(']');
  writer_.Close('}');
}

void JsonOutput::Unreadable(std::u16string_view path, std::string_view why) {
  Head(path, false, 0, 0);
  writer_.Key("diagnostics").Open('[');
  writer_.Close(']');
  writer_.Key("read_error").String(why);
  writer_.Close('}');
}

bool JsonOutput::Finish() {
  writer_.Close(']');
  writer_.Close('}');
  writer_.Raw('\n');
  return writer_.Finish();
}

}  // namespace recaster::check
