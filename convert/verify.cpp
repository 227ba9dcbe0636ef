// A written version 6 file read back: the check reads it once, and shows each object it checked to the
// comparison with the plan as it goes.
#include "convert/verify.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "check/check.h"
#include "check/rules.h"
#include "text/utf8.h"
#include "words/words.h"

namespace recaster::convert {
namespace {

using check::Kind;
using check::Member;
using check::Shape;

// A file is read back in requests of at most this size.
constexpr std::uint32_t kReadPiece = std::uint32_t{1} << 30;

constexpr std::string_view kFailed = "verification failed: ";

Verification NotAsPlanned(std::string_view problem) { return {kNotAsPlanned, std::string(kFailed).append(problem), 0, 0}; }

Verification Unreadable(const platform::OsStatus& status) {
  return {status.code, std::string(kFailed) + "cannot read it back: " + status.message, 0, 0};
}

// Member `name` of an object's members; null when there is none.
const check::Value* MemberOf(const std::vector<Member>& members, std::string_view name) {
  const auto member = std::find_if(members.begin(), members.end(), [name](const Member& m) { return m.name == name; });
  return member == members.end() ? nullptr : &member->value;
}

// What was found, as a message tells it: a string quoted and cut, a scalar as the file writes it.
std::string Shown(const check::Value* found) {
  if (found == nullptr) return "no such member";
  switch (found->kind) {
    case Kind::kString: return check::Quoted(found->text());
    case Kind::kObject: return "an object";
    case Kind::kArray: return "an array";
    default: return std::string(found->text());
  }
}

bool IsText(const check::Value* found, std::string_view text) {
  return found != nullptr && found->kind == Kind::kString && found->text() == text;
}

std::string Mismatch(const std::string& pointer, std::string_view expected, const check::Value* found) {
  return pointer + ": expected " + check::Quoted(expected) + ", found " + Shown(found);
}

// A bind address of the plan and the text a listener read back was found to hold for it: a view of the
// document's bytes, or a copy of the text the check made (one with escapes).
struct KnownAddr {
  std::u16string_view wide;
  std::string_view utf8;
  std::string copy;

  void Set(std::u16string_view addr, const check::Value& read) {
    wide = addr;
    copy = read.in_document.empty() ? read.owned : std::string();
    utf8 = read.in_document.empty() ? std::string_view(copy) : read.in_document;
  }
};

// Whether `read` is the UTF-8 of `addr`. The listeners of one family share their plan's address, which
// may be megabytes long: the second is compared byte for byte with what the first was found to hold.
bool IsAddr(const check::Value* read, std::u16string_view addr, KnownAddr& known) {
  if (read == nullptr || read->kind != Kind::kString) return false;
  if (addr.data() == known.wide.data() && addr.size() == known.wide.size()) return read->text() == known.utf8;
  if (!text::IsUtf8Of(read->text(), addr)) return false;
  known.Set(addr, *read);
  return true;
}

// The first member of the planned listener that the listener read back does not hold as planned; empty
// when every one is (and it holds no other). The planned tree's "addr" is left empty: `addr` is its
// text, compared without being made UTF-8.
std::string CompareListener(const tree::ConfigTree& planned, std::u16string_view addr, KnownAddr& known,
                            const std::vector<Member>& found, const std::string& pointer) {
  for (const auto& [key, member] : planned) {
    const check::Value* read = MemberOf(found, key);
    if (key == "addr") {
      if (!IsAddr(read, addr, known)) return Mismatch(pointer + "/addr", text::ToUtf8(addr), read);
    } else if (!IsText(read, member.data())) {
      return Mismatch(pointer + "/" + key, member.data(), read);
    }
  }
  if (found.size() != planned.size()) {
    return pointer + ": expected " + words::Counted(planned.size(), "member", "members") + ", found " +
           std::to_string(found.size());
  }
  return {};
}

// The plan against what the check reads, object by object: the listeners in the plan's order (UDP,
// then TCP), "interfaces" and "keep_days". Only the first difference is kept, and told in the order
// the whole file's comparison gives: the number of listeners, a listener's member, keep_days.
class Comparison final : public check::ObjectVisitor {
 public:
  explicit Comparison(const mapping::Plan& plan) : network_(plan.network), keep_days_(tree::NumberText(plan.storage.keep_days)) {}

