// Loading and converting settings files of 16 KiB, 1 MiB and 16 MiB, measured with Google Benchmark:
// our loader beside pugixml on the very same UTF-16LE bytes, the whole conversion (load, settings,
// mapping, JSON text), crafted files against the well-formed file of their size, and the peak memory
// of each on the largest file (each in a fresh child process). A summary table follows the run, then
// the peak memory and time of `recaster convert` and `recaster show` on hostile files of the size limit.
//   bench_recaster [--no_hostile] [--benchmark_filter=...] [other Google Benchmark flags]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include "bench/bench_files.h"
#include "cli/cli.h"
#include "convert/convert.h"
#include "mapping/mapping.h"
#include "settings/ov_settings.h"
#include "xml/xml_document.h"

namespace {

using recaster::xml::XmlDocument;
using recaster::xml::XmlLoadResult;

struct Size {
  const char* label;
  std::size_t bytes;
};
constexpr Size kSizes[] = {{"16KiB", 16u << 10}, {"1MiB", 1u << 20}, {"16MiB", 16u << 20}};

XmlLoadResult LoadOnce(const std::string& bytes) {
  XmlDocument document(u"RIZavoza");
  return document.LoadFromBytes(bytes);  // the tree's destruction is part of the cost
}

bool PugixmlOnce(const std::string& bytes) {
  pugi::xml_document document;
  return document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf16_le);
}

// Bytes to JSON text as a conversion does it; the length of the text.
std::size_t ConvertOnce(const std::string& bytes) {
  XmlDocument document(u"RIZavoza");
  if (!document.LoadFromBytes(bytes).ok()) return 0;
  recaster::settings::COVSettings settings;
  settings.Load(document, false);
  const recaster::tree::ConfigTree tree = recaster::mapping::PlanToTree(recaster::mapping::MakePlan(settings));
  return recaster::convert::ConfigTreeToJson(tree).size();
}

// --- peak memory, measured in a child process that does one thing on a file ---

// The peak resident set of this process since it started its program, in KiB (VmHWM: unlike
// ru_maxrss it does not carry the forking parent's peak across exec).
long OwnPeakKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Takes whatever is written to it, as a terminal would.
class Discard : public std::streambuf {
 protected:
  int overflow(int c) override { return c == EOF ? 0 : c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Runs one recaster command line as the program does, its output thrown away; the exit code.
int RunCommand(const std::vector<std::string>& args) {
  Discard discard;
  std::ostream out(&discard), err(&discard);
  std::istringstream in;
  recaster::cli::Console console{in, out, err, false};
  return recaster::cli::RunRecaster(args, console);
}

// Does `mode` on the file and prints "<peak KiB> <milliseconds> <exit code>". The modes "show" and
// "convert-file" are the commands `recaster show FILE` and `recaster convert -f -q FILE FILE.json`;
// the others read the file first (the time leaves the reading out).
int MeasureInChild(std::string_view mode, const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  int code = 0;
  if (mode == "show") {
    code = RunCommand({"show", path});
  } else if (mode == "convert-file") {
    code = RunCommand({"convert", "-f", "-q", path, path + ".json"});
    std::remove((path + ".json").c_str());
  } else {
    // Read into a string of the file's size, so that no freed room is left for what follows to reuse.
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
    in.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bool ok = !bytes.empty() && in;
    if (mode == "load") ok = LoadOnce(bytes).ok();
    if (mode == "convert") ok = ConvertOnce(bytes) != 0;
    if (mode == "pugixml") ok = PugixmlOnce(bytes);
    code = ok ? 0 : 1;
  }
  const std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - start;
  std::printf("%ld %.1f %d\n", OwnPeakKiB(), ms.count(), code);
  return 0;
}

struct Measured {
  long kib = -1;   // peak resident set; -1 when the child could not be run
  double ms = 0;   // the time of the work, without the program's start
  int exit_code = -1;
};

// A fresh run of this program doing `mode` on the file.
Measured MeasureFresh(const std::string& mode, const std::string& path) {
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return {};
  const std::string command = '\'' + std::string(self) + "' --measure=" + mode + " '" + path + "'";
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return {};
  Measured m;
  if (std::fscanf(child, "%ld %lf %d", &m.kib, &m.ms, &m.exit_code) != 3) m = {};
  return pclose(child) == 0 ? m : Measured{};
}

// The peak resident set, in KiB, of a fresh run of this program doing `mode` on the file; -1 when
// that fails.
long PeakKiB(const std::string& mode, const std::string& path) {
  const Measured m = MeasureFresh(mode, path);
  return m.exit_code == 0 ? m.kib : -1;
}

// A new empty file for the children to read; its path, or empty text.
std::string TemporaryFile(const std::string& bytes) {
  char path[] = "/tmp/recaster-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

// Peak memory and time of `recaster convert` and `recaster show` on each hostile file.
void PrintHostileTable() {
  std::printf("\nHostile files: whole commands in a fresh process, peak memory (VmHWM) and time\n");
  std::printf("%-40s %9s  %-12s %10s %9s %5s\n", "file", "MiB", "command", "peak MiB", "ms", "exit");
  for (const recaster::bench::HostileFile& file : recaster::bench::HostileFiles()) {
    const std::string bytes = file.make();
    const std::string path = TemporaryFile(bytes);
    if (path.empty()) return;
    for (const char* mode : {"convert-file", "show"}) {
      const Measured m = MeasureFresh(mode, path);
      std::printf("%-40s %9.2f  %-12s %10.1f %9.1f %5d\n", file.name.c_str(), bytes.size() / 1048576.0,
                  mode == std::string_view("show") ? "show" : "convert", m.kib / 1024.0, m.ms, m.exit_code);
    }
    std::remove(path.c_str());
  }
}

// --- the summary ---

// Keeps each benchmark's mean real time per iteration, in milliseconds, while the console shows it.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) ms[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> ms;
};

double MiBPerSecond(std::size_t bytes, double ms) { return ms > 0 ? bytes / 1048576.0 / (ms / 1e3) : 0; }

// The mean milliseconds of the named benchmark, or 0 where it did not run.
double TimeOf(const Collector& collector, const std::string& name) {
  const auto it = collector.ms.find(name);
  return it == collector.ms.end() ? 0.0 : it->second;
}

// Whether the flag was among the arguments; it is taken out of them.
bool TakeFlag(int& argc, char** argv, std::string_view flag) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == flag) {
      std::copy(argv + i + 1, argv + argc, argv + i);
      --argc;
      return true;
    }
  }
  return false;
}

