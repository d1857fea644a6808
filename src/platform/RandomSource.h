#pragma once

#include <functional>

// The process-wide random number generator. Tests pin it to a sequence of their own.
namespace RandomSource {

// A number r with 0 <= r < 1.
double next();
// Reseeds the generator from the clock (a pinned sequence ignores this).
void reseedFromClock();
// Replaces the generator by `source` until `unpin`.
void pin(std::function<double()> source);
void unpin();

} // namespace RandomSource