  void Closed(Shape shape, const std::string& pointer, const std::vector<Member>& members) override {
    if (shape == Shape::kListener) {
      if (const std::size_t i = read_++; i < Planned() && listener_.empty()) listener_ = CompareAt(i, members, pointer);
    } else if (shape == Shape::kNetwork) {
      if (const check::Value* interfaces = MemberOf(members, "interfaces")) interfaces_ = *interfaces;
    } else if (shape == Shape::kStorage) {
      if (const check::Value* read = MemberOf(members, "keep_days"); !IsText(read, keep_days_)) {
        storage_ = Mismatch("/storage/keep_days", keep_days_, read);
      }
    }
  }

  // The first difference; empty when the file holds what the plan says.
  std::string Problem() const {
    const std::string pointer = "/network/interfaces";
    const check::Value* interfaces = interfaces_ ? &*interfaces_ : nullptr;
    const bool array = interfaces != nullptr && interfaces->kind == Kind::kArray;
    if (const std::size_t count = Planned(); count == 0) {
      if (!IsText(interfaces, "")) return Mismatch(pointer, "", interfaces);
    } else if (!array || read_ != count) {
      return pointer + ": expected " + words::Counted(count, "listener", "listeners") + ", found " +
             (array ? std::to_string(read_) : Shown(interfaces));
    }
    return listener_.empty() ? storage_ : listener_;
  }

 private:
  std::size_t Planned() const { return network_.udp.size() + network_.tcp.size(); }

  std::string CompareAt(std::size_t i, const std::vector<Member>& members, const std::string& pointer) {
    const auto compare = [&](auto listener, auto to_tree) {
      const std::u16string_view addr = listener.addr;
      listener.addr = {};
      KnownAddr& known = known_[listener.family == mapping::Family::kIpv4 ? 0 : 1];
      return CompareListener(to_tree(listener), addr, known, members, pointer);
    };
    if (i < network_.udp.size()) return compare(network_.udp[i], mapping::UdpListenerToTree);
    return compare(network_.tcp[i - network_.udp.size()], mapping::TcpListenerToTree);
  }

  const mapping::NetworkConfig& network_;
  std::string keep_days_;
  std::optional<check::Value> interfaces_;
  KnownAddr known_[2];       // by family
  std::size_t read_ = 0;     // listeners read so far
  std::string listener_;     // the first listener's difference
  std::string storage_;      // keep_days' difference
};

// The check's first error, as "POINTER: MESSAGE".
std::string FirstError(const check::CheckResult& checked) {
  const auto error = std::find_if(checked.findings.begin(), checked.findings.end(),
                                  [](const check::Finding& f) { return f.severity == check::Severity::kError; });
  if (error == checked.findings.end()) return "not a valid version 6 configuration";
  return error->pointer.empty() ? error->message : error->pointer + ": " + error->message;
}

}  // namespace

Verification VerifyText(std::string_view bytes, const mapping::Plan& plan) {
  Comparison comparison(plan);
  check::CheckOptions options;
  options.visitor = &comparison;
  if (const check::CheckResult checked = check::CheckDocument(bytes, options); !checked.valid()) {
    return NotAsPlanned(FirstError(checked));
  }
  if (std::string problem = comparison.Problem(); !problem.empty()) return NotAsPlanned(problem);
  return {platform::kSuccess, {}, plan.network.udp.size() + plan.network.tcp.size(), plan.storage.keep_days};
}

Verification VerifyFile(platform::FileSystem& files, const std::u16string& path, const mapping::Plan& plan) {
  platform::FileHandle handle = platform::kNoFile;
  if (platform::OsStatus opened = files.OpenForReading(path, &handle); !opened.ok()) {
    return Unreadable(opened);
  }
  platform::ScopedFile file(files, handle);
  std::uint64_t size = 0;
  if (platform::OsStatus sized = files.FileSize(handle, &size); !sized.ok()) {
    return Unreadable(sized);
  }
  // Read where it lands, without first filling the room: one byte past the size shows the end.
  const std::size_t room = static_cast<std::size_t>(size) + 1;
  const std::unique_ptr<char[]> bytes(new char[room]);
  std::size_t filled = 0;
  while (filled < room) {
    const auto want = static_cast<std::uint32_t>(std::min<std::size_t>(room - filled, kReadPiece));
    std::uint32_t read = 0;
    if (platform::OsStatus status = files.Read(handle, bytes.get() + filled, want, &read); !status.ok()) {
      return Unreadable(status);
    }
    if (read == 0) break;
    filled += read;
  }
  file.reset();
  if (filled == room) return NotAsPlanned("the file grew while it was read back");
  return VerifyText(std::string_view(bytes.get(), filled), plan);
}

std::string VerifiedText(const Verification& verification) {
  return "verified: " + words::Counted(verification.listeners, "listener", "listeners") + ", keep_days " +
         std::to_string(verification.keep_days);
}

}  // namespace recaster::convert
