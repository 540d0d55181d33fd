// The Mersenne Twister state (624 words and the index of the next word to temper) and the
// draws built on it. Right shifts are arithmetic throughout: that keeps outputs 31-bit.
#include "runtime/random.h"

#include "runtime/checksum.h"

namespace vyr::random {

namespace {

i32 state[STATE_WORDS];
u32 index = STATE_WORDS;

// Arithmetic right shift spelt out, so the result does not hang on how the compiler treats
// a negative left operand.
inline u32 sar(u32 x, int n) { return static_cast<u32>(static_cast<i32>(x) >> n); }

void regenerate() {
  constexpr u32 N = STATE_WORDS, M = 397;
  for (u32 k = 0; k < N; k++) {
    u32 y = (static_cast<u32>(state[k]) & 0x80000000u) |
            (static_cast<u32>(state[(k + 1) % N]) & 0x7FFFFFFFu);
    u32 w = static_cast<u32>(state[(k + M) % N]) ^ sar(y, 1) ^ ((y & 1) ? 0x9908B0DFu : 0);
    state[k] = static_cast<i32>(w);
  }
  index = 0;
}

// Rejection sampling keeps every magnitude 1 … m equally likely.
i32 draw_magnitude(bool secure, i32 m) {
  const i32 limit = (2147483647 / m) * m;
  i32 r;
  do r = secure ? next_secure() : next();
  while (r >= limit);
  return r % m + 1;
}

}  // namespace

void init() { seed(START_SEED); }

void seed(u32 value) {
  u32 w = value;
  state[0] = static_cast<i32>(w);
  for (u32 i = 1; i < STATE_WORDS; i++) {
    w = 1812433253u * (w ^ sar(w, 30)) + i;
    state[i] = static_cast<i32>(w);
  }
  index = 0;
}

i32 next() {
  if (index >= STATE_WORDS) regenerate();
  u32 y = static_cast<u32>(state[index++]);
  y ^= sar(y, 11);
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= sar(y, 18);
  return static_cast<i32>(y);
}

i32 next_secure() {
  u8 b[4];
  checksum::random_bytes(b, 4);
  u32 w = static_cast<u32>(b[0]) | static_cast<u32>(b[1]) << 8 | static_cast<u32>(b[2]) << 16 |
          static_cast<u32>(b[3]) << 24;
  return static_cast<i32>(w & 0x7FFFFFFFu);
}

i32 int_in_range(bool secure, i32 n) {
  if (n == 0) return 0;
  if (n == INT32_MIN) return -1 - (secure ? next_secure() : next());
  if (n > 0) return draw_magnitude(secure, n);
  return -draw_magnitude(secure, -n);
}

bool logic(bool secure) {
  // Outputs are 31-bit, so the upper half of their range is exactly one half of them.
  return (secure ? next_secure() : next()) > 0x3FFFFFFF;
}

double fraction(bool secure) {
  if (!secure) return next() / 2147483647.0;
  i32 g1 = next_secure();
  i32 g2 = next_secure();
  return (g2 + g1 / 2147483647.0) / 2147483648.0;
}

double float_in_range(bool secure, double value) {
  if (!secure) return value * next() / 2147483647.0;
  i32 g1 = next_secure();
  i32 g2 = next_secure();
  return (g2 + g1 / 2147483647.0) * value / 2147483648.0;
}

}  // namespace vyr::random
