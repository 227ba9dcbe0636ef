// `recaster check` in memory (the reading left out) beside Boost.JSON's parse of the very same bytes,
// measured with Google Benchmark on two files of 16 MiB: a hand-made one of listeners, and the
// conversion of a source whose bind address fills it (two strings of 8 million U+0001, written as
// \u0001). The goals: the check at most 2 and 5 times the parse.
//   bench_check [--benchmark_filter=...] [other Google Benchmark flags]
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

#include <benchmark/benchmark.h>
#include <boost/json/parse.hpp>

#include "check/check.h"
#include "convert/convert.h"
#include "mapping/mapping.h"
#include "settings/ov_settings.h"
#include "tests/support/xml_writer.h"
#include "xml/xml_document.h"

namespace {

constexpr std::size_t kBytes = std::size_t{16} << 20;

// Listeners as `convert` writes them, UDP and TCP in turn, in one "interfaces" array of about kBytes.
std::string Interfaces() {
  const std::string udp =
      "            {\n                \"addr\": \"192.0.2.10\",\n                \"port\": \"1514\",\n"
      "                \"max_msg_len\": \"8192\",\n                \"socket_buffer_size\": \"1048576\",\n"
      "                \"max_session_history\": \"1000\",\n                \"type\": \"udp\"\n            }";
  const std::string tcp =
      "            {\n                \"addr\": \"2001:db8::10\",\n                \"port\": \"1601\",\n"
      "                \"max_msg_len\": \"8192\",\n                \"socket_buffer_size\": \"1048576\",\n"
      "                \"max_session_history\": \"1000\",\n                \"disconnect_inactive_sec\": \"0\",\n"
      "                \"disconnect_oldest\": \"false\",\n                \"max_concurrent_sessions\": \"250\",\n"
      "                \"detect_octet_count\": \"true\",\n                \"separate_by_cr_lf\": \"false\",\n"
      "                \"type\": \"tcp\"\n            }";
  std::string text = "{\n    \"network\": {\n        \"interfaces\": [\n";
  for (bool odd = false; text.size() < kBytes; odd = !odd) text += (odd ? tcp : udp) + ",\n";
  text += udp + "\n        ]\n    },\n    \"storage\": {\n        \"folder\": \"\",\n        \"keep_days\": \"365\",\n"
                "        \"keep_gbs\": \"10000\",\n        \"check_period\": \"360\",\n        \"flush_period\": \"500\",\n"
                "        \"hours_per_file\": \"24\"\n    }\n}\n";
  return text;
}

// The conversion of a source of kBytes whose IPv4 bind address of U+0001 fills it, UDP and TCP on.
std::string LongestAddressConversion() {
  std::u16string text(recaster::testing::kXmlDeclaration);
  text += u"<RIZavoza><Network><Ipv4BindAny>0</Ipv4BindAny><Ipv6>0</Ipv6><Udp>1</Udp><Tcp>1</Tcp><Ipv4BindAddr text=\"";
  text.append(kBytes / 2 - text.size() - 40, u'\x0001');
  text += u"\"/></Network></RIZavoza>";
  recaster::xml::XmlDocument document(u"RIZavoza");
  if (!document.LoadFromBytes("\xFF\xFE" + recaster::testing::ToUtf16LeBytes(text)).ok()) return {};
  recaster::settings::COVSettings settings;
  settings.Load(document, false);
  return recaster::convert::ConfigTreeToJson(recaster::mapping::PlanToTree(recaster::mapping::MakePlan(settings)));
}

void Check(benchmark::State& state, const std::string* bytes) {
  for (auto _ : state) {
    const recaster::check::CheckResult result = recaster::check::CheckDocument(*bytes, {});
    benchmark::DoNotOptimize(result.errors);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes->size()));
}

void BoostParse(benchmark::State& state, const std::string* bytes) {
  for (auto _ : state) {
    boost::json::error_code error;
    boost::json::value value = boost::json::parse(*bytes, error);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes->size()));
}

// Keeps each run's processor time per iteration, by name, for the goals table (the machine is shared, so the
// processor time says more than the wall time).
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) ms[run.benchmark_name()] = run.GetAdjustedCPUTime();  // in ms, the unit set
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> ms;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string interfaces = Interfaces();
  const std::string longest = LongestAddressConversion();
  if (longest.empty()) return 1;
  const struct {
    const char* name;
    const std::string* bytes;
    double goal;
  } files[] = {{"interfaces", &interfaces, 2}, {"longest_address", &longest, 5}};
  for (const auto& file : files) {
    benchmark::RegisterBenchmark((std::string("check/") + file.name).c_str(), Check, file.bytes)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("boost_json/") + file.name).c_str(), BoostParse, file.bytes)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::Shutdown();
  std::printf("\n%-16s %10s %11s %11s %7s %5s\n", "file", "MiB", "check ms", "parse ms", "ratio", "goal");
  for (const auto& file : files) {
    const double check = collector.ms[std::string("check/") + file.name];
    const double parse = collector.ms[std::string("boost_json/") + file.name];
    std::printf("%-16s %10.1f %11.1f %11.1f %7.2f %5.0f\n", file.name, file.bytes->size() / 1048576.0, check, parse,
                parse > 0 ? check / parse : 0.0, file.goal);
  }
  return 0;
}
