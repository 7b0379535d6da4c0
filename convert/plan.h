// The plan of the current conversion: what a run would do now, worked out without
// changing a byte.
#pragma once

#include <string_view>

#include "convert/convert434.h"
#include "platform/file_system.h"

namespace livrana {

// Runs the current conversion as a dry run over the data folder with a sink that shows
// nothing: the plan of what a real run would do now. No file is changed.
Convert434Result PlanConvert434(platform::FileSystem& fs, std::string_view company_filter);

}  // namespace livrana
