// Colour of the key-reading lamp.
#include "adapter/ComModeLamp.h"

namespace {
constexpr int kLastState = 6;
constexpr double kIdleGrey = 0.8;
constexpr double kFullPower = 1.0;
constexpr double kLowPower = 0.67;
constexpr int kFullPowerAnswer = 2;
} // namespace

LampColour com_mode_lamp_colour(int state, int power) {
    if (state == 0)
        return {kIdleGrey, kIdleGrey, kIdleGrey};
    const double k = power == kFullPowerAnswer ? kFullPower : kLowPower;
    const double steps = kLastState + 1;
    return {(kLastState + 1 - state) * k / steps, (state + 1) * k / steps, 0.0};
}
