// File: mapping/mapping.h - version 5 network and storage settings to the version 6 records and
// their configuration tree branches "network" and "storage".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/config_tree.h"

namespace recaster::settings {
class COVSettings;
class Var_t;
}

namespace recaster::mapping {

using convert::ConfigTree;

// One adjustment the mapping made to a version 5 value, for a person finishing the migration.
struct MappingNote {
  std::string setting;  // "Group.Key", e.g. "Network.UdpPort"
  std::string text;     // what was read and what was written instead
};

// The fields every version 6 listener has, in the order of the version 6 model.
struct ListenerConfig {
  std::string addr;  // UTF-8
  std::uint16_t port = 514;
  std::uint16_t max_msg_len = 10000;
  std::uint16_t max_session_history = 1000;
  std::uint32_t socket_buffer_size = 1048576;
};

// A UDP listener: the common fields only.
struct UdpListener : ListenerConfig {};

// How a TCP stream is cut into messages.
struct FramingOptions {
  bool detect_octet_count = true;
  bool separate_by_cr_lf = true;
};

// A TCP listener: the common fields, then the stream fields.
struct TcpListener : ListenerConfig {
  std::uint32_t disconnect_inactive_sec = 0;
  std::uint16_t max_concurrent_sessions = 100;
  bool disconnect_oldest = false;
  FramingOptions framing;
};

// The listeners of a version 6 server: UDP ones, then TCP ones, each in the order they were added.
struct NetworkConfig {
  std::vector<UdpListener> udp;
  std::vector<TcpListener> tcp;
};

// The storage settings of a version 6 server.
struct StorageConfig {
  std::uint32_t check_period = 360;
  std::uint32_t flush_period = 500;
  std::u16string folder;
  std::uint32_t keep_days = 1;
  std::uint32_t keep_gbs = 10000;
  std::uint8_t hours_per_file = 24;
};

// Puts "addr", "port", "max_msg_len", "socket_buffer_size", "max_session_history", in that order.
void PutListenerFields(const ListenerConfig& listener, ConfigTree& object);

// Puts "detect_octet_count", then "separate_by_cr_lf".
void PutFramingFields(const FramingOptions& framing, ConfigTree& object);

// The listener fields, then "disconnect_inactive_sec", "disconnect_oldest", "max_concurrent_sessions"
// and the framing fields.
void PutStreamFields(const TcpListener& listener, ConfigTree& object);

// A new object: the listener fields and "type" "udp".
ConfigTree UdpListenerToTree(const UdpListener& listener);

// A new object: the stream fields and "type" "tcp".
ConfigTree TcpListenerToTree(const TcpListener& listener);

// A new object whose only member "interfaces" lists the UDP listeners, then the TCP listeners; with no
// listener at all "interfaces" is a node without members (written as "").
ConfigTree NetworkToTree(const NetworkConfig& network);

// A new object: "folder", "keep_days", "keep_gbs", "check_period", "flush_period", "hours_per_file".
ConfigTree StorageToTree(const StorageConfig& storage);

// Limits of the version 6 model that version 5 values are fitted into.
inline constexpr std::uint32_t kMaxKeepDays = 9999;

// A version 5 integer in a 16-bit version 6 field: unchanged when it fits, 65535 when above, the
// field's `initial` value when negative. Every change is added to `notes` (when given) under `setting`.
std::uint16_t FitUnsigned16(std::int32_t value, std::uint16_t initial, std::string_view setting,
                            std::vector<MappingNote>* notes);

// The same for a 32-bit version 6 field: only a negative value changes, to `initial`.
std::uint32_t FitUnsigned32(std::int32_t value, std::uint32_t initial, std::string_view setting,
                            std::vector<MappingNote>* notes);

// The retention in days from the version 5 KeepPeriod items: the largest item taken as unsigned
// 32-bit (a negative one is huge), at least 1, at most kMaxKeepDays. An empty or all-zero list (no
// retention in version 5) and a capped value are noted under `setting`.
std::uint32_t KeepDaysFromKeepPeriod(std::span<const std::int32_t> items, std::string_view setting,
                                     std::vector<MappingNote>* notes);

// An address family a version 5 server listens in, with the address it listens on there.
struct ListenFamily {
  std::string_view name;  // "IPv4" or "IPv6"
  std::string addr;       // UTF-8
};

// The families the document's Network group turns on, IPv4 first, each with its listen address (IPv4
// "bind any" is "0.0.0.0", IPv6 "::"). MapNetwork makes, for each protocol it carries, one listener
// per family in this order.
std::vector<ListenFamily> ListenFamilies(const settings::COVSettings& document);

// The version 5 settings that MapNetwork and MapStorage carry into version 6, a group standing for
// everything it holds; every other setting is left for a person to re-create.
std::vector<const settings::Var_t*> CarriedOver(const settings::COVSettings& document);

// Fills a NetworkConfig from the document's Network and NetworkEx groups and puts it as "network"
// into `root` (replacing a "network" member in place, else appending it). The document is only read;
// IPv6 "bind any" listens on "::". Adjusted values are added to `notes` when given.
void MapNetwork(const settings::COVSettings& document, ConfigTree& root, std::vector<MappingNote>* notes = nullptr);

// Fills a StorageConfig (keep_days from Storage.KeepPeriod, everything else fixed) and puts it as
// "storage" into `root` (replacing in place, else appending). Adjustments go to `notes` when given.
void MapStorage(const settings::COVSettings& document, ConfigTree& root, std::vector<MappingNote>* notes = nullptr);

}  // namespace recaster::mapping
