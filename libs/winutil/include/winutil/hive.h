// The registry roots, shared with the portable core.
#pragma once

#include "common/hive.h"

namespace vx::winutil {

using vx::Hive;
using vx::hive_short_name;

}  // namespace vx::winutil
