// The report command: the migration report of one or more version 5 files on standard output.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <ostream>
#include <streambuf>

#include "cli/commands.h"
#include "convert/convert.h"
#include "fleet/fleet.h"
#include "mapping/mapping.h"
#include "platform/platform.h"
#include "report/report.h"
#include "report/text_out.h"
#include "settings/ov_settings.h"

namespace recaster::cli {
namespace {

// ---- the suggested command line ----

// One character of a path: its code point and its native bytes; `raw` when it must not reach a
// command line as it is: made visible, or a byte that is no UTF-8 (kept as a lone U+DC80 to U+DCFF).
struct Piece {
  char32_t c = 0;
  std::string bytes;
  bool raw = false;
};

std::vector<Piece> PiecesOf(std::u16string_view path) {
  std::vector<Piece> pieces;
  for (std::size_t i = 0; i < path.size();) {
    std::size_t units = 1;
    char32_t c = path[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
      c = 0x10000 + (((c & 0x3FF) << 10) | (path[i + 1] & 0x3FF));
      units = 2;
    }
    const bool lone_byte = units == 1 && c >= 0xDC80 && c <= 0xDCFF;
    pieces.push_back({c, platform::PathToNative(path.substr(i, units)), words::IsHiddenCharacter(c) || lone_byte});
    i += units;
  }
  return pieces;
}

bool PlainInPosixShell(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("./_-+:,@").find(c) != std::string_view::npos;
}

// The bytes in single quotes, a quote written as '\''.
std::string PosixQuoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The path as one word of a POSIX shell: bare when plain, otherwise single-quoted, each character
// that must not be raw written by printf as the octal of its bytes. A command substitution drops the
// line feeds it ends with, so a line feed takes the character after it into its printf.
std::string PosixWord(const std::vector<Piece>& pieces) {
  const bool plain = !pieces.empty() && std::all_of(pieces.begin(), pieces.end(), [](const Piece& piece) {
    return piece.bytes.size() == 1 && PlainInPosixShell(piece.bytes[0]);
  });
  std::string word;
  std::string quoted;
  for (std::size_t i = 0; i < pieces.size();) {
    if (!pieces[i].raw) {
      quoted += pieces[i++].bytes;
      continue;
    }
    if (!quoted.empty()) word += plain ? quoted : PosixQuoted(quoted);
    quoted.clear();
    std::string octal;
    const auto add = [&octal](const std::string& bytes) {
      for (const char b : bytes) {
        const auto byte = static_cast<unsigned char>(b);
        octal += {'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + ((byte >> 3) & 7)),
                  static_cast<char>('0' + (byte & 7))};
      }
    };
    for (; i < pieces.size() && pieces[i].raw; ++i) add(pieces[i].bytes);
    if (pieces[i - 1].c == U'\n' && i < pieces.size()) add(pieces[i++].bytes);
    word += "\"$(printf '" + octal + "')\"";
  }
  if (!quoted.empty()) word += plain ? quoted : PosixQuoted(quoted);
  return word;
}

// PowerShell reads these as single quotes too; in a single-quoted string each is doubled.
bool PowerShellQuote(char32_t c) { return c == U'\'' || (c >= 0x2018 && c <= 0x201B); }

// The text as one PowerShell argument: in single quotes, each quote doubled; a character that must
// not be raw joins the quoted runs as [char]0xXXXX in a parenthesised sum that starts with a string,
// so that + joins text instead of adding numbers.
std::string PowerShellWord(std::u16string_view text) {
  const std::vector<Piece> pieces = PiecesOf(text);
  std::vector<std::string> terms;
  std::string quoted;
  bool open = false;
  for (const Piece& piece : pieces) {
    if (piece.raw) {
      if (open) terms.push_back(quoted + "'");
      open = false;
      char hex[8];
      static constexpr char kDigits[] = "0123456789ABCDEF";
      for (int shift = 12, k = 0; shift >= 0; shift -= 4, ++k) hex[k] = kDigits[(piece.c >> shift) & 0xF];
      terms.push_back("[char]0x" + std::string(hex, 4));
      continue;
    }
    if (!open) quoted = "'";
    open = true;
    quoted += piece.bytes;
    if (PowerShellQuote(piece.c)) quoted += piece.bytes;
  }
  if (open) terms.push_back(quoted + "'");
  if (terms.empty()) return "''";
  if (terms.size() == 1 && terms.front().front() == '\'') return terms.front();
  std::string sum = terms.front().front() == '\'' ? "(" : "('' + ";
  for (std::size_t i = 0; i < terms.size(); ++i) sum += (i == 0 ? "" : " + ") + terms[i];
  return sum + ")";
}

// ---- the report ----

constexpr ExitCode kReportExitCodes[] = {kExitOk, kExitWriteFailed, kExitUsage, kExitUnreadable, kExitLeftBehind};

// The report of one source, and the exit code it earns; what went wrong is told on `io`.
report::Report ReportOf(const std::u16string& source, const StandardInput& input, Console& io, int* code) {
  const convert::SourceOutcome taken = TakeSource(source, input, convert::SourceStage::kPlan);
  *code = taken.code;
  if (!taken.ok()) {
    TellRefusal(source, taken, io);
    return report::UnreadReport(source, taken.RowReason());
  }
  return report::BuildReport(taken.conversion, source);
}

// What tells one content of a file from another: the file, its size and a hash of its bytes.
struct Stamp {
  platform::FileId id;
  std::uint64_t size = 0;
  std::uint64_t hash = 0;
  bool known = false;

