// The registry of C++ state carried by a saved environment (see snapshot.h). The saved
// form is a sequence of entries: name length (u32), name, size (u64), bytes.
#include "runtime/snapshot.h"

#include <cstdint>

namespace vyr::snapshot {

bool restoring = false;

namespace {
struct entry {
  const char* name;
  void* object;
  size_t bytes;  // plain bytes when save is null
  save_fn save;
  restore_fn restore;
};

std::vector<entry>& entries() {
  static std::vector<entry> e;
  return e;
}

template <class T>
void put(std::string& out, T v) {
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// Reads the entries one by one; `fn(entry, data, size)` for each, stopping at false.
template <class F>
bool walk(const char* data, size_t size, F fn) {
  const char* p = data;
  const char* end = data + size;
  u32 count;
  if (size_t(end - p) < sizeof count) return false;
  std::memcpy(&count, p, sizeof count);
  p += sizeof count;
  if (count != entries().size()) return false;
  for (const entry& e : entries()) {
    u32 n;
    u64 bytes;
    if (size_t(end - p) < sizeof n) return false;
    std::memcpy(&n, p, sizeof n);
    p += sizeof n;
    if (size_t(end - p) < n || std::strlen(e.name) != n || std::memcmp(p, e.name, n) != 0)
      return false;
    p += n;
    if (size_t(end - p) < sizeof bytes) return false;
    std::memcpy(&bytes, p, sizeof bytes);
    p += sizeof bytes;
    if (size_t(end - p) < bytes || (!e.save && bytes != e.bytes)) return false;
    if (!fn(e, p, size_t(bytes))) return false;
    p += bytes;
  }
  return p == end;
}
}  // namespace

void keep(const char* name, void* p, size_t bytes) {
  entries().push_back({name, p, bytes, nullptr, nullptr});
}

void keep_custom(const char* name, void* object, save_fn save, restore_fn restore) {
  entries().push_back({name, object, 0, save, restore});
}

void save_state(std::string& out) {
  put(out, u32(entries().size()));
  for (const entry& e : entries()) {
    u32 n = u32(std::strlen(e.name));
    put(out, n);
    out.append(e.name, n);
    size_t at = out.size();
    put(out, u64(0));
    size_t start = out.size();
    if (e.save) e.save(e.object, out);
    else out.append(static_cast<const char*>(e.object), e.bytes);
    u64 bytes = out.size() - start;
    std::memcpy(&out[at], &bytes, sizeof bytes);
  }
}

bool check_state(const char* data, size_t size) {
  return walk(data, size, [](const entry&, const char*, size_t) { return true; });
}

void restore_state(const char* data, size_t size) {
  walk(data, size, [](const entry& e, const char* p, size_t n) {
    if (e.save) return e.restore(e.object, p, n);
    std::memcpy(e.object, p, n);
    return true;
  });
}

}  // namespace vyr::snapshot
