// File: xml/message_filter.h - the message filter record of the settings files and its element form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xml/xml_document.h"

namespace recaster::xml {

// How the texts of one filter condition are matched.
struct MatchOptions {
  bool matchCase = false;
  bool matchWhole = false;
  bool wildcards = false;

  bool operator==(const MatchOptions&) const = default;
};

// One filter over syslog messages: a name, an inversion flag and six conditions with their switches.
struct MessageFilter {
  static constexpr std::int32_t kAllSeverities = 255;       // bit n: severity n; all eight
  static constexpr std::int32_t kAllFacilities = 16777215;  // bit n: facility n; all twenty-four

  std::u16string name;
  bool negation = false;
  bool severityCheck = false;
  bool facilityCheck = false;
  bool sourceCheck = false;
  bool originCheck = false;
  bool tagCheck = false;
  bool messageCheck = false;
  std::int32_t severityMask = kAllSeverities;
  std::int32_t facilityMask = kAllFacilities;
  std::vector<std::u16string> sources;
  std::vector<std::u16string> origins;
  MatchOptions originMatch;
  std::vector<std::u16string> tags;
  MatchOptions tagMatch;
  std::u16string content;
  MatchOptions contentMatch;
  std::int32_t wildcardType = 0;

  // Every field but the name back to its initial value.
  void Reset();
  // True when every field, the name included, is as in a new record; compares without making one.
  bool IsInitial() const;
  bool operator==(const MessageFilter&) const = default;
};

// Resets the record, then reads the filter's child elements from its (valid) element.
void LoadFilter(const XmlNode& element, MessageFilter& filter);
// Appends the filter's child elements: the name always, each condition where it differs from the
// initial record.
void SaveFilter(XmlNode& element, const MessageFilter& filter);
// Reads "MatchCase", "MatchWhole" and "Wildcards" below `element`, each where present.
void LoadMatchOptions(const XmlNode& element, MatchOptions& options);
// Appends "MatchCase", "MatchWhole" and "Wildcards" below `element`.
void SaveMatchOptions(XmlNode& element, const MatchOptions& options);

}  // namespace recaster::xml
