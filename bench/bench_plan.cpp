// The mapping alone, on the settings of the benchmark's realistic files (already loaded): the plan
// (`mapping::MakePlan`), the tree built from a plan, the configuration tree straight from the settings
// (the plan, then its tree), and the notes on what is left behind.
//   bench_plan [Google Benchmark flags]
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/bench_files.h"
#include "convert/convert.h"
#include "mapping/mapping.h"
#include "settings/ov_settings.h"
#include "xml/xml_document.h"

namespace {

using recaster::settings::COVSettings;

struct Size {
  const char* label;
  std::size_t bytes;
};
constexpr Size kSizes[] = {{"16KiB", 16u << 10}, {"1MiB", 1u << 20}};

// The settings of a realistic file of about `bytes`; null when it does not load.
std::unique_ptr<COVSettings> LoadedSettings(std::size_t bytes) {
  recaster::xml::XmlDocument document(u"RIZavoza");
  if (!document.LoadFromBytes(recaster::bench::RealisticFile(bytes)).ok()) return nullptr;
  auto settings = std::make_unique<COVSettings>();
  settings->Load(document, false);
  return settings;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::unique_ptr<COVSettings>> documents;
  for (const Size& size : kSizes) {
    documents.push_back(LoadedSettings(size.bytes));
    const COVSettings* settings = documents.back().get();
    if (settings == nullptr) {
      std::fprintf(stderr, "bench_plan: the %s file does not load\n", size.label);
      return 1;
    }
    const std::string tag = std::string("/") + size.label;
    benchmark::RegisterBenchmark(("plan" + tag).c_str(), [settings](benchmark::State& state) {
      for (auto _ : state) benchmark::DoNotOptimize(recaster::mapping::MakePlan(*settings));
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("plan_to_tree" + tag).c_str(), [settings](benchmark::State& state) {
      const recaster::mapping::Plan plan = recaster::mapping::MakePlan(*settings);
      for (auto _ : state) benchmark::DoNotOptimize(recaster::mapping::PlanToTree(plan));
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("tree" + tag).c_str(), [settings](benchmark::State& state) {
      for (auto _ : state) benchmark::DoNotOptimize(recaster::mapping::PlanToTree(recaster::mapping::MakePlan(*settings)));
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("not_carried" + tag).c_str(), [settings](benchmark::State& state) {
      for (auto _ : state) benchmark::DoNotOptimize(recaster::convert::NotCarriedOver(*settings));
    })->Unit(benchmark::kMicrosecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