// One size's files and what loading each crafted one gave.
struct Tier {
  Size size;
  std::string wellformed;
  std::vector<recaster::bench::CraftedFile> crafted;
  std::vector<std::string> outcomes;
};

// Registers the benchmarks of one size; false, said on standard error, where its well-formed file
// does not load. The tier must stay where it is while the benchmarks run.
bool RegisterTier(Tier& tier) {
  const std::string tag = std::string("/") + tier.size.label;
  if (!LoadOnce(tier.wellformed).ok() || !PugixmlOnce(tier.wellformed) || ConvertOnce(tier.wellformed) == 0) {
    std::fprintf(stderr, "bench_recaster: the well-formed %s file does not load\n", tier.size.label);
    return false;
  }
  const std::string* wellformed = &tier.wellformed;
  benchmark::RegisterBenchmark(("load" + tag).c_str(), [wellformed](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(LoadOnce(*wellformed));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wellformed->size()));
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("pugixml" + tag).c_str(), [wellformed](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(PugixmlOnce(*wellformed));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wellformed->size()));
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("convert" + tag).c_str(), [wellformed](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ConvertOnce(*wellformed));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wellformed->size()));
  })->Unit(benchmark::kMillisecond);
  for (const auto& file : tier.crafted) {
    tier.outcomes.push_back(recaster::xml::DescribeLoadResult(LoadOnce(file.bytes)));
    const std::string* bytes = &file.bytes;
    benchmark::RegisterBenchmark(("crafted/" + file.name + tag).c_str(), [bytes](benchmark::State& state) {
      for (auto _ : state) benchmark::DoNotOptimize(LoadOnce(*bytes));
      state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes->size()));
    })->Unit(benchmark::kMillisecond);
  }
  return true;
}

