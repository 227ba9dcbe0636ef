// The conversion against the conversion with --verify, on a 16 MiB source whose IPv4 bind address is
// as long as the file allows (UDP and TCP, IPv4 and IPv6: four listeners, two of them with that
// address): load, map and write, then the same with the file flushed, read back, checked and compared
// with the plan before it takes its place. The two take turns, pair by pair; the median of each and of
// the ratios is printed.
//   bench_verify [PAIRS] [FOLDER]   (default 9 pairs, in the system's temporary folder)
//   bench_verify --write FOLDER      (only writes the two sources there, for timing whole processes)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

double Milliseconds(const std::u16string& source, const std::u16string& destination, bool verify) {
  const auto start = std::chrono::steady_clock::now();
  const convert::ConversionResult conversion = convert::BuildConfigTree(source);
  const platform::SystemError code = verify ? convert::WriteVerifiedConfigFile(conversion, destination).code
                                            : convert::WriteConfigFile(conversion.tree, destination);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  if (!conversion.ok() || code != platform::kSuccess) {
    std::fprintf(stderr, "bench_verify: the conversion failed (%u)\n", static_cast<unsigned>(code));
    std::exit(1);
  }
  return took.count();
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
  std::printf("%-52s %9s %11s %11s %7s\n", "source (16 MiB)", "JSON MiB", "convert ms", "--verify ms", "ratio");
  for (const Shape& shape : shapes) {
    const fs::path source = folder / "source.cfg";
    const fs::path destination = folder / "out.json";
    if (!testing::WriteBytesToFile(source.string(), LongAddressFile(shape.piece))) return 1;
    std::vector<double> plain, verified, ratios;
    Milliseconds(source.u16string(), destination.u16string(), true);  // a warm-up, and a proof it verifies
    for (int i = 0; i < pairs; ++i) {
      plain.push_back(Milliseconds(source.u16string(), destination.u16string(), false));
      verified.push_back(Milliseconds(source.u16string(), destination.u16string(), true));
      ratios.push_back(verified.back() / plain.back());
    }
    std::printf("%-52s %9.1f %11.1f %11.1f %7.3f\n", shape.name, fs::file_size(destination) / 1048576.0,
                Median(plain), Median(verified), Median(ratios));
  }
  fs::remove_all(folder);
  return 0;
}
