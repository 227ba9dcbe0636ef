// File: mapping/mapping.h - version 5 settings to the migration plan (every decision the conversion
// makes: listeners, storage, adjusted values, the settings left behind), and the plan's version 6
// records to their configuration tree branches "network" and "storage".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/setting_walk.h"
#include "settings/var.h"
#include "tree/config_tree.h"

namespace recaster::settings {
class COVSettings;
}

namespace recaster::mapping {

// What a version 6 listener listens with.
enum class Protocol : std::uint8_t { kUdp, kTcp };
// The address family a version 6 listener listens in.
enum class Family : std::uint8_t { kIpv4, kIpv6 };

// "UDP" or "TCP".
std::string_view ProtocolName(Protocol protocol);
// "IPv4" or "IPv6".
std::string_view FamilyName(Family family);

// The fields every version 6 listener has, in the order of the version 6 model, and the family it was
// made for. The address is not copied: it views the bind address in the settings document (or a
// literal), so a record lives no longer than what it views.
struct ListenerConfig {
  std::u16string_view addr;
  Family family = Family::kIpv4;
  std::uint16_t port = 514;
  std::uint16_t max_msg_len = 10000;
  std::uint16_t max_session_history = 1000;
  std::uint32_t socket_buffer_size = 1048576;
};

// A UDP listener: the common fields only.
struct UdpListener : ListenerConfig {
  static constexpr Protocol kProtocol = Protocol::kUdp;
};

// How a TCP stream is cut into messages.
struct FramingOptions {
  bool detect_octet_count = true;
  bool separate_by_cr_lf = true;
};

// A TCP listener: the common fields, then the stream fields.
struct TcpListener : ListenerConfig {
  static constexpr Protocol kProtocol = Protocol::kTcp;
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
void PutListenerFields(const ListenerConfig& listener, tree::ConfigTree& object);

// Puts "detect_octet_count", then "separate_by_cr_lf".
void PutFramingFields(const FramingOptions& framing, tree::ConfigTree& object);

// The listener fields, then "disconnect_inactive_sec", "disconnect_oldest", "max_concurrent_sessions"
// and the framing fields.
void PutStreamFields(const TcpListener& listener, tree::ConfigTree& object);

// A new object: the listener fields and "type" "udp".
tree::ConfigTree UdpListenerToTree(const UdpListener& listener);

// A new object: the stream fields and "type" "tcp".
tree::ConfigTree TcpListenerToTree(const TcpListener& listener);

// A new object whose only member "interfaces" lists the UDP listeners, then the TCP listeners; with no
// listener at all "interfaces" is a node without members (written as "").
tree::ConfigTree NetworkToTree(const NetworkConfig& network);

// A new object: "folder", "keep_days", "keep_gbs", "check_period", "flush_period", "hours_per_file".
tree::ConfigTree StorageToTree(const StorageConfig& storage);

// NetworkToTree and StorageToTree built in place: as "network" and "storage" of `root`, each replacing
// a member of that name in its place, else appended.
void PutNetwork(const NetworkConfig& network, tree::ConfigTree& root);
void PutStorage(const StorageConfig& storage, tree::ConfigTree& root);

// Limits of the version 6 model that version 5 values are fitted into.
inline constexpr std::uint32_t kMaxKeepDays = 9999;

// Why the mapping changed a version 5 value.
enum class AdjustReason : std::uint8_t {
  kAboveMaximum,     // above a 16-bit field's maximum: the maximum
  kNegative,         // negative: the field's version 6 initial value
  kEmptyRetention,   // Storage.KeepPeriod has no item: keep_days 1
  kNoRetention,      // every Storage.KeepPeriod item is 0: keep_days 1
  kRetentionCapped,  // the largest Storage.KeepPeriod item is above kMaxKeepDays: kMaxKeepDays
};

// "above_maximum", "negative", "empty_retention", "no_retention" or "retention_capped".
std::string_view AdjustReasonName(AdjustReason reason);

// One version 5 value version 6 takes changed.
struct Adjustment {
  const settings::Var_t* setting = nullptr;  // an integer setting, or the retention list
  std::string path;                          // "Network.UdpPort"
  std::int32_t before = 0;  // the value as stored; for the retention list its largest item (0 when empty)
  std::uint32_t after = 0;  // what version 6 takes
  AdjustReason reason = AdjustReason::kAboveMaximum;
};

// What a person reads about the adjustment, e.g. "70000 is above the version 6 maximum; written as
// 65535"; a retention item above 2^31 is given as read unsigned, then "(-1 as stored)".
std::string AdjustmentText(const Adjustment& adjustment);

// How a version 5 value fits its version 6 field: what version 6 takes and, when that differs, why.
struct Fitted {
  std::uint32_t value = 0;
  std::optional<AdjustReason> reason;  // none: taken as it is
  std::int32_t before = 0;             // what was read (for the retention, its largest item as stored)
};

// The rules of fitting a version 5 value into its version 6 field, as values: a 16-bit field takes the
// value unchanged when it fits, 65535 when above, its `initial` value when negative; a 32-bit field
// changes only a negative value, to `initial`; the retention in days is the largest KeepPeriod item
// taken as unsigned 32-bit (a negative one is huge), at least 1, at most kMaxKeepDays.
Fitted Fit16(std::int32_t value, std::uint16_t initial);
Fitted Fit32(std::int32_t value, std::uint32_t initial);
Fitted FitKeepDays(std::span<const settings::VarInt_t> items);

// Where a version 5 setting stands in the plan. Leaf settings and lists as a whole have one of the
// first four; groups, list items and the settings inside list items have none.
enum class SettingStatus : std::uint8_t {
  kCarried,   // version 6 takes it over (CarriedOver)
  kAdjusted,  // carried, with its value changed to fit
  kRecreate,  // not carried and not at its default: a person re-creates it
  kDefault,   // not carried, at its default
  kNone,
};

// "carried", "adjusted", "recreate", "default" or "none".
std::string_view SettingStatusName(SettingStatus status);

// Everything the conversion decides about one settings document, decided once. Values are read where
// they lie: the plan views the document and must not outlive it (nor see it change).
struct Plan {
  NetworkConfig network;  // one listener per protocol and family: UDP/IPv4, UDP/IPv6, TCP/IPv4, TCP/IPv6
  StorageConfig storage;
  const settings::VarVec_t<settings::VarInt_t>* keep_period = nullptr;  // the items keep_days comes from
  std::vector<Adjustment> adjustments;              // in mapping order: network, then storage
  std::vector<settings::SettingView> left_behind;   // to re-create by hand, in document order; a list is one
  // Every leaf setting and list outside list items with its status, ordered by address (StatusOf).
  std::vector<std::pair<const settings::Var_t*, SettingStatus>> statuses;

  // The status of any setting of the document; kNone for a group, a list item or anything inside one.
  SettingStatus StatusOf(const settings::Var_t* setting) const;
  // The number of settings to re-create by hand, each list counting once.
  std::size_t RecreateCount() const { return left_behind.size(); }
};

// The plan of a loaded document.
Plan MakePlan(const settings::COVSettings& document);

// The tree of a plan: "network" then "storage", each built in place.
tree::ConfigTree PlanToTree(const Plan& plan);

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

// The plan's network (from the Network and NetworkEx groups) put as "network" into `root`, replacing a
// "network" member in place, else appended. The document is only read; IPv6 "bind any" listens on
// "::". The adjusted values are the plan's (MakePlan).
void MapNetwork(const settings::COVSettings& document, tree::ConfigTree& root);

// The plan's storage (keep_days from Storage.KeepPeriod, everything else fixed) put as "storage" into
// `root` (replacing in place, else appended).
void MapStorage(const settings::COVSettings& document, tree::ConfigTree& root);

}  // namespace recaster::mapping