  bool Same(const Stamp& other) const {
    return known && other.known && id == other.id && size == other.size && hash == other.hash;
  }
};

// The stamp of the regular file `path` names now; not known when it names none or cannot be read (a
// FIFO is never opened: its reader would wait for a writer and take the bytes meant for the loader).
Stamp StampOf(const std::u16string& path, const StandardInput& input) {
  platform::FileSystem& files = platform::Files();
  Stamp stamp;
  if (IsStandardInput(path)) {  // read once and kept: it cannot change
    stamp.size = input.bytes.size();
    stamp.known = true;
    return stamp;
  }
  platform::PathInfo info;
  platform::FileHandle handle = platform::kNoFile;
  if (!files.Inspect(path, &info).ok() || info.kind != platform::PathKind::kRegularFile ||
      !files.OpenForReading(path, &handle).ok()) {
    return stamp;
  }
  const platform::ScopedFile file(files, handle);
  stamp.id = info.id;
  std::uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a
  std::vector<unsigned char> buffer(1u << 16);
  for (;;) {
    std::uint32_t read = 0;
    if (!files.Read(file.get(), buffer.data(), static_cast<std::uint32_t>(buffer.size()), &read).ok()) return stamp;
    if (read == 0) break;
    for (std::uint32_t i = 0; i < read; ++i) hash = (hash ^ buffer[i]) * 0x100000001B3u;
    stamp.size += read;
  }
  stamp.hash = hash;
  stamp.known = true;
  return stamp;
}


std::unique_ptr<report::ReportPieces> PiecesFor(const ReportOptions& opt, StandardOutput& output) {
  return opt.html || opt.format == "html" ? report::HtmlPieces(output) : report::MarkdownPieces(output);
}

// Every source in turn as one JSON document, each written as it is converted and let go; with
// several sources the summary follows them, so one pass suffices. A source that is refused is in the
// document with its reason and its exit code, and told on standard error as every command tells it.
int ReportJson(const std::vector<std::u16string>& sources, const StandardInput& input, const ReportOptions& opt,
               Console& io) {
  StandardOutput output(io);
  report::SinkStreamBuf buffer(output);
  std::ostream out(&buffer);
  report::JsonReportWriter writer(out, opt.program_version);
  std::vector<report::JsonSummaryRow> rows;
  int worst = kExitOk;
  for (const std::u16string& source : sources) {
    const std::u16string absolute = IsStandardInput(source) ? source : platform::AbsolutePath(source);
    const convert::SourceOutcome taken = TakeSource(source, input, convert::SourceStage::kPlan);
    const std::string why = taken.ok() ? std::string() : taken.RowReason();
    report::JsonSource part{source, absolute, taken.ok() ? &taken.conversion : nullptr, why, taken.code};
    if (!taken.ok()) TellRefusal(source, taken, io);
    worst = std::max(worst, part.exit_code);
    rows.push_back(writer.Source(part));
    if (!buffer.Flush()) return output.code();
  }
  writer.End(sources.size() > 1 ? std::span<const report::JsonSummaryRow>(rows) : std::span<const report::JsonSummaryRow>());
  if (!buffer.Flush()) return output.code();
  mapping::Totals work;
  for (const report::JsonSummaryRow& row : rows) work.Add(row.code(), row.summary);
  return opt.detailed_exitcode ? DetailedExitCode(worst, work) : worst;
}

// Every source in turn as rows of one CSV table, each written as it is converted and let go; a source
// that is refused has no row and is told on standard error as every command tells it. Each server is
// named as a fleet names it (fleet::AssignNames).
int ReportCsv(const std::vector<std::u16string>& sources, const StandardInput& input, const ReportOptions& opt,
              Console& io) {
  std::vector<std::u16string> absolute;
  for (const std::u16string& source : sources) {
    absolute.push_back(IsStandardInput(source) ? source : platform::AbsolutePath(source));
  }
  const std::vector<std::u16string> names = fleet::AssignNames(absolute);
  StandardOutput output(io);
  if (!output.Write(report::CsvHeader())) return output.code();
  int worst = kExitOk;
  mapping::Totals work;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const convert::SourceOutcome taken = TakeSource(sources[i], input, convert::SourceStage::kPlan);
    worst = std::max(worst, static_cast<int>(taken.code));
    if (!taken.ok() || taken.conversion.document == nullptr) {
      if (!taken.ok()) TellRefusal(sources[i], taken, io);
      work.Add(taken.code, mapping::Summary());
      continue;
    }
    std::string rows;
    report::AppendCsvRows(names[i], sources[i], *taken.conversion.document, taken.conversion.plan, rows);
    if (!output.Write(rows)) return output.code();
    work.Add(kExitOk, mapping::Summarize(taken.conversion.plan));
  }
  return opt.detailed_exitcode ? DetailedExitCode(worst, work) : worst;
}

// Several sources in two passes, so that only one source's report exists at a time: the first keeps
// each loaded report's figures for the summary (an unread source's report is small and kept whole);
// the second builds each report again, writes it and lets it go. A file whose bytes differ between the
// passes is not reported, since its summary row may tell of other content.
int ReportSeveral(const std::vector<std::u16string>& sources, const StandardInput& input, const ReportOptions& opt,
                  Console& io) {
  std::vector<report::Report> summaries;
  std::vector<Stamp> stamps;
  int worst = kExitOk;
  for (const std::u16string& source : sources) {
    stamps.push_back(StampOf(source, input));
    int code = kExitOk;
    summaries.push_back(ReportOf(source, input, io, &code));
    if (summaries.back().loaded) summaries.back().blocks = std::vector<report::Block>();
    worst = std::max(worst, code);
  }

  StandardOutput output(io);
  const std::unique_ptr<report::ReportPieces> pieces = PiecesFor(opt, output);
  if (!pieces->Begin(summaries)) return output.code();
  std::ostream nowhere(nullptr);
  Console quiet{io.in, io.out, nowhere, io.in_is_terminal, io.describe_out_error, false, io.read_in};
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (!summaries[i].loaded) {
      if (!pieces->Next(summaries[i])) return output.code();
      continue;
    }
    int code = kExitOk;
    report::Report whole = ReportOf(sources[i], input, quiet, &code);
    if (code != kExitOk || !StampOf(sources[i], input).Same(stamps[i])) {
      convert::SourceOutcome changed;
      changed.code = kExitUnreadable;
      changed.reason = "changed while being read";
      worst = std::max(worst, TellRefusal(sources[i], changed, io));
      whole = report::UnreadReport(sources[i], "changed while being read");
    }
    if (!pieces->Next(whole)) return output.code();
  }
  if (!pieces->End()) return output.code();
  mapping::Totals work;
  for (const report::Report& r : summaries) work.Add(r.loaded ? kExitOk : kExitUnreadable, r.summary);
  return opt.detailed_exitcode ? DetailedExitCode(worst, work) : worst;
}

}  // namespace

