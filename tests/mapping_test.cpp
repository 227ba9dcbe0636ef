// The version 6 records' tree form and the fitting of version 5 values into version 6 fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/convert.h"
#include "mapping/mapping.h"

namespace recaster::mapping {
namespace {

// The keys of an object's members, in order.
std::vector<std::string> Keys(const ConfigTree& object) {
  std::vector<std::string> keys;
  for (const auto& member : object) keys.push_back(member.first);
  return keys;
}

TEST(ListenerToTree, UdpMembersComeInTheVersion6Order) {
  UdpListener udp;
  udp.addr = "0.0.0.0";
  const ConfigTree object = UdpListenerToTree(udp);
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
  const ConfigTree object = TcpListenerToTree(tcp);
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
  tcp.addr = "t";
  network.tcp.push_back(tcp);
  UdpListener udp;
  udp.addr = "u1";
  network.udp.push_back(udp);
  udp.addr = "u2";
  network.udp.push_back(udp);
  network.udp.push_back(udp);  // an equal listener is a second element
  const ConfigTree tree = NetworkToTree(network);
  ASSERT_EQ(Keys(tree), std::vector<std::string>{"interfaces"});
  std::vector<std::string> order;
  for (const auto& element : tree.get_child("interfaces")) {
    EXPECT_EQ(element.first, "");
    order.push_back(element.second.get<std::string>("addr") + "/" + element.second.get<std::string>("type"));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"u1/udp", "u2/udp", "u2/udp", "t/tcp"}));
}

TEST(NetworkToTree, NoListenerIsWrittenAsEmptyString) {
  ConfigTree root;
  convert::PutSubtree(root, "network", NetworkToTree(NetworkConfig{}));
  EXPECT_EQ(convert::ConfigTreeToJson(root), "{\n    \"network\": {\n        \"interfaces\": \"\"\n    }\n}\n");
}

TEST(StorageToTree, WritesSixMembersInOrderWithHoursAsDigits) {
  StorageConfig storage;
  storage.folder = u"D:\\Logs";
  const ConfigTree object = StorageToTree(storage);
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
  bool noted;
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

class FitUnsigned16Table : public testing::TestWithParam<FitCase> {};

TEST_P(FitUnsigned16Table, KeepsFittingValuesAndNotesTheOthers) {
  std::vector<MappingNote> notes;
  EXPECT_EQ(FitUnsigned16(GetParam().value, 514, "Network.UdpPort", &notes), GetParam().expected);
  ASSERT_EQ(notes.size(), GetParam().noted ? 1u : 0u);
  if (GetParam().noted) {
    EXPECT_EQ(notes[0].setting, "Network.UdpPort");
  }
}

INSTANTIATE_TEST_SUITE_P(FitUnsigned16, FitUnsigned16Table,
                         testing::Values(FitCase{"Zero", 0, 0, false}, FitCase{"Typical", 1514, 1514, false},
                                         FitCase{"Largest", 65535, 65535, false},
                                         FitCase{"JustAbove", 65536, 65535, true},
                                         FitCase{"LegacyMaximum", 99999, 65535, true},
                                         FitCase{"Int32Max", 2147483647, 65535, true},
                                         FitCase{"MinusOne", -1, 514, true},
                                         FitCase{"Int32Min", -2147483647 - 1, 514, true}),
                         [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

TEST(FitUnsigned32, OnlyNegativeValuesChange) {
  std::vector<MappingNote> notes;
  EXPECT_EQ(FitUnsigned32(2147483647, 1048576, "Network.SocketBufferSize", &notes), 2147483647u);
  EXPECT_EQ(FitUnsigned32(0, 1048576, "Network.SocketBufferSize", &notes), 0u);
  EXPECT_TRUE(notes.empty());
  EXPECT_EQ(FitUnsigned32(-5, 1048576, "Network.SocketBufferSize", &notes), 1048576u);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].setting, "Network.SocketBufferSize");
  EXPECT_NE(notes[0].text.find("-5"), std::string::npos);
  EXPECT_NE(notes[0].text.find("1048576"), std::string::npos);
}

TEST(FitUnsigned16, WorksWithoutANoteList) { EXPECT_EQ(FitUnsigned16(-1, 100, "x", nullptr), 100); }

struct KeepCase {
  const char* name;
  std::vector<std::int32_t> items;
  std::uint32_t days;
  bool noted;
};

void PrintTo(const KeepCase& c, std::ostream* os) { *os << c.name; }

class KeepDaysTable : public testing::TestWithParam<KeepCase> {};

TEST_P(KeepDaysTable, TakesTheLargestItemWithinOneTo9999) {
  std::vector<MappingNote> notes;
  EXPECT_EQ(KeepDaysFromKeepPeriod(GetParam().items, &notes), GetParam().days);
  ASSERT_EQ(notes.size(), GetParam().noted ? 1u : 0u);
  if (GetParam().noted) {
    EXPECT_EQ(notes[0].setting, "Storage.KeepPeriod");
  }
}

INSTANTIATE_TEST_SUITE_P(KeepDays, KeepDaysTable,
                         testing::Values(KeepCase{"Empty", {}, 1, true}, KeepCase{"AllZero", {0, 0}, 1, true},
                                         KeepCase{"One", {1}, 1, false}, KeepCase{"Largest", {7, 90, 30}, 90, false},
                                         KeepCase{"Limit", {9999}, 9999, false},
                                         KeepCase{"AboveLimit", {10, 10000}, 9999, true},
                                         KeepCase{"Negative", {5, -1}, 9999, true},
                                         KeepCase{"Int32Min", {-2147483647 - 1}, 9999, true}),
                         [](const testing::TestParamInfo<KeepCase>& info) { return std::string(info.param.name); });

TEST(KeepDays, NegativeItemIsNotedAsStored) {
  std::vector<MappingNote> notes;
  const std::int32_t items[] = {-1};
  KeepDaysFromKeepPeriod(items, &notes);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].text.find("4294967295 (-1 as stored)"), std::string::npos) << notes[0].text;
}

}  // namespace
}  // namespace recaster::mapping
