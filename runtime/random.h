// The pseudo-random generator (a Mersenne Twister whose right shifts are arithmetic, so
// every output is a non-negative 31-bit integer) and the secure draws the `random` actions
// of every type use. One state for the process; `seed` restarts the sequence.
#pragma once
#include "runtime/cell.h"

namespace vyr::random {

constexpr u32 STATE_WORDS = 624;
constexpr u32 START_SEED = 19650218;

// Seeds the generator with START_SEED; run once at start-up.
void init();

// Restarts the sequence from a 32-bit seed: the next 624 outputs are the tempered seed words.
void seed(u32 value);

// The next output, 0 … 2^31 − 1.
i32 next();

// Four bytes of the secure source, little-endian, bit 31 cleared: 0 … 2^31 − 1.
i32 next_secure();

// A random integer of magnitude 1 … |n| with n's sign: 1 … n for n > 0, n … −1 for n < 0,
// 0 for 0, and −2^31 … −1 for the smallest integer. Draws from the secure source when
// `secure` is set.
i32 int_in_range(bool secure, i32 n);

// true or false with one half each.
bool logic(bool secure);

// A fraction in [0, 1]: without `secure` g / 2147483647.0 for one output g; with it
// (g2 + g1 / 2147483647.0) / 2147483648.0 for two secure draws g1 then g2.
double fraction(bool secure);

// float!'s random value for v: without `secure` v × g / 2147483647.0; with it
// (g2 + g1 / 2147483647.0) × v / 2147483648.0 (g, g1, g2 as for `fraction`).
double float_in_range(bool secure, double value);

}  // namespace vyr::random