std::string PosixReportCommand(std::u16string_view source) {
  std::vector<Piece> pieces = PiecesOf(source);
  const std::string options = !pieces.empty() && pieces.front().c == U'-' ? "-- " : "";
  if (pieces.empty() || pieces.back().c != U'\n') return "recaster report " + options + PosixWord(pieces);
  // No quoting keeps a final line feed through a command substitution: a dot follows it there and is
  // taken off again.
  pieces.push_back({U'.', ".", false});
  return "(set -- " + PosixWord(pieces) + "; recaster report " + options + "\"${1%.}\")";
}

std::string PowerShellReportCommand(std::u16string_view program, std::u16string_view source) {
  const std::string options = !source.empty() && source.front() == u'-' ? "'--' " : "";
  return "& " + PowerShellWord(program) + " report " + options + PowerShellWord(source);
}

std::string ReportCommandFor(const std::u16string& source) {
#ifdef _WIN32
  return PowerShellReportCommand(platform::ProgramPath(), source);
#else
  return PosixReportCommand(source);
#endif
}

void setup_report(CLI::App& app, ReportOptions& opt) {
  auto* report = app.add_subcommand(
      "report", "Print what version 6 takes over and every setting to re-create by hand, with its values");
  report->footer(
      "Each setting that differs from its default and is not carried over is marked and counted once, a list as\n"
      "one; filters read in words, passwords only as set or not set. Several sources: a summary table first,\n"
      "then each report in turn; a source that changes meanwhile reads \"changed while being read\".\n"
      + ExitCodesFooter(kReportExitCodes) + " With several sources, the worst of them.\n" +
      "The JSON document (--format json) follows docs/report.schema.json, format_version 1.2. The CSV table\n"
      "(--format csv) is UTF-8 without a byte-order mark: server,source,group,setting,value,default,status.\n"
      "Examples:\n"
      "  recaster report ov_server_settings.cfg | less\n"
      "  recaster report --html servers/*/ov_server_settings.cfg > fleet.html\n"
      "  recaster report --format json servers/*/ov_server_settings.cfg | jq '.summary.totals.to_recreate'"
      "\n  recaster report --format csv servers/*/ov_server_settings.cfg > fleet.csv");
  report->add_option("--format", opt.format, "markdown (the default), html (one self-contained page), json (one document) or csv (one row per "
                     "setting to re-create or value to check)")
      ->check(CLI::IsMember({"markdown", "html", "json", "csv"}));
  report->add_flag("--html", opt.html, "The same as --format html");
  report->add_flag("--detailed-exitcode", opt.detailed_exitcode,
                   "Exit with 5 instead of 0 when settings remain to re-create by hand or values to check");
  report
      ->add_option("SOURCE", opt.sources,
                   "The version 5 files, - for standard input; with several, a summary table comes first (default: " +
                       Display(convert::DefaultInputPath()) + ")")
      ->check(NotEmpty());
}