void PrintWellFormedTable(const std::vector<Tier>& tiers, const Collector& collector) {
  std::printf("\nWell-formed files: loading beside pugixml, and the whole conversion\n");
  std::printf("%-6s %10s %9s %9s %11s %11s %14s %11s %11s %16s\n", "size", "bytes", "load ms", "load MiB/s",
              "pugixml ms", "pugi MiB/s", "load : pugixml", "convert ms", "conv MiB/s", "convert : pugixml");
  for (const Tier& tier : tiers) {
    const std::string tag = std::string("/") + tier.size.label;
    const std::size_t n = tier.wellformed.size();
    const double load = TimeOf(collector, "load" + tag), pugi = TimeOf(collector, "pugixml" + tag),
                 conv = TimeOf(collector, "convert" + tag);
    if (load == 0 && pugi == 0 && conv == 0) continue;
    std::printf("%-6s %10zu %9.3f %10.1f %11.3f %11.1f %14.2f %11.3f %11.1f %16.2f\n", tier.size.label, n, load,
                MiBPerSecond(n, load), pugi, MiBPerSecond(n, pugi), load > 0 ? pugi / load : 0, conv,
                MiBPerSecond(n, conv), conv > 0 ? pugi / conv : 0);
  }
  std::printf("(\"load : pugixml\" is our loader's throughput over pugixml's: 1.00 is as fast, 0.50 half as fast)\n");
}

void PrintCraftedTable(const std::vector<Tier>& tiers, const Collector& collector) {
  std::printf("\nCrafted files against the well-formed file of their size (time per byte, loading only)\n");
  std::printf("%-32s %-6s %9s %9s %7s  %s\n", "case", "size", "MiB", "ms", "ratio", "outcome");
  for (const Tier& tier : tiers) {
    const std::string tag = std::string("/") + tier.size.label;
    const double reference = TimeOf(collector, "load" + tag) / static_cast<double>(tier.wellformed.size());
    for (std::size_t i = 0; i < tier.crafted.size(); ++i) {
      const auto& file = tier.crafted[i];
      const double ms = TimeOf(collector, "crafted/" + file.name + tag);
      if (ms == 0) continue;  // left out by --benchmark_filter
      std::printf("%-32s %-6s %9.2f %9.3f %7.2f  %s\n", file.name.c_str(), tier.size.label,
                  file.bytes.size() / 1048576.0, ms, reference > 0 ? ms / file.bytes.size() / reference : 0,
                  tier.outcomes[i].c_str());
    }
  }
}

// Peak memory of fresh processes on the tier's well-formed file; false where no temporary file could
// be made for them.
bool PrintPeakMemoryTable(const Tier& tier) {
  const std::string path = TemporaryFile(tier.wellformed);
  if (path.empty()) return false;
  std::printf("\nPeak memory on the %s well-formed file (%.2f MiB), VmHWM of a fresh process\n",
              tier.size.label, tier.wellformed.size() / 1048576.0);
  std::printf("%-34s %10s %16s\n", "what the process does", "peak MiB", "above reading");
  const long baseline = PeakKiB("read", path);
  for (const auto& [mode, label] : std::vector<std::pair<std::string, const char*>>{
           {"read", "reads the file"}, {"load", "reads, then loads (XmlDocument)"},
           {"convert", "reads, then converts to JSON"}, {"pugixml", "reads, then parses with pugixml"}}) {
    const long kib = mode == "read" ? baseline : PeakKiB(mode, path);
    std::printf("%-34s %10.1f %16.1f\n", label, kib / 1024.0, (kib - baseline) / 1024.0);
  }
  std::remove(path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]).substr(0, 10) == "--measure=") {
    return MeasureInChild(std::string_view(argv[1]).substr(10), argv[2]);
  }
  // The hostile files take a minute and a few GiB of disk traffic; --no_hostile leaves them out.
  const bool skip_hostile = TakeFlag(argc, argv, "--no_hostile");
  std::vector<Tier> tiers;
  for (const Size& size : kSizes) {
    tiers.push_back({size, recaster::bench::RealisticFile(size.bytes), recaster::bench::CraftedFiles(size.bytes), {}});
  }
  for (Tier& tier : tiers) {
    if (!RegisterTier(tier)) return 1;
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::Shutdown();
  PrintWellFormedTable(tiers, collector);
  PrintCraftedTable(tiers, collector);
  if (!PrintPeakMemoryTable(tiers.back())) return 0;
  if (!skip_hostile) PrintHostileTable();
  return 0;
}
