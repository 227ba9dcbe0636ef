// The conversion against the conversion with --verify, on a 16 MiB source whose IPv4 bind address is
// as long as the file allows (UDP and TCP, IPv4 and IPv6: four listeners, two of them with that
// address): load, map and write, then the same with the file flushed, read back, checked and compared
// with the plan before it takes its place. The two take turns, pair by pair, each pair in the other
// order from the last; the median of each and of the ratios is printed, on the wall clock and in
// processor time.
//   bench_verify [PAIRS] [FOLDER]   (default 9 pairs, in the system's temporary folder)
//   bench_verify --write FOLDER      (only writes the two sources there, for timing whole processes)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "convert/verify.h"
#include "settings/ov_settings.h"
#include "tests/support/xml_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace recaster;

constexpr std::size_t kSourceBytes = std::size_t{16} << 20;

// The source: a settings file of about kSourceBytes, nearly all of it one bind address of `piece`
// repeated.
std::string LongAddressFile(std::u16string_view piece) {
  settings::COVSettings doc;
  doc.Network.Tcp.SetValue(true);
  doc.Network.Ipv4BindAny.SetValue(false);
  doc.Storage.KeepPeriod.Resize(1);
  doc.Storage.KeepPeriod[0].SetValue(365);
  const std::size_t frame = [&] {
    xml::XmlNode root(u"RIZavoza");
    doc.Save(root);
    return testing::WriteXmlFile(root).size();
  }();
  std::u16string address;
  while ((address.size() + piece.size()) * 2 + frame < kSourceBytes) address += piece;
  doc.Network.Ipv4BindAddr.SetValue(address);
  xml::XmlNode root(u"RIZavoza");
  doc.Save(root);
  return testing::WriteXmlFile(root);
}

// One conversion's time: as the clock on the wall saw it (the flush to the disk in it), and the
// processor's (this process's, the system's work for it included).
struct Took {
  double wall_ms;
  double cpu_ms;
};

Took Convert(const std::u16string& source, const std::u16string& destination, bool verify) {
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu_start = std::clock();
  const convert::ConversionResult conversion = convert::BuildConfigTree(source);
  const platform::SystemError code = verify ? convert::WriteVerifiedConfigFile(conversion, destination).code
                                            : convert::WriteConfigFile(conversion.tree, destination);
  const std::clock_t cpu_end = std::clock();
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  if (!conversion.ok() || code != platform::kSuccess) {
    std::fprintf(stderr, "bench_verify: the conversion failed (%u)\n", static_cast<unsigned>(code));
    std::exit(1);
  }
  return {took.count(), 1000.0 * static_cast<double>(cpu_end - cpu_start) / CLOCKS_PER_SEC};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Shape {
  const char* name;
  const char* file;
  std::u16string piece;
};

const Shape kShapes[] = {{"address of \"192.0.2.10 \" repeated", "long-address.cfg", u"192.0.2.10 "},
                         {"address of U+0001 repeated (6 bytes of JSON each)", "long-address-controls.cfg", u"\x0001"}};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write") {
    fs::create_directories(argv[2]);
    for (const Shape& shape : kShapes) {
      if (!testing::WriteBytesToFile((fs::path(argv[2]) / shape.file).string(), LongAddressFile(shape.piece))) return 1;
    }
    return 0;
  }
  const int pairs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const fs::path folder = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "recaster_bench_verify";
  fs::create_directories(folder);
  const auto& shapes = kShapes;
  std::printf("%-52s %8s %15s %15s %13s\n", "source (16 MiB)", "JSON MiB", "convert ms", "--verify ms", "ratio");
  std::printf("%-52s %8s %15s %15s %13s\n", "", "", "wall   CPU", "wall   CPU", "wall   CPU");
  for (const Shape& shape : shapes) {
    const fs::path source = folder / "source.cfg";
    const fs::path destination = folder / "out.json";
    if (!testing::WriteBytesToFile(source.string(), LongAddressFile(shape.piece))) return 1;
    std::vector<double> plain[2], verified[2], ratios[2];  // wall, CPU
    Convert(source.u16string(), destination.u16string(), true);  // a warm-up, and a proof it verifies
    for (int i = 0; i < pairs; ++i) {
      // Which of the two goes first alternates: what ran before leaves the allocator holding memory
      // or having given it back, and the same conversion took half as long again after the other.
      const bool verified_first = i % 2 == 1;
      Took with{}, without{};
      if (verified_first) with = Convert(source.u16string(), destination.u16string(), true);
      without = Convert(source.u16string(), destination.u16string(), false);
      if (!verified_first) with = Convert(source.u16string(), destination.u16string(), true);
      const double w[2] = {with.wall_ms, with.cpu_ms}, p[2] = {without.wall_ms, without.cpu_ms};
      for (int k = 0; k < 2; ++k) {
        verified[k].push_back(w[k]);
        plain[k].push_back(p[k]);
        ratios[k].push_back(w[k] / p[k]);
      }
    }
    std::printf("%-52s %8.1f %7.1f %7.1f %7.1f %7.1f %6.3f %6.3f\n", shape.name,
                static_cast<double>(fs::file_size(destination)) / 1048576.0, Median(plain[0]), Median(plain[1]),
                Median(verified[0]), Median(verified[1]), Median(ratios[0]), Median(ratios[1]));
  }
  fs::remove_all(folder);
  return 0;
}
