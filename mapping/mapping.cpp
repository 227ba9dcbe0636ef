// The version 6 records, their tree form, and the fitting of version 5 values into them.
#include "mapping/mapping.h"

#include <algorithm>
#include <type_traits>
#include <limits>
#include <utility>

#include "mapping/v6_fields.h"
#include "text/utf8.h"

namespace recaster::mapping {
namespace {

// Puts each of `fields` of `record` into `object`, in the table's order, in the tree's text forms.
template <typename Record, std::size_t N>
void PutFields(const std::array<Field<Record>, N>& fields, const Record& record, tree::ConfigTree& object) {
  for (const Field<Record>& field : fields) {
    std::visit(
        [&](auto value) {
          using Value = decltype(value);
          if constexpr (std::is_same_v<Value, std::u16string_view>) {
            tree::PutWideText(object, field.key, value);
          } else if constexpr (std::is_same_v<Value, bool>) {
            tree::PutBool(object, field.key, value);
          } else {
            tree::PutNumber(object, field.key, value);
          }
        },
        field.value(record));
  }
}

std::string SignedText(std::int32_t value) { return std::to_string(value); }

void FillUdp(const UdpListener& listener, tree::ConfigTree& object) {
  PutListenerFields(listener, object);
  tree::PutText(object, "type", "udp");
}

void FillTcp(const TcpListener& listener, tree::ConfigTree& object) {
  PutStreamFields(listener, object);
  tree::PutText(object, "type", "tcp");
}

void FillNetwork(const NetworkConfig& network, tree::ConfigTree& object) {
  tree::ConfigTree& interfaces = tree::PutChild(object, "interfaces");
  for (const UdpListener& listener : network.udp) FillUdp(listener, tree::AppendChild(interfaces));
  for (const TcpListener& listener : network.tcp) FillTcp(listener, tree::AppendChild(interfaces));
}

void FillStorage(const StorageConfig& storage, tree::ConfigTree& object) { PutFields(kStorageFields, storage, object); }

}  // namespace

std::string FieldText(const FieldValue& value) {
  return std::visit(
      [](auto v) -> std::string {
        using Value = decltype(v);
        if constexpr (std::is_same_v<Value, std::u16string_view>) {
          return text::ToUtf8(v);
        } else if constexpr (std::is_same_v<Value, bool>) {
          return std::string(tree::BoolText(v));
        } else {
          return tree::NumberText(v);
        }
      },
      value);
}

std::string_view ProtocolName(Protocol protocol) {
  switch (protocol) {
    case Protocol::kUdp:
      return "UDP";
    case Protocol::kTcp:
      return "TCP";
  }
  return "";
}

std::string_view FamilyName(Family family) {
  switch (family) {
    case Family::kIpv4:
      return "IPv4";
    case Family::kIpv6:
      return "IPv6";
  }
  return "";
}

std::string_view AdjustReasonName(AdjustReason reason) {
  switch (reason) {
    case AdjustReason::kAboveMaximum:
      return "above_maximum";
    case AdjustReason::kNegative:
      return "negative";
    case AdjustReason::kEmptyRetention:
      return "empty_retention";
    case AdjustReason::kNoRetention:
      return "no_retention";
    case AdjustReason::kRetentionCapped:
      return "retention_capped";
  }
  return "";
}

std::string_view SettingStatusName(SettingStatus status) {
  switch (status) {
    case SettingStatus::kCarried:
      return "carried";
    case SettingStatus::kAdjusted:
      return "adjusted";
    case SettingStatus::kRecreate:
      return "recreate";
    case SettingStatus::kDefault:
      return "default";
    case SettingStatus::kNone:
      return "none";
  }
  return "";
}

std::string AdjustmentText(const Adjustment& adjustment) {
  const std::string after = tree::NumberText(adjustment.after);
  switch (adjustment.reason) {
    case AdjustReason::kAboveMaximum:
      return SignedText(adjustment.before) + " is above the version 6 maximum; written as " + after;
    case AdjustReason::kNegative:
      return SignedText(adjustment.before) + " is negative; version 6 takes its initial value " + after;
    case AdjustReason::kEmptyRetention:
      return "empty, so keep_days is " + after + " (one day of logs): check the retention you want";
    case AdjustReason::kNoRetention:
      return "every item is 0, so keep_days is " + after + " (one day of logs): check the retention you want";
    case AdjustReason::kRetentionCapped:
      return "largest item " + tree::NumberText(static_cast<std::uint32_t>(adjustment.before)) +
             (adjustment.before < 0 ? " (" + SignedText(adjustment.before) + " as stored)" : std::string()) +
             " is above " + after + " days; keep_days is " + after;
  }
  return std::string();
}

void PutListenerFields(const ListenerConfig& listener, tree::ConfigTree& object) {
  PutFields(kListenerFields, listener, object);
}

void PutFramingFields(const FramingOptions& framing, tree::ConfigTree& object) {
  PutFields(kFramingFields, framing, object);
}

void PutStreamFields(const TcpListener& listener, tree::ConfigTree& object) {
  PutListenerFields(listener, object);
  PutFields(kStreamFields, listener, object);
  PutFramingFields(listener.framing, object);
}

tree::ConfigTree UdpListenerToTree(const UdpListener& listener) {
  tree::ConfigTree object;
  FillUdp(listener, object);
  return object;
}

tree::ConfigTree TcpListenerToTree(const TcpListener& listener) {
  tree::ConfigTree object;
  FillTcp(listener, object);
  return object;
}

tree::ConfigTree NetworkToTree(const NetworkConfig& network) {
  tree::ConfigTree object;
  FillNetwork(network, object);
  return object;
}

tree::ConfigTree StorageToTree(const StorageConfig& storage) {
  tree::ConfigTree object;
  FillStorage(storage, object);
  return object;
}

void PutNetwork(const NetworkConfig& network, tree::ConfigTree& root) { FillNetwork(network, tree::PutChild(root, "network")); }

void PutStorage(const StorageConfig& storage, tree::ConfigTree& root) { FillStorage(storage, tree::PutChild(root, "storage")); }

Fitted Fit16(std::int32_t value, std::uint16_t initial) {
  constexpr std::int32_t kMax = std::numeric_limits<std::uint16_t>::max();
  if (value < 0) return {initial, AdjustReason::kNegative, value};
  if (value > kMax) return {kMax, AdjustReason::kAboveMaximum, value};
  return {static_cast<std::uint32_t>(value), std::nullopt, value};
}

Fitted Fit32(std::int32_t value, std::uint32_t initial) {
  if (value < 0) return {initial, AdjustReason::kNegative, value};
  return {static_cast<std::uint32_t>(value), std::nullopt, value};
}

Fitted FitKeepDays(std::span<const settings::VarInt_t> items) {
  std::uint32_t largest = 0;
  for (const settings::VarInt_t& item : items) largest = std::max(largest, static_cast<std::uint32_t>(item.Value()));
  const auto as_stored = static_cast<std::int32_t>(largest);
  if (largest == 0) return {1, items.empty() ? AdjustReason::kEmptyRetention : AdjustReason::kNoRetention, 0};
  if (largest > kMaxKeepDays) return {kMaxKeepDays, AdjustReason::kRetentionCapped, as_stored};
  return {largest, std::nullopt, as_stored};
}

}  // namespace recaster::mapping
