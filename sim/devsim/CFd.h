// The simulator owns its descriptors with the program's own owner type.
#pragma once

#include "app/CFd.h"

namespace devsim {
using CFd = ::CFd;
} // namespace devsim
