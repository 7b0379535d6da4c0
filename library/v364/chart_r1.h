// The chart of accounts to revision 1, in the data folder itself: F20R0.DAT (209-character
// records) is rebuilt as F20R1.DAT (600-character records, deleted accounts dropped),
// F08.DAT takes the name F08R1.DAT, and the 3-character codes at the start of the records
// of F25R0.DAT are widened to 5 characters.
#pragma once

#include "records/context.h"

namespace livrana {

struct ChartR1Result {
  bool copied = false;  // F20R1.DAT was built in this run
  int accounts = 0;     // records written to F20R1.DAT
  int codes_widened = 0;
  bool ok = true;  // false when F20R1.DAT could not be written (reported; F20R0.DAT kept)
};

ChartR1Result ConvertChart20R1(Context& ctx);

}  // namespace livrana
