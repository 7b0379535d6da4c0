#include "tools/sample.h"
