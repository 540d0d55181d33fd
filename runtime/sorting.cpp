// Merge sort (runs merged by the Powersort policy) and sample-based quicksort over records
// reached by index. Every loop bound comes from indexes, never from what the callback
// answered, so an inconsistent callback gives a wrong order but never a stray access.
#include "runtime/sorting.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "runtime/fire.h"

namespace vyr::sorting {

void swap(void* a, void* b, u32 width, bool bytewise) {
  char* p = static_cast<char*>(a);
  char* q = static_cast<char*>(b);
  if (p == q) return;
  if (!bytewise && width % 4 == 0) {
    for (u32 i = 0; i < width; i += 4) {
      u32 x, y;
      std::memcpy(&x, p + i, 4);
      std::memcpy(&y, q + i, 4);
      std::memcpy(p + i, &y, 4);
      std::memcpy(q + i, &x, 4);
    }
  } else {
    for (u32 i = 0; i < width; i++) std::swap(p[i], q[i]);
  }
}

namespace {

struct records {
  char* base;
  u32 width;
  bool bytewise;
  uintptr_t word1, word2;
  compare_fn fn;

  char* at(size_t i) const { return base + i * width; }
  i32 cmp(size_t i, size_t j) const { return fn(at(i), at(j), word1, word2); }
  i32 cmp_ptr(const char* a, const char* b) const { return fn(a, b, word1, word2); }
  void swap(size_t i, size_t j) const {
    if (i != j) sorting::swap(at(i), at(j), width, bytewise);
  }
  void reverse(size_t lo, size_t hi) const {  // [lo, hi)
    while (lo + 1 < hi) swap(lo++, --hi);
  }
  // Records [from, hi) are inserted one by one into the sorted [lo, from).
  void insertion(size_t lo, size_t from, size_t hi) const {
    for (size_t i = std::max(from, lo + 1); i < hi; i++)
      for (size_t j = i; j > lo && cmp(j - 1, j) > 0; j--) swap(j - 1, j);
  }
};

// ---- merge sort ----

constexpr size_t MIN_RUN = 24;

struct merger {
  records r;
  size_t n;
  char* buf;

  // A run from s: ascending (not descending pairs) or strictly descending, then reversed;
  // short runs are lengthened by insertion.
  size_t find_run(size_t s) const {
    size_t e;
    if (s + 1 >= n) {
      e = n;
    } else if (r.cmp(s, s + 1) <= 0) {
      for (e = s + 2; e < n && r.cmp(e - 1, e) <= 0; e++) {}
    } else {
      for (e = s + 2; e < n && r.cmp(e - 1, e) > 0; e++) {}
      r.reverse(s, e);
    }
    if (e - s < MIN_RUN) {
      size_t want = std::min(s + MIN_RUN, n);
      r.insertion(s, e, want);
      e = want;
    }
    return e;
  }

  // Merges [l, m) and [m, h) through the scratch buffer holding the shorter run. The gap
  // in the array always has exactly the size of what is left in the buffer, so a throwing
  // callback is answered by copying the rest of the buffer into the gap.
  void merge(size_t l, size_t m, size_t h) const {
    if (l >= m || m >= h) return;
    const size_t w = r.width;
    const size_t nl = m - l, nr = h - m;
    if (nl <= nr) {
      std::memcpy(buf, r.at(l), nl * w);
      size_t i = 0, j = m, dest = l;
      auto rest = [&] { std::memcpy(r.at(dest), buf + i * w, (nl - i) * w); };
      try {
        while (i < nl && j < h) {
          if (r.cmp_ptr(buf + i * w, r.at(j)) <= 0) std::memcpy(r.at(dest), buf + i++ * w, w);
          else std::memcpy(r.at(dest), r.at(j++), w);
          dest++;
        }
      } catch (...) {
        rest();
        throw;
      }
      rest();
    } else {
      std::memcpy(buf, r.at(m), nr * w);
      size_t left = nl, k = nr, dest = h;  // left: records of [l, m) not yet placed
      auto rest = [&] { std::memcpy(r.at(dest - k), buf, k * w); };
      try {
        while (k > 0 && left > 0) {
          if (r.cmp_ptr(r.at(l + left - 1), buf + (k - 1) * w) > 0)
            std::memcpy(r.at(--dest), r.at(l + --left), w);
          else
            std::memcpy(r.at(--dest), buf + --k * w, w);
        }
      } catch (...) {
        rest();
        throw;
      }
      rest();
    }
  }

  // Depth of the boundary between [s1, s2) and [s2, e2) in the balanced merge tree.
  u32 power(size_t s1, size_t s2, size_t e2) const {
    u64 a = u64{s1} + s2, b = u64{s2} + e2, count = n;
    u32 p = 0;
    for (;;) {
      p++;
      bool ha = a >= count, hb = b >= count;
      if (ha && hb) {
        a -= count;
        b -= count;
      } else if (ha != hb) {
        return p;
      }
      a <<= 1;
      b <<= 1;
    }
  }

