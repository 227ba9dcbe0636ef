// File: fleet/stage.h - inside the fleet: one source converted and its three files written to
// temporaries beside their destinations, waiting for the commit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "fleet/fleet.h"
#include "report/fleet_view.h"

namespace recaster::fleet {

// A temporary file that is being written or waits for its place.
struct Staged {
  std::u16string temporary;
  std::u16string destination;
};

// A temporary beside the destination, open for writing; removed when it is let go unless Close handed
// it on. A destination that existed when the call was planned is looked at again: a link there is
// followed, a folder or a device refuses (as Windows refuses to replace them); one that did not is left
// to the replacement, which never follows a link.
class OpenTemporary {
 public:
  OpenTemporary() = default;
  OpenTemporary(const OpenTemporary&) = delete;
  OpenTemporary& operator=(const OpenTemporary&) = delete;
  ~OpenTemporary();

  // Creates the temporary; a refusal keeps the system's words (a link's owner among them).
  platform::OsStatus Open(const std::u16string& destination, bool existed);
  convert::HandleSink& sink() { return *sink_; }
  // Makes what was written so far durable on the disk.
  platform::OsStatus Flush();
  // Closes the file; once it was `produced` whole, the temporary is the caller's to place or discard.
  platform::SystemError Close(bool produced, Staged* staged);

 private:
  Staged staged_;
  std::unique_ptr<platform::ScopedFile> file_;
  std::unique_ptr<convert::HandleSink> sink_;
};

// Removes the temporaries and forgets them.
void DiscardAll(std::vector<Staged>& staged);

// One source on its way: converted by a worker, then read by the index in argument order.
struct Slot {
  FleetRow row;
  convert::ConversionResult conversion;
  report::ViewSource view;  // what the fleet's view keeps of it, once its files are written
  std::vector<Staged> staged;
  std::uint64_t charge = 0;  // what it holds of the memory budget until the index lets it go
  bool done = false;
};

// Converts the source into its slot and writes its three files to temporaries (`existing`: the
// outputs that existed when the call was planned). A source that is refused, or whose files cannot be
// written, leaves no temporary and a row that says why.
void ConvertSource(const PlannedSource& source, const FleetOptions& options, const std::set<std::u16string>& existing,
                   Slot& slot);

}  // namespace recaster::fleet
