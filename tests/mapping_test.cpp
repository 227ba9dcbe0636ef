// The version 6 records' tree form and the fitting of version 5 values into version 6 fields.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "mapping/mapping.h"
#include "platform/platform.h"
#include "settings/ov_settings.h"
#include "text/utf8.h"

namespace recaster::mapping {
namespace {

// The keys of an object's members, in order.
std::vector<std::string> Keys(const tree::ConfigTree& object) {
  std::vector<std::string> keys;
  for (const auto& member : object) keys.push_back(member.first);
  return keys;
}

TEST(ListenerToTree, UdpMembersComeInTheVersion6Order) {
  UdpListener udp;
  udp.addr = u"0.0.0.0";
  const tree::ConfigTree object = UdpListenerToTree(udp);
  EXPECT_EQ(Keys(object), (std::vector<std::string>{"addr", "port", "max_msg_len", "socket_buffer_size",
                                                    "max_session_history", "type"}));
  EXPECT_EQ(object.get<std::string>("addr"), "0.0.0.0");
  EXPECT_EQ(object.get<std::string>("port"), "514");
  EXPECT_EQ(object.get<std::string>("max_msg_len"), "10000");
  EXPECT_EQ(object.get<std::string>("socket_buffer_size"), "1048576");
  EXPECT_EQ(object.get<std::string>("max_session_history"), "1000");
  EXPECT_EQ(object.get<std::string>("type"), "udp");
}

TEST(ListenerToTree, TcpMembersComeInTheVersion6Order) {
  TcpListener tcp;
  tcp.framing.separate_by_cr_lf = false;
  const tree::ConfigTree object = TcpListenerToTree(tcp);
  EXPECT_EQ(Keys(object),
            (std::vector<std::string>{"addr", "port", "max_msg_len", "socket_buffer_size", "max_session_history",
                                      "disconnect_inactive_sec", "disconnect_oldest", "max_concurrent_sessions",
                                      "detect_octet_count", "separate_by_cr_lf", "type"}));
  EXPECT_EQ(object.get<std::string>("disconnect_inactive_sec"), "0");
  EXPECT_EQ(object.get<std::string>("disconnect_oldest"), "false");
  EXPECT_EQ(object.get<std::string>("max_concurrent_sessions"), "100");
  EXPECT_EQ(object.get<std::string>("detect_octet_count"), "true");
  EXPECT_EQ(object.get<std::string>("separate_by_cr_lf"), "false");
  EXPECT_EQ(object.get<std::string>("type"), "tcp");
}

TEST(NetworkToTree, ListsUdpListenersBeforeTcpListeners) {
  NetworkConfig network;
  TcpListener tcp;
  tcp.addr = u"t";
  network.tcp.push_back(tcp);
  UdpListener udp;
  udp.addr = u"u1";
  network.udp.push_back(udp);
  udp.addr = u"u2";
  network.udp.push_back(udp);
  network.udp.push_back(udp);  // an equal listener is a second element
  const tree::ConfigTree tree = NetworkToTree(network);
  ASSERT_EQ(Keys(tree), std::vector<std::string>{"interfaces"});
  std::vector<std::string> order;
  for (const auto& element : tree.get_child("interfaces")) {
    EXPECT_EQ(element.first, "");
    order.push_back(element.second.get<std::string>("addr") + "/" + element.second.get<std::string>("type"));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"u1/udp", "u2/udp", "u2/udp", "t/tcp"}));
}

TEST(NetworkToTree, NoListenerIsWrittenAsEmptyString) {
  tree::ConfigTree root;
  tree::PutSubtree(root, "network", NetworkToTree(NetworkConfig{}));
  EXPECT_EQ(convert::ConfigTreeToJson(root), "{\n    \"network\": {\n        \"interfaces\": \"\"\n    }\n}\n");
}

TEST(StorageToTree, WritesSixMembersInOrderWithHoursAsDigits) {
  StorageConfig storage;
  storage.folder = u"D:\\Logs";
  const tree::ConfigTree object = StorageToTree(storage);
  EXPECT_EQ(Keys(object), (std::vector<std::string>{"folder", "keep_days", "keep_gbs", "check_period",
                                                    "flush_period", "hours_per_file"}));
  EXPECT_EQ(object.get<std::string>("folder"), "D:\\Logs");
  EXPECT_EQ(object.get<std::string>("keep_days"), "1");
  EXPECT_EQ(object.get<std::string>("keep_gbs"), "10000");
  EXPECT_EQ(object.get<std::string>("check_period"), "360");
  EXPECT_EQ(object.get<std::string>("flush_period"), "500");
  EXPECT_EQ(object.get<std::string>("hours_per_file"), "24");
}

