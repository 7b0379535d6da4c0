#include "convert/plan.h"

#include <string>

namespace livrana {

Convert434Result PlanConvert434(platform::FileSystem& fs, std::string_view company_filter) {
  SilentSink sink;
  Context ctx{fs, sink, std::string(company_filter), true};
  return Convert434(ctx, Convert434Detail::kFiles);
}

}  // namespace livrana
