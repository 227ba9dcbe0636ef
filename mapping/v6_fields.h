// The version 6 field names of the plan's records, in the order the version 6 model writes them, each
// with how to read its value from the record. The tree writer, the report's listener and storage
// tables and the JSON report all read the records through these tables, so a field's name and place
// are said once.
#ifndef RECASTER_MAPPING_V6_FIELDS_H_
#define RECASTER_MAPPING_V6_FIELDS_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "mapping/mapping.h"

namespace recaster::mapping {

// A field's value as the record holds it: a text (the address, the folder), a number or a flag.
using FieldValue = std::variant<std::u16string_view, std::uint32_t, bool>;

// One field of a `Record`: its version 6 key and its value in a record.
template <typename Record>
struct Field {
  std::string_view key;
  FieldValue (*value)(const Record&);
};

// The fields every listener has: "addr", "port", "max_msg_len", "socket_buffer_size",
// "max_session_history".
inline constexpr std::array<Field<ListenerConfig>, 5> kListenerFields{{
    {"addr", [](const ListenerConfig& l) -> FieldValue { return l.addr; }},
    {"port", [](const ListenerConfig& l) -> FieldValue { return std::uint32_t{l.port}; }},
    {"max_msg_len", [](const ListenerConfig& l) -> FieldValue { return std::uint32_t{l.max_msg_len}; }},
    {"socket_buffer_size", [](const ListenerConfig& l) -> FieldValue { return l.socket_buffer_size; }},
    {"max_session_history", [](const ListenerConfig& l) -> FieldValue { return std::uint32_t{l.max_session_history}; }},
}};

// The fields a TCP listener has after the listener fields, before its framing:
// "disconnect_inactive_sec", "disconnect_oldest", "max_concurrent_sessions".
inline constexpr std::array<Field<TcpListener>, 3> kStreamFields{{
    {"disconnect_inactive_sec", [](const TcpListener& l) -> FieldValue { return l.disconnect_inactive_sec; }},
    {"disconnect_oldest", [](const TcpListener& l) -> FieldValue { return l.disconnect_oldest; }},
    {"max_concurrent_sessions", [](const TcpListener& l) -> FieldValue { return std::uint32_t{l.max_concurrent_sessions}; }},
}};

// How a TCP stream is cut, the last fields of a TCP listener: "detect_octet_count", "separate_by_cr_lf".
inline constexpr std::array<Field<FramingOptions>, 2> kFramingFields{{
    {"detect_octet_count", [](const FramingOptions& f) -> FieldValue { return f.detect_octet_count; }},
    {"separate_by_cr_lf", [](const FramingOptions& f) -> FieldValue { return f.separate_by_cr_lf; }},
}};

// The storage fields: "folder", "keep_days", "keep_gbs", "check_period", "flush_period",
// "hours_per_file".
inline constexpr std::array<Field<StorageConfig>, 6> kStorageFields{{
    {"folder", [](const StorageConfig& s) -> FieldValue { return std::u16string_view(s.folder); }},
    {"keep_days", [](const StorageConfig& s) -> FieldValue { return s.keep_days; }},
    {"keep_gbs", [](const StorageConfig& s) -> FieldValue { return s.keep_gbs; }},
    {"check_period", [](const StorageConfig& s) -> FieldValue { return s.check_period; }},
    {"flush_period", [](const StorageConfig& s) -> FieldValue { return s.flush_period; }},
    {"hours_per_file", [](const StorageConfig& s) -> FieldValue { return std::uint32_t{s.hours_per_file}; }},
}};

// A field's value in the text form the version 6 file holds: the text in UTF-8, the number in decimal,
// the flag as "true" or "false".
std::string FieldText(const FieldValue& value);

// The field of `fields` named `key`, for a writer that lists fields in an order of its own; a key the
// table lacks does not compile.
template <typename Record, std::size_t N>
consteval const Field<Record>& FieldNamed(const std::array<Field<Record>, N>& fields, std::string_view key) {
  for (const Field<Record>& field : fields) {
    if (field.key == key) return field;
  }
  throw "no such version 6 field";  // reached only at compile time, where it is an error
}

}  // namespace recaster::mapping

#endif  // RECASTER_MAPPING_V6_FIELDS_H_