  void run() {
    struct entry {
      size_t start;
      u32 power;
    };
    // Powers on the stack rise strictly, and a power never exceeds the bit length of n + 1.
    std::array<entry, 72> stack;
    size_t top = 0;
    size_t prev_start = 0, prev_end = find_run(0);
    while (prev_end < n) {
      size_t s2 = prev_end, e2 = find_run(s2);
      u32 p = power(prev_start, s2, e2);
      while (top > 0 && stack[top - 1].power > p) {
        merge(stack[top - 1].start, prev_start, prev_end);
        prev_start = stack[--top].start;
      }
      if (top == stack.size()) {  // cannot happen; merging keeps the sort sound regardless
        merge(stack[top - 1].start, prev_start, prev_end);
        prev_start = stack[--top].start;
      }
      stack[top++] = {prev_start, p};
      prev_start = s2;
      prev_end = e2;
    }
    while (top > 0) {
      merge(stack[top - 1].start, prev_start, n);
      prev_start = stack[--top].start;
    }
  }
};

// ---- quicksort ----

constexpr size_t INSERTION_LIMIT = 8;

struct quick {
  records r;

  // Moves the m records at src to dst by swaps, keeping their order (the ranges may
  // overlap); the records displaced land somewhere in the vacated places.
  void move_block(size_t src, size_t dst, size_t m) const {
    if (dst < src) {
      for (size_t k = 0; k < m; k++) r.swap(dst + k, src + k);
    } else if (dst > src) {
      for (size_t k = m; k > 0; k--) r.swap(src + k - 1, dst + k - 1);
    }
  }

  void heap_sort(size_t lo, size_t n) const {
    auto sift = [&](size_t root, size_t end) {
      for (size_t child; (child = 2 * root + 1) < end; root = child) {
        if (child + 1 < end && r.cmp(lo + child, lo + child + 1) < 0) child++;
        if (r.cmp(lo + root, lo + child) >= 0) return;
        r.swap(lo + root, lo + child);
      }
    };
    for (size_t i = n / 2; i-- > 0;) sift(i, n);
    for (size_t end = n - 1; end > 0; end--) {
      r.swap(lo, lo + end);
      sift(0, end);
    }
  }

  // Sorts [lo, lo + n) whose first h records (h > 0) or last -h records (h < 0) are
  // already sorted. `budget` bounds the partitions on any one path; past it the range is
  // heap-sorted, so no comparator can make the sort quadratic or the recursion deep.
  void sort_range(size_t lo, size_t n, ptrdiff_t h, int budget) const {
    while (n >= INSERTION_LIMIT) {
      size_t habs = static_cast<size_t>(h < 0 ? -h : h);
      if (habs >= n) return;
      if (budget-- <= 0) {
        heap_sort(lo, n);
        return;
      }
      size_t stretch, lower, upper;
      if (habs > 2) {
        // The sample's median is the pivot; its halves flank the stretch to partition.
        stretch = habs > n / 256 ? n : 16 * habs - 1;
        lower = habs - habs / 2;
        upper = habs / 2;
        if (h < 0) move_block(lo + n - habs, lo, stretch == n ? lower : habs);
        if (stretch < n) {
          size_t step = n / stretch;
          for (size_t k = 0; habs + k < stretch; k++) r.swap(lo + habs + k, lo + habs + k * step);
        }
        if (h > 0 || stretch < n) move_block(lo + lower, lo + stretch - upper, upper);
      } else {
        // Median of three: smallest, median (the pivot) at the front, largest at the end.
        stretch = n < 512 ? n : 63;
        size_t last = lo + stretch - 1;
        r.swap(lo + 1, lo + stretch / 2);
        if (r.cmp(lo + 1, lo) < 0) r.swap(lo, lo + 1);
        if (r.cmp(last, lo + 1) < 0) {
          r.swap(lo + 1, last);
          if (r.cmp(lo + 1, lo) < 0) r.swap(lo, lo + 1);
        }
        lower = 2;
        upper = 1;
      }

      // Three-way partition of [b, e) around the pivot at b - 1: records equal to it
      // gather in [b, z) next to it, less ones in [z, i), greater ones in [i, e).
      const size_t pivot = lo + lower - 1;
      const size_t b = lo + lower, e = lo + stretch - upper;
      size_t z = b, i = b, j = e;
      for (;;) {
        bool stop_i = false;
        while (i < j) {
          i32 c = r.cmp(i, pivot);
          if (c > 0) {
            stop_i = true;
            break;
          }
          if (c == 0) r.swap(z++, i);
          i++;
        }
        if (!stop_i) break;
        i32 cj = 1;
        while (j - 1 > i && (cj = r.cmp(j - 1, pivot)) > 0) j--;
        if (j - 1 == i) {  // everything from i up is greater
          j = i;
          break;
        }
        r.swap(i, --j);
        if (cj == 0) r.swap(z++, i);
        i++;
      }
      // Pivot and equal zone [pivot, z) go between the less and the greater records.
      const size_t equal = z - pivot, less = i - z, m = std::min(equal, less);
      for (size_t k = 0; k < m; k++) r.swap(pivot + k, i - m + k);
      const size_t below_n = lower - 1 + less;
      const ptrdiff_t below_h = static_cast<ptrdiff_t>(lower - 1);
      const size_t above = i, above_n = lo + stretch - i;
      const ptrdiff_t above_h = -static_cast<ptrdiff_t>(upper);

      if (stretch < n) {
        // The stretch ends wholly sorted and is the next, sixteen times larger, sample.
        sort_range(above, above_n, above_h, budget);
        sort_range(lo, below_n, below_h, budget);
        h = static_cast<ptrdiff_t>(stretch);
      } else if (above_n <= below_n) {
        sort_range(above, above_n, above_h, budget);
        n = below_n;
        h = below_h;
      } else {
        sort_range(lo, below_n, below_h, budget);
        lo = above;
        n = above_n;
        h = above_h;
      }
    }
    r.insertion(lo, lo + 1, lo + n);
  }

