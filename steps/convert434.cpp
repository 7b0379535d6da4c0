#include "steps/convert434.h"

namespace livrana {
Convert434Result Convert434(Context&) { return {}; }
}  // namespace livrana
