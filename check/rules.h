// File: check/rules.h - the members, forms and ranges of a version 6 document as `convert` writes it
// (docs/v6.schema.json says the same to a validator), applied to what the parser saw.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"

namespace recaster::check {

// What the rules expect of a container: one of the document's objects, the list of listeners, or
// nothing (an unknown member's value, or a value of the wrong type).
enum class Shape { kRoot, kNetwork, kStorage, kListener, kInterfaces, kUnchecked };

enum class Kind { kString, kNumber, kBool, kNull, kObject, kArray };

// A value as the parser met it: its kind, where it starts, and a string's or number's text. A string
// without escapes is a view of the document's bytes, valid while they are; any other text is owned.
struct Value {
  Kind kind = Kind::kNull;
  std::size_t offset = 0;
  std::string owned;
  std::string_view in_document;

  std::string_view text() const { return in_document.empty() ? std::string_view(owned) : in_document; }
};

// One member of an object of a checked shape: its name (a view of the document's bytes, or of the
// check's own text of an escaped key while the check runs), where its key starts, its value.
struct Member {
  std::string_view name;
  std::size_t key_offset = 0;
  Value value;
};

// Shown each object of a checked shape (the document, "network", "storage", a listener) as it closes,
// after its rules ran: its shape, its JSON pointer and its members in file order, the first of
// same-named ones, unknown ones too. The listeners come in the order of the array. The members are the
// check's own and change after the call: what is kept is copied. A view of the document's bytes in it
// stays valid while they are; the name of an escaped key, only while the check runs.
class ObjectVisitor {
 public:
  virtual void Closed(Shape shape, const std::string& pointer, const std::vector<Member>& members) = 0;

 protected:
  ~ObjectVisitor() = default;
};

// Collects the findings: counts every one, keeps the first `options.most_kept` in file order (a heap
// on the offset and the order of coming, so a file of millions of findings costs room for those
// alone); an unknown member counts as an error when strict.
struct Findings {
  explicit Findings(const CheckOptions& o) : options(o) {}

  CheckOptions options;
  std::size_t errors = 0;
  std::size_t warnings = 0;
  std::size_t checked = 0;  // members the rules looked at

  void Add(Severity severity, std::size_t offset, const std::string& pointer, std::string message);
  void Error(std::size_t offset, const std::string& pointer, std::string message) {
    Add(Severity::kError, offset, pointer, std::move(message));
  }
  void Warning(std::size_t offset, const std::string& pointer, std::string message) {
    Add(Severity::kWarning, offset, pointer, std::move(message));
  }
  // Whether a finding at `offset` would be kept (one that would not needs no message).
  bool Keeps(std::size_t offset) const;
  // The findings kept, in file order (those at one offset in the order they came); empties the heap.
  std::vector<Finding> TakeInFileOrder();

 private:
  struct Kept {
    Finding finding;
    std::size_t order;
  };
  static bool Earlier(const Kept& a, const Kept& b);
  std::vector<Kept> kept_;
  std::size_t order_ = 0;
};

// The shape of a container that is the value of member `name` of an object of `parent`.
Shape ShapeOfMember(Shape parent, std::string_view name, Kind kind);
// The shape of a container that is an element of an array of `parent`.
Shape ShapeOfElement(Shape parent, Kind kind);

// The document's value: an object.
void CheckRoot(const Value& root, Findings& out);
// The members of a closed object of a checked shape, opened at `begin`.
void CheckObject(Shape shape, std::size_t begin, const std::string& pointer, const std::vector<Member>& members,
                 Findings& out);
// An element of an array of a checked shape that is no object, and the array's end.
void CheckElement(Shape shape, const Value& element, const std::string& pointer, Findings& out);
void CheckArrayEnd(Shape shape, std::size_t begin, const std::string& pointer, std::size_t count, Findings& out);

// The pointer of member or element `name` below `pointer`, "~" and "/" escaped.
std::string ChildPointer(const std::string& pointer, std::string_view name);

// A text for a message: quoted, hidden characters made visible, a long one cut.
std::string Quoted(std::string_view text);

// True for an IPv4 address in dotted decimal or an IPv6 address in its text forms.
bool IsIpAddress(std::string_view text);

}  // namespace recaster::check