struct FitCase {
  const char* name;
  std::int32_t value;
  std::uint32_t expected;
  bool adjusted;
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

class Fit16Table : public testing::TestWithParam<FitCase> {};

TEST_P(Fit16Table, KeepsFittingValuesAndGivesTheOthersAReason) {
  const Fitted fit = Fit16(GetParam().value, 514);
  EXPECT_EQ(fit.value, GetParam().expected);
  EXPECT_EQ(fit.reason.has_value(), GetParam().adjusted);
  EXPECT_EQ(fit.before, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Fit16, Fit16Table,
                         testing::Values(FitCase{"Zero", 0, 0, false}, FitCase{"Typical", 1514, 1514, false},
                                         FitCase{"Largest", 65535, 65535, false},
                                         FitCase{"JustAbove", 65536, 65535, true},
                                         FitCase{"LegacyMaximum", 99999, 65535, true},
                                         FitCase{"Int32Max", 2147483647, 65535, true},
                                         FitCase{"MinusOne", -1, 514, true},
                                         FitCase{"Int32Min", -2147483647 - 1, 514, true}),
                         [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

TEST(Fit32, OnlyNegativeValuesChange) {
  EXPECT_EQ(Fit32(2147483647, 1048576).value, 2147483647u);
  EXPECT_FALSE(Fit32(2147483647, 1048576).reason);
  EXPECT_EQ(Fit32(0, 1048576).value, 0u);
  EXPECT_FALSE(Fit32(0, 1048576).reason);
  const Fitted fit = Fit32(-5, 1048576);
  EXPECT_EQ(fit.value, 1048576u);
  EXPECT_EQ(fit.reason, AdjustReason::kNegative);
  EXPECT_EQ(fit.before, -5);
}

struct KeepCase {
  const char* name;
  std::vector<std::int32_t> items;
  std::uint32_t days;
  bool adjusted;
};

void PrintTo(const KeepCase& c, std::ostream* os) { *os << c.name; }

class KeepDaysTable : public testing::TestWithParam<KeepCase> {};

TEST_P(KeepDaysTable, TakesTheLargestItemWithinOneTo9999) {
  settings::COVSettings doc;
  auto& items = doc.Storage.KeepPeriod;
  items.Resize(static_cast<std::uint32_t>(GetParam().items.size()));
  for (std::uint32_t i = 0; i < items.Count(); ++i) items[i].SetValue(GetParam().items[i]);
  const Fitted fit = FitKeepDays({items.begin(), items.Count()});
  EXPECT_EQ(fit.value, GetParam().days);
  EXPECT_EQ(fit.reason.has_value(), GetParam().adjusted);
}

INSTANTIATE_TEST_SUITE_P(KeepDays, KeepDaysTable,
                         testing::Values(KeepCase{"Empty", {}, 1, true}, KeepCase{"AllZero", {0, 0}, 1, true},
                                         KeepCase{"One", {1}, 1, false}, KeepCase{"Largest", {7, 90, 30}, 90, false},
                                         KeepCase{"Limit", {9999}, 9999, false},
                                         KeepCase{"AboveLimit", {10, 10000}, 9999, true},
                                         KeepCase{"Negative", {5, -1}, 9999, true},
                                         KeepCase{"Int32Min", {-2147483647 - 1}, 9999, true}),
                         [](const testing::TestParamInfo<KeepCase>& info) { return std::string(info.param.name); });

// --- filling from a version 5 document ---

// The paths of the plan's adjustments that begin with `prefix` ("Network" for Network and NetworkEx), in order.
std::vector<std::string> Adjusted(const settings::COVSettings& document, std::string_view prefix) {
  std::vector<std::string> paths;
  for (const Adjustment& adjustment : MakePlan(document).adjustments) {
    if (adjustment.path.starts_with(prefix)) paths.push_back(adjustment.path);
  }
  return paths;
}

// "addr/type" of every listener, in order.
std::vector<std::string> Listeners(const tree::ConfigTree& root) {
  std::vector<std::string> listeners;
  for (const auto& element : root.get_child("network.interfaces")) {
    listeners.push_back(element.second.get<std::string>("addr") + "/" + element.second.get<std::string>("type"));
  }
  return listeners;
}

TEST(MapNetwork, DefaultsGiveTwoUdpListenersOnTheAnyAddresses) {
  const settings::COVSettings doc;
  tree::ConfigTree root;
  MapNetwork(doc, root);
  EXPECT_TRUE(Adjusted(doc, "Network").empty());
  const std::string udp_fields =
      "                \"port\": \"514\",\n"
      "                \"max_msg_len\": \"4096\",\n"
      "                \"socket_buffer_size\": \"524288\",\n"
      "                \"max_session_history\": \"1000\",\n"
      "                \"type\": \"udp\"\n";
  EXPECT_EQ(convert::ConfigTreeToJson(root),
            "{\n"
            "    \"network\": {\n"
            "        \"interfaces\": [\n"
            "            {\n"
            "                \"addr\": \"0.0.0.0\",\n" +
                udp_fields +
                "            },\n"
                "            {\n"
                "                \"addr\": \"::\",\n" +
                udp_fields +
                "            }\n"
                "        ]\n"
                "    }\n"
                "}\n");
}

struct ListenerCase {
  const char* name;
  bool udp, tcp, ipv4, ipv6;
  std::vector<std::string> expected;
};

void PrintTo(const ListenerCase& c, std::ostream* os) { *os << c.name; }

class MapNetworkListeners : public testing::TestWithParam<ListenerCase> {};

TEST_P(MapNetworkListeners, MakesOneListenerPerProtocolAndFamily) {
  const ListenerCase& c = GetParam();
  settings::COVSettings doc;
  doc.Network.Udp.SetValue(c.udp);
  doc.Network.Tcp.SetValue(c.tcp);
  doc.Network.Ipv4.SetValue(c.ipv4);
  doc.Network.Ipv6.SetValue(c.ipv6);
  tree::ConfigTree root;
  MapNetwork(doc, root);
  EXPECT_EQ(Listeners(root), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    MapNetwork, MapNetworkListeners,
    testing::Values(
        ListenerCase{"All", true, true, true, true, {"0.0.0.0/udp", "::/udp", "0.0.0.0/tcp", "::/tcp"}},
        ListenerCase{"TcpOnly", false, true, true, true, {"0.0.0.0/tcp", "::/tcp"}},
        ListenerCase{"Ipv4Only", true, true, true, false, {"0.0.0.0/udp", "0.0.0.0/tcp"}},
        ListenerCase{"Ipv6Only", true, false, false, true, {"::/udp"}},
        ListenerCase{"NoProtocol", false, false, true, true, {}},
        ListenerCase{"NoFamily", true, true, false, false, {}}),
    [](const testing::TestParamInfo<ListenerCase>& info) { return std::string(info.param.name); });

TEST(MapNetwork, NoListenerWritesEmptyInterfacesAndAdjustsNothing) {
  settings::COVSettings doc;
  doc.Network.Udp.SetValue(false);
  doc.NetworkEx.MaxPacketSize.SetValue(99999);  // carried by no listener
  tree::ConfigTree root;
  MapNetwork(doc, root);
  EXPECT_EQ(convert::ConfigTreeToJson(root), "{\n    \"network\": {\n        \"interfaces\": \"\"\n    }\n}\n");
  EXPECT_TRUE(Adjusted(doc, "Network").empty());
}

TEST(MapNetwork, CopiesBindAddressesAsText) {
  settings::COVSettings doc;
  doc.Network.Ipv4BindAny.SetValue(false);
  doc.Network.Ipv4BindAddr.SetValue(u"not an address");
  doc.Network.Ipv6BindAny.SetValue(false);
  doc.Network.Ipv6BindAddr.SetValue(std::u16string{u'f', u'e', 0xD800, u'8'});
  tree::ConfigTree root;
  MapNetwork(doc, root);
  EXPECT_EQ(Listeners(root), (std::vector<std::string>{"not an address/udp", "fe\xEF\xBF\xBD" "8/udp"}));
}

TEST(MapNetwork, EmptyBindAddressGivesEmptyAddr) {
  settings::COVSettings doc;
  doc.Network.Ipv4BindAny.SetValue(false);
  doc.Network.Ipv6.SetValue(false);
  tree::ConfigTree root;
  MapNetwork(doc, root);
  EXPECT_EQ(Listeners(root), std::vector<std::string>{"/udp"});
}

TEST(MapNetwork, TcpListenersTakeTheStreamSettings) {
  settings::COVSettings doc;
  doc.Network.Udp.SetValue(false);
  doc.Network.Tcp.SetValue(true);
  doc.Network.TcpPort.SetValue(1468);
  doc.NetworkEx.MaxTcpClients.SetValue(250);
  doc.NetworkEx.SeparateTcpStreamWithCRLF.SetValue(false);
  tree::ConfigTree root;
  MapNetwork(doc, root);
  const tree::ConfigTree& interfaces = root.get_child("network.interfaces");
  ASSERT_EQ(interfaces.size(), 2u);
  for (const auto& element : interfaces) {
    const tree::ConfigTree& tcp = element.second;
    EXPECT_EQ(tcp.get<std::string>("port"), "1468");
    EXPECT_EQ(tcp.get<std::string>("max_concurrent_sessions"), "250");
    EXPECT_EQ(tcp.get<std::string>("separate_by_cr_lf"), "false");
    EXPECT_EQ(tcp.get<std::string>("disconnect_inactive_sec"), "0");
    EXPECT_EQ(tcp.get<std::string>("disconnect_oldest"), "false");
    EXPECT_EQ(tcp.get<std::string>("detect_octet_count"), "true");
    EXPECT_EQ(tcp.get<std::string>("max_session_history"), "1000");
  }
}

TEST(MapNetwork, FitsOutOfRangeValuesAndRecordsEachOnce) {
  settings::COVSettings doc;
  doc.Network.Tcp.SetValue(true);
  doc.Network.UdpPort.SetValue(-1);
  doc.Network.TcpPort.SetValue(70000);
  doc.Network.SocketBufferSize.SetValue(-524288);
  doc.NetworkEx.MaxPacketSize.SetValue(99999);
  doc.NetworkEx.MaxTcpClients.SetValue(-3);
  tree::ConfigTree root;
  MapNetwork(doc, root);
  EXPECT_EQ(Adjusted(doc, "Network"), (std::vector<std::string>{"NetworkEx.MaxPacketSize", "Network.SocketBufferSize",
                                                    "Network.UdpPort", "Network.TcpPort", "NetworkEx.MaxTcpClients"}));
  const tree::ConfigTree& interfaces = root.get_child("network.interfaces");
  ASSERT_EQ(interfaces.size(), 4u);
  const tree::ConfigTree& udp = interfaces.begin()->second;
  const tree::ConfigTree& tcp = interfaces.rbegin()->second;
  EXPECT_EQ(udp.get<std::string>("port"), "514");
  EXPECT_EQ(udp.get<std::string>("max_msg_len"), "65535");
  EXPECT_EQ(udp.get<std::string>("socket_buffer_size"), "1048576");
  EXPECT_EQ(tcp.get<std::string>("port"), "65535");
  EXPECT_EQ(tcp.get<std::string>("max_concurrent_sessions"), "100");
}

TEST(MapNetwork, ReplacesAnEarlierNetworkBranchInPlace) {
  settings::COVSettings doc;
  tree::ConfigTree root;
  tree::PutText(root, "network", "old");
  tree::PutText(root, "other", "x");
  doc.Network.Ipv6.SetValue(false);
  MapNetwork(doc, root);
  EXPECT_EQ(Keys(root), (std::vector<std::string>{"network", "other"}));
  EXPECT_EQ(Listeners(root), std::vector<std::string>{"0.0.0.0/udp"});
}

TEST(MapStorage, FollowsNetworkAndTakesTheLargestKeepPeriod) {
  settings::COVSettings doc;
  doc.Storage.FolderPath.SetValue(u"D:\\Logs");
  doc.Storage.NoStorage.SetValue(true);
  doc.Storage.KeepPeriod.Resize(3);
  doc.Storage.KeepPeriod[0].SetValue(7);
  doc.Storage.KeepPeriod[1].SetValue(90);
  doc.Storage.KeepPeriod[2].SetValue(30);
  tree::ConfigTree root;
  MapNetwork(doc, root);
  MapStorage(doc, root);
  EXPECT_TRUE(Adjusted(doc, "").empty());
  EXPECT_EQ(Keys(root), (std::vector<std::string>{"network", "storage"}));
  const tree::ConfigTree& storage = root.get_child("storage");
  EXPECT_EQ(storage.get<std::string>("folder"), "");
  EXPECT_EQ(storage.get<std::string>("keep_days"), "90");
  EXPECT_EQ(storage.get<std::string>("hours_per_file"), "24");
}

TEST(MapStorage, EmptyKeepPeriodGivesOneDayAndANote) {
  const settings::COVSettings doc;
  tree::ConfigTree root;
  MapStorage(doc, root);
  EXPECT_EQ(convert::ConfigTreeToJson(root),
            "{\n"
            "    \"storage\": {\n"
            "        \"folder\": \"\",\n"
            "        \"keep_days\": \"1\",\n"
            "        \"keep_gbs\": \"10000\",\n"
            "        \"check_period\": \"360\",\n"
            "        \"flush_period\": \"500\",\n"
            "        \"hours_per_file\": \"24\"\n"
            "    }\n"
            "}\n");
  EXPECT_EQ(Adjusted(doc, "Storage"), std::vector<std::string>{"Storage.KeepPeriod"});
}

TEST(MapStorage, NegativeKeepPeriodIsCappedNotReset) {
  settings::COVSettings doc;
  doc.Storage.KeepPeriod.Resize(1);
  doc.Storage.KeepPeriod[0].SetValue(-1);
  tree::ConfigTree root;
  MapStorage(doc, root);
  EXPECT_EQ(root.get<std::string>("storage.keep_days"), "9999");
}

// --- the plan ---

// "protocol/family/addr" of every listener of the plan, in order.
std::vector<std::string> PlannedListeners(const Plan& plan) {
  std::vector<std::string> listeners;
  const auto add = [&listeners](Protocol protocol, const ListenerConfig& l) {
    listeners.push_back(std::string(ProtocolName(protocol)) + "/" + std::string(FamilyName(l.family)) + "/" +
                        text::ToUtf8(l.addr));
  };
  for (const UdpListener& l : plan.network.udp) add(UdpListener::kProtocol, l);
  for (const TcpListener& l : plan.network.tcp) add(TcpListener::kProtocol, l);
  return listeners;
}

TEST(MakePlan, SampleListensInBothFamiliesKeepsItsRetentionAndLeaves47Behind) {
  settings::COVSettings doc;
  const auto sample = std::filesystem::path(RECASTER_SOURCE_DIR) / "samples" / "ov_server_settings.cfg";
  ASSERT_EQ(doc.LoadFromFile(platform::PathFromNative(sample.string())), 0);
  const Plan plan = MakePlan(doc);
  EXPECT_EQ(PlannedListeners(plan), (std::vector<std::string>{"UDP/IPv4/192.0.2.10", "UDP/IPv6/2001:db8::10",
                                                              "TCP/IPv4/192.0.2.10", "TCP/IPv6/2001:db8::10"}));
  EXPECT_EQ(plan.network.udp[0].addr.data(), doc.Network.Ipv4BindAddr.Value().data());  // viewed, not copied
  EXPECT_EQ(plan.keep_period, &doc.Storage.KeepPeriod);
  EXPECT_EQ(plan.storage.keep_days, 365u);
  EXPECT_TRUE(plan.adjustments.empty());
  EXPECT_EQ(plan.RecreateCount(), 47u);
  tree::ConfigTree mapped;
  MapNetwork(doc, mapped);
  MapStorage(doc, mapped);
  EXPECT_EQ(PlanToTree(plan), mapped);
}

struct AdjustCase {
  const char* name;
  std::function<void(settings::COVSettings&)> set;
  std::vector<std::string> expected;  // "path: before -> after, reason | text"
};

void PrintTo(const AdjustCase& c, std::ostream* os) { *os << c.name; }

class PlanAdjustments : public testing::TestWithParam<AdjustCase> {};

TEST_P(PlanAdjustments, SayWhatWasReadWhatIsWrittenAndWhy) {
  settings::COVSettings doc;
  doc.Storage.KeepPeriod.Resize(1);
  doc.Storage.KeepPeriod[0].SetValue(30);
  GetParam().set(doc);
  std::vector<std::string> adjustments;
  for (const Adjustment& a : MakePlan(doc).adjustments) {
    EXPECT_EQ(a.path, settings::PathOf(doc, *a.setting));
    adjustments.push_back(a.path + ": " + std::to_string(a.before) + " -> " + std::to_string(a.after) + ", " +
                          std::string(AdjustReasonName(a.reason)) + " | " + AdjustmentText(a));
  }
  EXPECT_EQ(adjustments, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    MakePlan, PlanAdjustments,
    testing::Values(
        AdjustCase{"InRange", [](settings::COVSettings&) {}, {}},
        AdjustCase{"Network",
                   [](settings::COVSettings& d) {
                     d.Network.Tcp.SetValue(true);
                     d.Network.UdpPort.SetValue(-1);
                     d.Network.TcpPort.SetValue(70000);
                     d.Network.SocketBufferSize.SetValue(-524288);
                     d.NetworkEx.MaxPacketSize.SetValue(99999);
                     d.NetworkEx.MaxTcpClients.SetValue(-3);
                   },
                   {"NetworkEx.MaxPacketSize: 99999 -> 65535, above_maximum | 99999 is above the version 6 maximum; "
                    "written as 65535",
                    "Network.SocketBufferSize: -524288 -> 1048576, negative | -524288 is negative; version 6 takes its "
                    "initial value 1048576",
                    "Network.UdpPort: -1 -> 514, negative | -1 is negative; version 6 takes its initial value 514",
                    "Network.TcpPort: 70000 -> 65535, above_maximum | 70000 is above the version 6 maximum; written as 65535",
                    "NetworkEx.MaxTcpClients: -3 -> 100, negative | -3 is negative; version 6 takes its initial value 100"}},
        AdjustCase{"EmptyRetention", [](settings::COVSettings& d) { d.Storage.KeepPeriod.Resize(0); },
                   {"Storage.KeepPeriod: 0 -> 1, empty_retention | empty, so keep_days is 1 (one day of logs): check the "
                    "retention you want"}},
        AdjustCase{"NoRetention", [](settings::COVSettings& d) { d.Storage.KeepPeriod[0].SetValue(0); },
                   {"Storage.KeepPeriod: 0 -> 1, no_retention | every item is 0, so keep_days is 1 (one day of logs): "
                    "check the retention you want"}},
        AdjustCase{"RetentionCapped", [](settings::COVSettings& d) { d.Storage.KeepPeriod[0].SetValue(-1); },
                   {"Storage.KeepPeriod: -1 -> 9999, retention_capped | largest item 4294967295 (-1 as stored) is above "
                    "9999 days; keep_days is 9999"}}),
    [](const testing::TestParamInfo<AdjustCase>& info) { return std::string(info.param.name); });

TEST(MakePlan, GivesLeavesAndWholeListsAStatusAndGroupsAndItemsNone) {
  settings::COVSettings doc;
  doc.Network.UdpPort.SetValue(-1);
  doc.Storage.KeepPeriod.Resize(1);
  doc.Storage.KeepPeriod[0].SetValue(30);
  doc.Dns.CacheDns.SetValue(24);
  doc.EmailAlerts.Alerts.Resize(1);
  doc.EmailAlerts.Alerts[0].To.SetValue(u"ops@example.org");
  const Plan plan = MakePlan(doc);
  const std::vector<std::pair<const settings::Var_t*, SettingStatus>> cases = {
      {&doc.Network.UdpPort, SettingStatus::kAdjusted},
      {&doc.Network.Ipv6BindAddr, SettingStatus::kCarried},  // inside the carried Network group
      {&doc.NetworkEx.MaxTcpClients, SettingStatus::kCarried},
      {&doc.Storage.KeepPeriod, SettingStatus::kCarried},
      {&doc.NetworkEx.DropLargePackets, SettingStatus::kDefault},
      {&doc.Dns.CacheDns, SettingStatus::kRecreate},
      {&doc.EmailAlerts.Alerts, SettingStatus::kRecreate},
      {&doc.Grid.Colors, SettingStatus::kDefault},
      {&doc.Network, SettingStatus::kNone},
      {&doc.Backup.Schedule, SettingStatus::kNone},
      {&doc.Storage.KeepPeriod[0], SettingStatus::kNone},
      {&doc.EmailAlerts.Alerts[0], SettingStatus::kNone},
      {&doc.EmailAlerts.Alerts[0].To, SettingStatus::kNone},
  };
  for (const auto& [setting, status] : cases) {
    EXPECT_EQ(SettingStatusName(plan.StatusOf(setting)), SettingStatusName(status)) << settings::PathOf(doc, *setting);
  }
  EXPECT_EQ(plan.RecreateCount(), 2u);
}

}  // namespace
}  // namespace recaster::mapping
