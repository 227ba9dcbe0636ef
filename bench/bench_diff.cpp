// The diff of two 16 MiB version 5 sources that differ in one setting, against the load of both: the
// whole command in-process (read, load, walk, compare, print) and the two loads alone.
//   bench_diff [benchmark flags]   (the sources are made in the system's temporary folder)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench/bench_files.h"
#include "cli/cli.h"
#include "convert/source.h"
#include "platform/platform.h"
#include "settings/ov_settings.h"
#include "tests/support/xml_writer.h"
#include "xml/xml_document.h"

namespace {

namespace fs = std::filesystem;
using namespace recaster;

constexpr std::size_t kSourceBytes = std::size_t{16} << 20;

struct Sources {
  std::string a;
  std::string b;
};

// The realistic file as the writer saves it, and the same with the UDP port changed.
const Sources& Files() {
  static const Sources sources = [] {
    settings::COVSettings doc;
    if (!doc.LoadFromBytesWithResult(bench::RealisticFile(kSourceBytes)).ok()) std::abort();
    const auto save = [&doc](const std::string& name) {
      xml::XmlNode root(u"RIZavoza");
      doc.Save(root);
      const std::string path = (fs::temp_directory_path() / name).string();
      std::ofstream(path, std::ios::binary) << testing::WriteXmlFile(root);
      return path;
    };
    Sources made;
    made.a = save("bench_diff_a.cfg");
    doc.Network.UdpPort.SetValue(doc.Network.UdpPort.Value() == 514 ? 515 : 514);
    made.b = save("bench_diff_b.cfg");
    return made;
  }();
  return sources;
}

void LoadBoth(benchmark::State& state) {
  const Sources& files = Files();
  for (auto _ : state) {
    for (const std::string& path : {files.a, files.b}) {
      convert::SourceOutcome taken =
          convert::TakeSource({platform::PathFromNative(path), nullptr, nullptr, convert::SourceStage::kLoad});
      if (!taken.ok()) state.SkipWithError("a source did not load");
      benchmark::DoNotOptimize(taken);
    }
  }
}

void Diff(benchmark::State& state) {
  const Sources& files = Files();
  for (auto _ : state) {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    cli::Console io{in, out, err};
    if (cli::RunRecaster({"diff", files.a, files.b}, io) != kExitDiffers || out.str().find("1 difference") == std::string::npos) {
      state.SkipWithError("the diff did not find the one difference");
    }
  }
}

BENCHMARK(LoadBoth)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(Diff)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
