#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace livrana::platform {

LocalTime Now() {
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
#ifdef _WIN32
  if (localtime_s(&tm, &now) != 0) return {};
#else
  if (localtime_r(&now, &tm) == nullptr) return {};
#endif
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace livrana::platform
