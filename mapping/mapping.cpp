// The version 6 records, their tree form, and the fitting of version 5 values into them.
#include "mapping/mapping.h"

#include <limits>
#include <utility>

namespace recaster::mapping {
namespace {

using convert::PutBool;
using convert::PutNumber;
using convert::PutText;

void Note(std::vector<MappingNote>* notes, std::string_view setting, std::string text) {
  if (notes != nullptr) notes->push_back(MappingNote{std::string(setting), std::move(text)});
}

std::string SignedText(std::int32_t value) {
  return std::to_string(value);
}

}  // namespace

void PutListenerFields(const ListenerConfig& listener, ConfigTree& object) {
  PutText(object, "addr", listener.addr);
  PutNumber(object, "port", listener.port);
  PutNumber(object, "max_msg_len", listener.max_msg_len);
  PutNumber(object, "socket_buffer_size", listener.socket_buffer_size);
  PutNumber(object, "max_session_history", listener.max_session_history);
}

void PutFramingFields(const FramingOptions& framing, ConfigTree& object) {
  PutBool(object, "detect_octet_count", framing.detect_octet_count);
  PutBool(object, "separate_by_cr_lf", framing.separate_by_cr_lf);
}

void PutStreamFields(const TcpListener& listener, ConfigTree& object) {
  PutListenerFields(listener, object);
  PutNumber(object, "disconnect_inactive_sec", listener.disconnect_inactive_sec);
  PutBool(object, "disconnect_oldest", listener.disconnect_oldest);
  PutNumber(object, "max_concurrent_sessions", listener.max_concurrent_sessions);
  PutFramingFields(listener.framing, object);
}

ConfigTree UdpListenerToTree(const UdpListener& listener) {
  ConfigTree object;
  PutListenerFields(listener, object);
  PutText(object, "type", "udp");
  return object;
}

ConfigTree TcpListenerToTree(const TcpListener& listener) {
  ConfigTree object;
  PutStreamFields(listener, object);
  PutText(object, "type", "tcp");
  return object;
}

ConfigTree NetworkToTree(const NetworkConfig& network) {
  ConfigTree interfaces;
  for (const UdpListener& listener : network.udp) convert::AppendElement(interfaces, UdpListenerToTree(listener));
  for (const TcpListener& listener : network.tcp) convert::AppendElement(interfaces, TcpListenerToTree(listener));
  ConfigTree result;
  convert::PutSubtree(result, "interfaces", std::move(interfaces));
  return result;
}

ConfigTree StorageToTree(const StorageConfig& storage) {
  ConfigTree object;
  PutText(object, "folder", convert::ToUtf8(storage.folder));
  PutNumber(object, "keep_days", storage.keep_days);
  PutNumber(object, "keep_gbs", storage.keep_gbs);
  PutNumber(object, "check_period", storage.check_period);
  PutNumber(object, "flush_period", storage.flush_period);
  PutNumber(object, "hours_per_file", storage.hours_per_file);
  return object;
}

std::uint16_t FitUnsigned16(std::int32_t value, std::uint16_t initial, std::string_view setting,
                            std::vector<MappingNote>* notes) {
  constexpr std::int32_t kMax = std::numeric_limits<std::uint16_t>::max();
  if (value < 0) {
    Note(notes, setting,
         SignedText(value) + " is negative; version 6 takes its initial value " + convert::NumberText(initial));
    return initial;
  }
  if (value > kMax) {
    Note(notes, setting, SignedText(value) + " is above the version 6 maximum; written as 65535");
    return static_cast<std::uint16_t>(kMax);
  }
  return static_cast<std::uint16_t>(value);
}

std::uint32_t FitUnsigned32(std::int32_t value, std::uint32_t initial, std::string_view setting,
                            std::vector<MappingNote>* notes) {
  if (value < 0) {
    Note(notes, setting,
         SignedText(value) + " is negative; version 6 takes its initial value " + convert::NumberText(initial));
    return initial;
  }
  return static_cast<std::uint32_t>(value);
}

std::uint32_t KeepDaysFromKeepPeriod(std::span<const std::int32_t> items, std::string_view setting,
                                     std::vector<MappingNote>* notes) {
  std::uint32_t largest = 1;
  bool any_retention = false;
  for (const std::int32_t item : items) {
    const auto days = static_cast<std::uint32_t>(item);
    if (days != 0) any_retention = true;
    if (days > largest) largest = days;
  }
  if (!any_retention) {
    Note(notes, setting, items.empty() ? "empty, so keep_days is 1 (one day of logs): check the retention you want"
                                        : "every item is 0, so keep_days is 1 (one day of logs): check the retention you want");
    return 1;
  }
  if (largest > kMaxKeepDays) {
    Note(notes, setting,
         "largest item " + convert::NumberText(largest) +
             (static_cast<std::int32_t>(largest) < 0 ? " (" + SignedText(static_cast<std::int32_t>(largest)) + " as stored)"
                                                     : std::string()) +
             " is above 9999 days; keep_days is 9999");
    return kMaxKeepDays;
  }
  return largest;
}

}  // namespace recaster::mapping
