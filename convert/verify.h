// File: convert/verify.h - a written version 6 file read back and held against the plan it was made
// from: checked as `recaster check` checks it, then every listener's members and keep_days compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/convert.h"
#include "mapping/mapping.h"
#include "platform/platform.h"

namespace recaster::convert {

// ERROR_DATA_CHECKSUM_ERROR: the file read back is not what the plan says it holds.
inline constexpr SystemError kNotAsPlanned = 323;

// What reading a written file back found.
struct [[nodiscard]] Verification {
  SystemError code = platform::kSuccess;  // kNotAsPlanned, or the system's code when it could not be read
  // Why, for a person: "verification failed: /network/interfaces/0/port: expected \"514\", found \"515\"",
  // "verification failed: cannot read it back: REASON", or (a failed write) DescribeWriteError's text.
  std::string problem;
  std::size_t listeners = 0;   // what was verified, for the person
  std::uint32_t keep_days = 0;

  bool ok() const { return code == platform::kSuccess; }
};

// Checks the bytes as `recaster check` does (an error fails, a warning does not), then compares each
// listener's members, in the plan's order, and "/storage/keep_days" with what the plan's records give.
Verification VerifyText(std::string_view bytes, const mapping::Plan& plan);

// Reads the file whole through `files` (OpenForReading, Read) and verifies what it holds (VerifyText).
Verification VerifyFile(platform::FileSystem& files, const std::u16string& path, const mapping::Plan& plan);

// "verified: 4 listeners, keep_days 365".
std::string VerifiedText(const Verification& verification);

// WriteConfigFile of the conversion's tree, except that the flushed temporary is read back and verified
// against the conversion's plan (VerifyFile) before it takes the destination's place: a file that is
// not as planned, or cannot be read back, is removed and the destination kept as it was. A device or
// FIFO cannot be read back: kNotSupported, and nothing is written. A tree that cannot be JSON throws
// as WriteConfigFile does.
Verification WriteVerifiedConfigFile(const ConversionResult& conversion, const std::u16string& path);

}  // namespace recaster::convert
