// A written version 6 file read back: the check first, then the carried settings against the plan.
#include "convert/verify.h"

#include <algorithm>
#include <memory>
#include <boost/json/monotonic_resource.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

#include "check/check.h"
#include "check/rules.h"
#include "text/utf8.h"
#include "words/words.h"

namespace recaster::convert {
namespace {

using boost::json::value;

// A file is read back in requests of at most this size.
constexpr std::uint32_t kReadPiece = std::uint32_t{1} << 30;

constexpr std::string_view kFailed = "verification failed: ";

Verification NotAsPlanned(std::string_view problem) { return {kNotAsPlanned, std::string(kFailed).append(problem), 0, 0}; }

Verification Unreadable(const platform::OsStatus& status) {
  return {status.code, std::string(kFailed) + "cannot read it back: " + status.message, 0, 0};
}

// Member `key` of an object; null when `object` is null, no object or has no such member.
const value* MemberOf(const value* object, std::string_view key) {
  if (object == nullptr || !object->is_object()) return nullptr;
  return object->as_object().if_contains(key);
}

// What was found, as a message tells it: a string quoted and cut, a scalar as its JSON text.
std::string Shown(const value* found) {
  if (found == nullptr) return "no such member";
  if (found->is_string()) {
    const boost::json::string& text = found->get_string();
    return check::Quoted(std::string_view(text.data(), text.size()));
  }
  if (found->is_object()) return "an object";
  if (found->is_array()) return "an array";
  return boost::json::serialize(*found);
}

bool IsText(const value* found, std::string_view text) {
  return found != nullptr && found->is_string() && std::string_view(found->get_string()) == text;
}

std::string Mismatch(const std::string& pointer, std::string_view expected, const value* found) {
  return pointer + ": expected " + check::Quoted(expected) + ", found " + Shown(found);
}

// The first member of the planned listener that the listener read back does not hold as planned; empty
// when every one is (and it holds no other). The planned tree's "addr" is left empty: `addr` is its text.
std::string CompareListener(const tree::ConfigTree& planned, std::string_view addr, const value& found,
                            const std::string& pointer) {
  if (!found.is_object()) return pointer + ": expected a listener, found " + Shown(&found);
  for (const auto& [key, member] : planned) {
    const std::string_view expected = key == "addr" ? addr : std::string_view(member.data());
    const value* read = MemberOf(&found, key);
    if (!IsText(read, expected)) return Mismatch(pointer + "/" + key, expected, read);
  }
  if (found.as_object().size() != planned.size()) {
    return pointer + ": expected " + words::Counted(planned.size(), "member", "members") + ", found " +
           std::to_string(found.as_object().size());
  }
  return {};
}

// A bind address as UTF-8, made once for the listeners that share it (UDP and TCP of one family view
// the same text, which may be megabytes long); one per family.
struct AddrText {
  std::u16string_view wide;
  std::string utf8;

  std::string_view Of(std::u16string_view addr) {
    if (addr.data() != wide.data() || addr.size() != wide.size()) {
      wide = addr;
      utf8 = text::ToUtf8(addr);
    }
    return utf8;
  }
};

// The listeners of one protocol against the elements from `*i` on.
template <class Listener, class ToTree>
std::string CompareEach(const std::vector<Listener>& listeners, ToTree to_tree, const boost::json::array& read,
                        AddrText (&addr)[2], std::size_t* i) {
  for (Listener listener : listeners) {
    const std::string_view utf8 = addr[listener.family == mapping::Family::kIpv4 ? 0 : 1].Of(listener.addr);
    listener.addr = {};
    const std::string pointer = "/network/interfaces/" + std::to_string(*i);
    if (std::string problem = CompareListener(to_tree(listener), utf8, read[(*i)++], pointer); !problem.empty()) {
      return problem;
    }
  }
  return {};
}

// The listeners read back against the plan's, in its order: UDP, then TCP.
std::string CompareListeners(const value* interfaces, const mapping::NetworkConfig& network) {
  const std::string pointer = "/network/interfaces";
  const std::size_t count = network.udp.size() + network.tcp.size();
  if (count == 0) return IsText(interfaces, "") ? std::string() : Mismatch(pointer, "", interfaces);
  if (interfaces == nullptr || !interfaces->is_array() || interfaces->as_array().size() != count) {
    const std::string found = interfaces != nullptr && interfaces->is_array()
                                  ? std::to_string(interfaces->as_array().size())
                                  : Shown(interfaces);
    return pointer + ": expected " + words::Counted(count, "listener", "listeners") + ", found " + found;
  }
  std::size_t i = 0;
  AddrText addr[2];
  const boost::json::array& read = interfaces->as_array();
  std::string problem = CompareEach(network.udp, mapping::UdpListenerToTree, read, addr, &i);
  if (problem.empty()) problem = CompareEach(network.tcp, mapping::TcpListenerToTree, read, addr, &i);
  return problem;
}

// The check's first error, as "POINTER: MESSAGE"; empty when it found none.
std::string FirstError(std::string_view bytes) {
  const check::CheckResult checked = check::CheckDocument(bytes, check::CheckOptions{});
  if (checked.valid()) return {};
  const auto error = std::find_if(checked.findings.begin(), checked.findings.end(),
                                  [](const check::Finding& f) { return f.severity == check::Severity::kError; });
  if (error == checked.findings.end()) return "not a valid version 6 configuration";
  return error->pointer.empty() ? error->message : error->pointer + ": " + error->message;
}

}  // namespace

Verification VerifyText(std::string_view bytes, const mapping::Plan& plan) {
  if (std::string problem = FirstError(bytes); !problem.empty()) return NotAsPlanned(problem);
  boost::json::monotonic_resource memory;
  boost::system::error_code error;
  const value document = boost::json::parse(bytes, error, &memory);
  if (error) return NotAsPlanned("not a JSON document: " + error.message());
  if (std::string problem = CompareListeners(MemberOf(MemberOf(&document, "network"), "interfaces"), plan.network);
      !problem.empty()) {
    return NotAsPlanned(problem);
  }
  const std::string keep_days = tree::NumberText(plan.storage.keep_days);
  if (const value* read = MemberOf(MemberOf(&document, "storage"), "keep_days"); !IsText(read, keep_days)) {
    return NotAsPlanned(Mismatch("/storage/keep_days", keep_days, read));
  }
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
