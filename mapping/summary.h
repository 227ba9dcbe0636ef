// File: mapping/summary.h - the figures of one converted source, made from its plan, and the totals of
// many sources by outcome: the one record the reports, the index and the fleet all count with.
#pragma once

#include <cstddef>
#include <cstdint>

namespace recaster::mapping {

struct Plan;

// What a person reads of one converted source at a glance.
struct Summary {
  std::size_t listeners = 0;    // listeners in the version 6 configuration
  std::uint32_t keep_days = 0;  // the version 6 retention in days
  std::size_t to_recreate = 0;  // settings to re-create by hand (Plan::RecreateCount, a list counting once)
  std::size_t adjustments = 0;  // values changed to fit version 6
};

// The summary of a plan: its UDP and TCP listeners, its keep_days, its settings to re-create and its
// adjustments.
Summary Summarize(const Plan& plan);

// The totals of several sources, each counted once by Add.
struct Totals {
  std::size_t sources = 0;
  std::size_t converted = 0;     // code 0
  std::size_t refused = 0;       // codes 2 and 3 (any code but 0 and 1)
  std::size_t write_failed = 0;  // code 1
  std::size_t listeners = 0;     // of the converted sources
  std::size_t to_recreate = 0;
  std::size_t adjustments = 0;

  // Counts one source by its outcome code (the command line's exit code); only a converted source's
  // (code 0) figures are added, so `summary` is read only then.
  void Add(int code, const Summary& summary);
  // The sources not converted: refused or not written.
  std::size_t NotConverted() const { return refused + write_failed; }
};

}  // namespace recaster::mapping