int run_report(const ReportOptions& opt, Console& io) {
  std::vector<std::u16string> sources;
  for (const std::string& source : opt.sources) sources.push_back(platform::PathFromNative(source));
  if (sources.empty()) sources.push_back(convert::DefaultInputPath());
  if (opt.html && (opt.format == "json" || opt.format == "csv")) {
    io.err << "recaster: report: --html cannot be combined with --format " << opt.format << "\n";
    return kExitUsage;
  }
  StandardInput input;
  const auto from_input = std::count_if(sources.begin(), sources.end(), IsStandardInput);
  if (from_input > 1) return StandardInputTwice(io);
  if (from_input == 1) {
    if (int code = ReadStandardInputOnce(io, &input); code != kExitOk) return code;
  }
  if (opt.format == "json") return ReportJson(sources, input, opt, io);
  if (opt.format == "csv") return ReportCsv(sources, input, opt, io);
  if (sources.size() > 1) return ReportSeveral(sources, input, opt, io);

  // One source: nothing on standard output when it cannot be reported.
  int code = kExitOk;
  const report::Report whole = ReportOf(sources.front(), input, io, &code);
  if (code != kExitOk) return code;
  StandardOutput output(io);
  const std::unique_ptr<report::ReportPieces> pieces = PiecesFor(opt, output);
  if (pieces->Begin({&whole, 1}) && pieces->Next(whole)) pieces->End();
  return opt.detailed_exitcode ? DetailedExitCode(output.code(), whole.summary) : output.code();
}

}  // namespace recaster::cli
