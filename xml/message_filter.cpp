// The message filter record: reset, and its element form.
#include "xml/message_filter.h"

#include <string>

#include <boost/format.hpp>

namespace recaster::xml {
namespace {

// The zero-padded position "000000", "000001", ... that names the items of a filter's text lists.
std::u16string FilterItemName(std::size_t index) {
  const std::wstring wide = (boost::wformat(L"%06d") % index).str();
  return std::u16string(wide.begin(), wide.end());  // ASCII digits only
}

// Sets `flag` from the child `name` of `parent`, where that child is present.
void LoadFlag(const XmlNode& parent, std::u16string_view name, bool& flag) {
  const XmlNode& child = parent.FindChild(name);
  if (child.IsValid()) flag = ParseXmlBool(child.Text());  // an empty text gives false
}

// Sets `number` from the child `name` of `parent`, where that child is present.
void LoadNumber(const XmlNode& parent, std::u16string_view name, std::int32_t& number) {
  const XmlNode& child = parent.FindChild(name);
  if (child.IsValid()) number = ParseXmlInt(child.Text());
}

// Sets `text` from the attribute "text" of the child `name` of `parent`, where that child is present.
void LoadText(const XmlNode& parent, std::u16string_view name, std::u16string& text) {
  const XmlNode& child = parent.FindChild(name);
  if (child.IsValid()) text = child.GetAttribute(u"text");
}

// Appends to `list` the non-empty "text" attributes of the children of the child `name` of `parent`.
void LoadList(const XmlNode& parent, std::u16string_view name, std::vector<std::u16string>& list) {
  const XmlNode& element = parent.FindChild(name);
  for (std::int32_t i = 0; i < element.ChildCount(); ++i) {
    std::u16string text = element.ChildAt(i).GetAttribute(u"text");
    if (!text.empty()) list.push_back(std::move(text));
  }
}

void SaveList(XmlNode& parent, std::u16string name, const std::vector<std::u16string>& list) {
  XmlNode& element = parent.AddChild(std::move(name));
  for (std::size_t i = 0; i < list.size(); ++i) element.AddChild(FilterItemName(i)).SetAttribute(u"text", list[i]);
}

bool AnySet(const MatchOptions& options) { return options.matchCase || options.matchWhole || options.wildcards; }

}  // namespace

void MessageFilter::Reset() {
  std::u16string kept = std::move(name);
  *this = MessageFilter();
  name = std::move(kept);
}

bool MessageFilter::IsInitial() const {
  static constexpr MatchOptions kNoMatch;
  return name.empty() && !negation && !severityCheck && !facilityCheck && !sourceCheck && !originCheck && !tagCheck &&
         !messageCheck && severityMask == kAllSeverities && facilityMask == kAllFacilities && sources.empty() && origins.empty() &&
         originMatch == kNoMatch && tags.empty() && tagMatch == kNoMatch && content.empty() && contentMatch == kNoMatch &&
         wildcardType == 0;
}

void LoadMatchOptions(const XmlNode& element, MatchOptions& options) {
  LoadFlag(element, u"MatchCase", options.matchCase);
  LoadFlag(element, u"MatchWhole", options.matchWhole);
  LoadFlag(element, u"Wildcards", options.wildcards);
}

void SaveMatchOptions(XmlNode& element, const MatchOptions& options) {
  element.AddChild(u"MatchCase").SetTextBool(options.matchCase);
  element.AddChild(u"MatchWhole").SetTextBool(options.matchWhole);
  element.AddChild(u"Wildcards").SetTextBool(options.wildcards);
}

void LoadFilter(const XmlNode& element, MessageFilter& filter) {
  filter.Reset();
  LoadText(element, u"Name", filter.name);
  LoadFlag(element, u"Negation", filter.negation);

  if (const XmlNode& severity = element.FindChild(u"Severity"); severity.IsValid()) {
    LoadFlag(severity, u"Check", filter.severityCheck);
    LoadNumber(severity, u"Mask", filter.severityMask);
  }
  if (const XmlNode& facility = element.FindChild(u"Facility"); facility.IsValid()) {
    LoadFlag(facility, u"Check", filter.facilityCheck);
    LoadNumber(facility, u"Mask", filter.facilityMask);
  }
  if (const XmlNode& source = element.FindChild(u"Source"); source.IsValid()) {
    LoadFlag(source, u"Check", filter.sourceCheck);
    LoadList(source, u"SourceList", filter.sources);
  }
  if (const XmlNode& origin = element.FindChild(u"Origin"); origin.IsValid()) {
    LoadFlag(origin, u"Check", filter.originCheck);
    LoadMatchOptions(origin, filter.originMatch);
    LoadList(origin, u"OriginList", filter.origins);
  }
  if (const XmlNode& tag = element.FindChild(u"Tag"); tag.IsValid()) {
    LoadFlag(tag, u"Check", filter.tagCheck);
    LoadMatchOptions(tag, filter.tagMatch);
    LoadList(tag, u"TagList", filter.tags);
  }
  if (const XmlNode& message = element.FindChild(u"Message"); message.IsValid()) {
    LoadFlag(message, u"Check", filter.messageCheck);
    LoadMatchOptions(message, filter.contentMatch);
    LoadNumber(message, u"WildcardType", filter.wildcardType);
    LoadText(message, u"Content", filter.content);
  }
}

// Each condition element is complete before the next is appended: AddChild on `element` invalidates
// references to its earlier children.
void SaveFilter(XmlNode& element, const MessageFilter& filter) {
  const MessageFilter initial;
  element.AddChild(u"Name").SetAttribute(u"text", filter.name);
  if (filter.negation) element.AddChild(u"Negation").SetTextBool(filter.negation);

  if (filter.severityCheck || filter.severityMask != initial.severityMask) {
    XmlNode& severity = element.AddChild(u"Severity");
    severity.AddChild(u"Check").SetTextBool(filter.severityCheck);
    severity.AddChild(u"Mask").SetTextInt(filter.severityMask);
  }
  if (filter.facilityCheck || filter.facilityMask != initial.facilityMask) {
    XmlNode& facility = element.AddChild(u"Facility");
    facility.AddChild(u"Check").SetTextBool(filter.facilityCheck);
    facility.AddChild(u"Mask").SetTextInt(filter.facilityMask);
  }
  if (filter.sourceCheck || !filter.sources.empty()) {
    XmlNode& source = element.AddChild(u"Source");
    source.AddChild(u"Check").SetTextBool(filter.sourceCheck);
    SaveList(source, u"SourceList", filter.sources);
  }
  if (filter.originCheck || AnySet(filter.originMatch) || !filter.origins.empty()) {
    XmlNode& origin = element.AddChild(u"Origin");
    origin.AddChild(u"Check").SetTextBool(filter.originCheck);
    SaveMatchOptions(origin, filter.originMatch);
    SaveList(origin, u"OriginList", filter.origins);
  }
  if (filter.tagCheck || AnySet(filter.tagMatch) || !filter.tags.empty()) {
    XmlNode& tag = element.AddChild(u"Tag");
    tag.AddChild(u"Check").SetTextBool(filter.tagCheck);
    SaveMatchOptions(tag, filter.tagMatch);
    SaveList(tag, u"TagList", filter.tags);
  }
  if (filter.messageCheck || AnySet(filter.contentMatch) || filter.wildcardType != initial.wildcardType ||
      !filter.content.empty()) {
    XmlNode& message = element.AddChild(u"Message");
    message.AddChild(u"Check").SetTextBool(filter.messageCheck);
    SaveMatchOptions(message, filter.contentMatch);
    message.AddChild(u"WildcardType").SetTextInt(filter.wildcardType);
    message.AddChild(u"Content").SetAttribute(u"text", filter.content);
  }
}

}  // namespace recaster::xml