  bool against(size_t a, size_t b, int dir) const {
    i32 c = r.cmp(a, b);
    return dir > 0 ? c > 0 : c < 0;
  }

  void run(size_t n) const {
    // Presortedness probe: the initial run and a sparse sample of the pairs after it.
    size_t i = 0;
    i32 c = 0;
    while (i + 1 < n && (c = r.cmp(i, i + 1)) == 0) i++;
    if (i + 1 >= n) return;  // all equal
    int dir = c < 0 ? 1 : -1;
    size_t run_end = i + 2;
    while (run_end < n && !against(run_end - 1, run_end, dir)) run_end++;
    i64 score = static_cast<i64>(run_end) * dir;
    for (size_t p = run_end - 1 + 97; p + 1 < n; p += 97) {
      i32 d = r.cmp(p, p + 1);
      score += d < 0 ? 1 : d > 0 ? -1 : 0;
    }

    size_t prefix = run_end;
    if (prefix < n && static_cast<u64>(score < 0 ? -score : score) > n / 512) {
      // Nearly ordered: gather ordered stretches found every 10 records onto the prefix.
      if ((score > 0) != (dir > 0)) {
        prefix = 1;
        dir = -dir;
      }
      for (size_t probe = prefix; probe + 1 < n;) {
        size_t s = probe, t = probe + 1;
        while (t < n && !against(t - 1, t, dir)) t++;
        while (s > prefix && !against(s - 1, s, dir)) s--;
        if (t - s >= 4) {
          // Records where prefix and stretch overlap in value stay in the unsorted rest.
          size_t len = t - s;
          size_t k = std::min(len / 2, std::max<size_t>(prefix / 4, 1));
          size_t drop = 0;
          while (drop < k && against(prefix - 1 - drop, s + drop, dir)) drop++;
          if (drop < k) {
            prefix -= drop;
            s += drop;
            len -= drop;
            if (s != prefix)
              for (size_t q = 0; q < len; q++) r.swap(prefix + q, s + q);
            prefix += len;
          }
        }
        probe = t + 10;
      }
    }
    if (dir < 0) r.reverse(0, prefix);
    if (prefix >= n) return;
    int bits = 0;
    for (size_t m = n; m; m >>= 1) bits++;
    sort_range(0, n, static_cast<ptrdiff_t>(prefix), 3 * bits + 8);
  }
};

}  // namespace

void merge_sort(void* base, u32 count, u32 width, uintptr_t word1, uintptr_t word2,
                compare_fn compare) {
  if (count < 2 || width == 0) return;
  u64 bytes = u64{count / 2} * width;
  if (bytes > 0x7FFFFFFFull) fire("script", "too-long");
  std::unique_ptr<char, decltype(&std::free)> buf(static_cast<char*>(std::malloc(bytes)),
                                                  &std::free);
  if (!buf) fire_no_memory();
  merger m{{static_cast<char*>(base), width, width % 4 != 0, word1, word2, compare}, count,
           buf.get()};
  m.run();
}

void quick_sort(void* base, u32 count, u32 width, uintptr_t word1, uintptr_t word2,
                compare_fn compare) {
  if (count < 2 || width == 0) return;
  quick q{{static_cast<char*>(base), width, width % 4 != 0, word1, word2, compare}};
  q.run(count);
}

}  // namespace vyr::sorting
