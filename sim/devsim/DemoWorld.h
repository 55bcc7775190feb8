// The demonstration world of kestrix-devsim: an 8 KB Q-4T controller holding a few keys and a DS1996L that
// carries a small complete base.
#pragma once
#include <vector>

#include "sim/devsim/CWorld.h"

namespace devsim {

std::vector<SimKey> demo_controller_keys();
std::vector<SimKey> demo_ds1996_keys();
// Loads both into the world (controller type 2, default lock time).
void load_demo(CWorld& world);

} // namespace devsim
