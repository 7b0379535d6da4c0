// The local date and time, as the history of a data folder and the names of the runs with
// backups give them.
#pragma once

namespace livrana::platform {

struct LocalTime {
  int year = 1970, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
};

// The machine's local date and time now.
LocalTime Now();

}  // namespace livrana::platform
