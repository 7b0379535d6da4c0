// The chart of accounts to revision 1, in the data folder itself: F20R0.DAT (209-character
// records) is rebuilt as F20R1.DAT (600-character records, deleted accounts dropped),
// F08.DAT takes the name F08R1.DAT, and the 3-character codes at the start of the records
// of F25R0.DAT are widened to 5 characters.
#pragma once

#include "platform/outcome.h"
#include "records/context.h"

namespace livrana {

struct ChartR1Result {
  bool copied = false;  // F20R1.DAT was built in this run
  int accounts = 0;     // records written to F20R1.DAT
  int codes_widened = 0;
  Outcome outcome;  // the failure that stopped the step (reported; the folder as it was)
  bool ok() const { return outcome.ok(); }
};

// Runs the step: F20R1.DAT built from F20R0.DAT, F08.DAT renamed, the codes of F25R0.DAT widened.
ChartR1Result ConvertChart20R1(Context& ctx);

// Whether the folder holds what the step converts: F20R0.DAT, F08.DAT, or a 3-character
// code in F25R0.DAT.
bool HasChartR1Input(platform::FileSystem& fs);

}  // namespace livrana
