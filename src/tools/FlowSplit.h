#pragma once
// Where the divider between the upper and the lower outlet flow lies across the channel, from the
// two pump speeds. The flow profile across the channel is parabolic, so the share of the flow that
// passes between one wall and position x is 3x^2 - 2x^3; the divider is the position at which that
// share equals the share of pump 2. The cubic is solved by a grid search that ends within 1/1000
// of the root.
#include "Ostravo/EString.h"

// The divider as a fraction from 0 (upper channel edge) to 1 (lower channel edge) for pump 1 at a
// and pump 2 at b (any unit, the same for both). Equal speeds (both 0 included) give 0.5, a = 0
// gives 0 and b = 0 gives 1: idle pumps log 0, and stored logs rely on these values. Speeds that
// are not finite numbers, speeds of opposite sign (no divider lies inside the channel) and a search
// that cannot go on give false with the reason in error, divider unchanged.
bool ChannelDividerFromFlows(float a, float b, float &divider, EString &error);

// Steps after which the search gives up; speeds of one sign need about ten.
inline constexpr int kChannelDividerMaxSteps = 1000;
