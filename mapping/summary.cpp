// The summary of a plan and the totals of many sources.
#include "mapping/summary.h"

#include "mapping/mapping.h"

namespace recaster::mapping {

Summary Summarize(const Plan& plan) {
  return Summary{plan.network.udp.size() + plan.network.tcp.size(), plan.storage.keep_days, plan.RecreateCount(),
                 plan.adjustments.size()};
}

void Totals::Add(int code, const Summary& summary) {
  ++sources;
  if (code == 0) {
    ++converted;
    listeners += summary.listeners;
    to_recreate += summary.to_recreate;
    adjustments += summary.adjustments;
  } else if (code == 1) {
    ++write_failed;
  } else {
    ++refused;
  }
}

}  // namespace recaster::mapping
