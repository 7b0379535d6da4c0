// Everything a step works with: the data folder's file system, the status sink and the
// company filter. Nothing is process-wide, so several contexts can live in one process.
#pragma once

#include <string>

#include "platform/file_system.h"
#include "records/sink.h"

namespace livrana {

struct Context {
  platform::FileSystem& fs;
  Sink& sink;
  // The company the run is restricted to, exactly as typed (at most 10 characters, not
  // trimmed); empty for every company.
  std::string company_filter;
  // Work out what the step would do without changing any file: the step opens its files
  // for reading only and writes nothing. Only the current conversion honours it.
  bool dry_run = false;
};

}  // namespace livrana
