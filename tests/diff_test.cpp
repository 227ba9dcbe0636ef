// The diff command on the pairs a person compares: each case one fault it could have.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "convert/exit_code.h"
#include "settings/ov_settings.h"
#include "tests/support/cli_fixture.h"
#include "tests/support/xml_writer.h"
#include "xml/xml_document.h"

namespace recaster::cli {
namespace {

using Change = std::function<void(settings::COVSettings&)>;

class Diff : public Cli {
 protected:
  std::string Version5(const std::string& name, const Change& change) {
    settings::COVSettings doc;
    change(doc);
    xml::XmlNode root(u"RIZavoza");
    doc.Save(root);
    const std::string path = Path(name);
    EXPECT_TRUE(testing::WriteBytesToFile(path, testing::WriteXmlFile(root)));
    return path;
  }
  std::string Text(const std::string& name, const std::string& bytes) {
    WriteFile(Path(name), bytes);
    return Path(name);
  }
};

// A valid version 6 document, and the same with every object's members in another order (warnings only).
constexpr char kV6[] = R"({"network": {"interfaces": [{"addr": "0.0.0.0", "port": "514", "max_msg_len": "8192",
 "socket_buffer_size": "1048576", "max_session_history": "1000", "type": "udp"}]},
 "storage": {"folder": "", "keep_days": "1", "keep_gbs": "0", "check_period": "360", "flush_period": "500", "hours_per_file": "24"}})";
constexpr char kV6Reordered[] = R"({"storage": {"hours_per_file": "24", "folder": "", "keep_days": "1", "keep_gbs": "0",
 "check_period": "360", "flush_period": "500"}, "network": {"interfaces": [{"type": "udp", "port": "514",
 "max_session_history": "1000", "max_msg_len": "8192", "addr": "0.0.0.0", "socket_buffer_size": "1048576"}]}})";

TEST_F(Diff, TwoVersion5Files) {
  struct Case {
    const char* name;
    Change a;
    Change b;
    int code;
    std::vector<std::string> lines;  // the differences, before the summary
  };
  const std::vector<Case> cases = {
      {"one port", [](auto&) {}, [](auto& d) { d.Network.UdpPort.SetValue(1514); }, kExitDiffers,
       {"Network.UdpPort: 514 -> 1514"}},
      {"an item added", [](auto& d) { d.EmailAlerts.Alerts.Resize(1); }, [](auto& d) { d.EmailAlerts.Alerts.Resize(2); },
       kExitDiffers, {"EmailAlerts.Alerts[1]: added"}},
      {"a password", [](auto& d) { d.Emailer.Password.SetValue(u"Hunter2a"); },
       [](auto& d) { d.Emailer.Password.SetValue(u"Hunter2b"); }, kExitDiffers, {"Emailer.Password: differs (secret)"}},
      {"the same", [](auto&) {}, [](auto&) {}, kExitOk, {}},
  };
  for (const Case& c : cases) {
    const Outcome run = Recaster({"diff", Version5("a.cfg", c.a), Version5("b.cfg", c.b)});
    EXPECT_EQ(run.code, c.code) << c.name << "\n" << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty()) << c.name;
    lines.pop_back();
    EXPECT_EQ(lines, c.lines) << c.name << "\n" << run.out;
    EXPECT_EQ(run.out.find("Hunter2"), std::string::npos) << c.name;
  }
}

TEST_F(Diff, SecretsShowInNoFormat) {
  const std::string a = Version5("a.cfg", [](auto& d) { d.RemConn.Password.SetValue(u"Hunter2a"); });
  const std::string b = Version5("b.cfg", [](auto& d) { d.RemConn.Password.SetValue(u"Hunter2b"); });
  const Outcome run = Recaster({"diff", "--format", "json", a, b});
  EXPECT_EQ(run.code, kExitDiffers) << run.err;
  EXPECT_EQ(run.out.find("Hunter2"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"secret\": true"), std::string::npos) << run.out;
  const std::string c = Text("c.json", std::string(kV6).replace(std::string(kV6).find("\"\","), 3, "\"https://u:Hunter2a@h/\","));
  const std::string d = Text("d.json", std::string(kV6).replace(std::string(kV6).find("\"\","), 3, "\"https://u:Hunter2b@h/\","));
  for (const char* format : {"text", "json"}) {
    const Outcome v6 = Recaster({"diff", "--format", format, c, d});
    EXPECT_EQ(v6.code, kExitDiffers) << v6.out << v6.err;
    EXPECT_EQ(v6.out.find("Hunter2"), std::string::npos) << v6.out;
  }
}

TEST_F(Diff, Version6Sides) {
  const std::string source = Version5("v5.cfg", [](auto&) {});
  const std::string converted = Path("v5.json");
  ASSERT_EQ(Recaster({"convert", "--force", source, converted}).code, kExitOk);
  struct Case {
    const char* name;
    std::string a;
    std::string b;
    int code;
    std::string found;
  };
  const std::vector<Case> cases = {
      {"members reordered", Text("a.json", kV6), Text("b.json", kV6Reordered), kExitOk, "no differences\n"},
      {"a port", Text("c.json", kV6), Text("d.json", std::string(kV6).replace(std::string(kV6).find("514"), 3, "1514")),
       kExitDiffers, "/network/interfaces/0/port: \"514\" -> \"1514\"\n1 difference\n"},
      {"version 5 and its conversion", source, converted, kExitOk, "no differences\n"},
      {"an invalid side", Text("e.json", kV6), Text("f.json", R"({"network": {"interfaces": 7}})"), kExitNotValid,
       ": error: /network/interfaces: "},
      {"neither kind", Text("g.json", kV6), Text("h.txt", "not json"), kExitUnreadable, ""},
  };
  for (const Case& c : cases) {
    const Outcome run = Recaster({"diff", c.a, c.b});
    EXPECT_EQ(run.code, c.code) << c.name << "\n" << run.out << run.err;
    EXPECT_NE(run.out.find(c.found), std::string::npos) << c.name << "\n" << run.out;
  }
  EXPECT_EQ(Recaster({"diff", converted}).code, kExitUsage);
}

}  // namespace
}  // namespace recaster::cli
