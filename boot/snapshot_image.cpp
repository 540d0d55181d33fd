// The saved environment's file (snapshot_image.h). Layout, all numbers little-endian u64
// unless said:
//   page 0: "VYRSNAP1", the build id's length and bytes, then the sizes of the two parts
//   that follow the header: the C++ state (runtime/snapshot.cpp) and the arena's layout
//   (bump, committed, free ranges, guards, then the stored runs as offset/length pairs);
//   both parts, then padding to a page; then the stored runs' pages, in order.
// Committed pages that hold only zeroes are not stored: they come back as fresh pages.
// Appended to the executable, the image is followed by a trailer: "VYRSNAPT", its start
// and its length.
#include "boot/snapshot_image.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "runtime/arena.h"
#include "runtime/collector.h"
#include "runtime/snapshot.h"

namespace vyr::boot {

namespace {
constexpr u64 PAGE = 4096;
constexpr char MAGIC[8] = {'V', 'Y', 'R', 'S', 'N', 'A', 'P', '1'};
constexpr char TRAILER[8] = {'V', 'Y', 'R', 'S', 'N', 'A', 'P', 'T'};

void put(std::string& out, u64 v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); }

struct reader {
  const char* p;
  const char* end;
  bool ok = true;
  u64 get() {
    u64 v = 0;
    if (size_t(end - p) < sizeof v) { ok = false; return 0; }
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
  }
  const char* take(u64 n) {
    if (u64(end - p) < n) { ok = false; return nullptr; }
    const char* at = p;
    p += n;
    return at;
  }
};

bool zero_page(const char* p) {
  static const char zeros[PAGE] = {};
  return std::memcmp(p, zeros, PAGE) == 0;
}

int note_callback(dl_phdr_info* info, size_t, void* data) {
  auto* out = static_cast<std::string*>(data);
  for (int i = 0; i < info->dlpi_phnum && out->empty(); i++) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_NOTE) continue;
    const char* at = reinterpret_cast<const char*>(info->dlpi_addr + ph.p_vaddr);
    const char* end = at + ph.p_memsz;
    while (at + sizeof(ElfW(Nhdr)) <= end) {
      auto* n = reinterpret_cast<const ElfW(Nhdr)*>(at);
      const char* name = at + sizeof(ElfW(Nhdr));
      const char* desc = name + ((n->n_namesz + 3) & ~3u);
      if (n->n_type == NT_GNU_BUILD_ID && n->n_namesz == 4 && std::memcmp(name, "GNU", 4) == 0) {
        static const char hex[] = "0123456789abcdef";
        for (u32 k = 0; k < n->n_descsz; k++) {
          out->push_back(hex[u8(desc[k]) >> 4]);
          out->push_back(hex[u8(desc[k]) & 15]);
        }
        break;
      }
      at = desc + ((n->n_descsz + 3) & ~3u);
    }
  }
  return 1;  // the first object is the executable
}
}  // namespace

std::string build_id() {
  std::string id;
  dl_iterate_phdr(note_callback, &id);
  return id;
}

bool write_snapshot(const char* path) {
  // What the construction left behind and no one holds is not worth carrying.
  collector::do_cycle();
  std::string state, layout_bytes;
  snapshot::save_state(state);
  arena::layout l = arena::current_layout();
  put(layout_bytes, l.bump);
  put(layout_bytes, l.committed);
  put(layout_bytes, l.free_ranges.size());
  for (auto [o, n] : l.free_ranges) { put(layout_bytes, o); put(layout_bytes, n); }
  put(layout_bytes, l.guards.size());
  for (auto [o, n] : l.guards) { put(layout_bytes, o); put(layout_bytes, n); }
  // Stored runs: committed pages, less guards and pages of zeroes.
  std::vector<std::pair<u64, u64>> runs;
  auto guarded = [&](u64 off) {
    for (auto [o, n] : l.guards)
      if (off >= o && off < o + n) return true;
    return false;
  };
  for (auto [off, len] : arena::committed_ranges()) {
    for (u64 p = off; p < off + len; p += PAGE) {
      bool keep = !guarded(p) && !zero_page(arena::at<const char>(u32(p)));
      if (!keep) continue;
      if (!runs.empty() && runs.back().first + runs.back().second == p) runs.back().second += PAGE;
      else runs.emplace_back(p, PAGE);
    }
  }
  put(layout_bytes, runs.size());
  for (auto [o, n] : runs) { put(layout_bytes, o); put(layout_bytes, n); }
  std::string id = build_id();
  std::string head(MAGIC, sizeof MAGIC);
  put(head, id.size());
  head += id;
  put(head, state.size());
  put(head, layout_bytes.size());
  head += state;
  head += layout_bytes;
  head.resize((head.size() + PAGE - 1) / PAGE * PAGE, '\0');
  FILE* f = std::fopen(path, "wb");
  if (!f) {
    std::fprintf(stderr, "Error: cannot write the snapshot %s\n", path);
    return false;
  }
  bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
  for (auto [o, n] : runs) ok = ok && std::fwrite(arena::at<const char>(u32(o)), 1, n, f) == n;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::fprintf(stderr, "Error: cannot write the snapshot %s\n", path);
  return ok;
}

snapshot_status load_snapshot(const char* path) {
  const char* name = path ? path : "/proc/self/exe";
  int fd = open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (!path) return snapshot_status::absent;
    std::fprintf(stderr, "Error: cannot read the snapshot %s\n", path);
    return snapshot_status::refused;
  }
  auto refuse = [&](const char* why) {
    std::fprintf(stderr, "Error: the snapshot %s %s\n", path ? path : "in the executable", why);
    close(fd);
    return snapshot_status::refused;
  };
  struct stat st;
  if (fstat(fd, &st) != 0) return refuse("cannot be read");
  u64 start = 0, length = u64(st.st_size);
  if (!path) {
    // The trailer at the executable's end; none: the executable carries no snapshot.
    char t[24];
    if (st.st_size < 24 || pread(fd, t, 24, st.st_size - 24) != 24 || std::memcmp(t, TRAILER, 8) != 0) {
      close(fd);
      return snapshot_status::absent;
    }
    std::memcpy(&start, t + 8, 8);
    std::memcpy(&length, t + 16, 8);
    if (start % PAGE || start + length + 24 > u64(st.st_size)) return refuse("is damaged");
  }
  // The header pages: their size is known once the first fields are read.
  std::string head(std::min<u64>(length, PAGE), '\0');
  if (pread(fd, head.data(), head.size(), off_t(start)) != ssize_t(head.size())) return refuse("cannot be read");
  if (head.size() < 16 || std::memcmp(head.data(), MAGIC, 8) != 0) return refuse("is not a snapshot");
  reader r{head.data() + 8, head.data() + head.size()};
  u64 id_size = r.get();
  if (!r.ok || id_size > 256) return refuse("is damaged");
  const char* id_bytes = r.take(id_size);
  std::string id = id_bytes ? std::string(id_bytes, id_size) : std::string();
  u64 state_size = r.get(), layout_size = r.get();
  if (!r.ok) return refuse("is damaged");
  if (id.empty() || id != build_id())
    return refuse("was made by another build of this program: it is not loaded");
  u64 head_size = u64(r.p - head.data()) + state_size + layout_size;
  if (head_size > length) return refuse("is damaged");
  head.resize(head_size);
  if (pread(fd, head.data(), head_size, off_t(start)) != ssize_t(head_size)) return refuse("cannot be read");
  const char* state = head.data() + (head_size - state_size - layout_size);
  if (!snapshot::check_state(state, state_size))
    return refuse("does not fit this program's runtime: it is not loaded");
  r = reader{state + state_size, state + state_size + layout_size};
  arena::layout l;
  l.bump = r.get();
  l.committed = r.get();
  auto pairs = [&](std::vector<std::pair<u64, u64>>& out) {
    u64 n = r.get();
    if (n > (1u << 24)) r.ok = false;
    for (; r.ok && n > 0; n--) {
      u64 o = r.get();
      u64 len = r.get();
      out.emplace_back(o, len);
    }
  };
  pairs(l.free_ranges);
  pairs(l.guards);
  std::vector<std::pair<u64, u64>> runs;
  pairs(runs);
  u64 pages_at = (head_size + PAGE - 1) / PAGE * PAGE, stored = 0;
  for (auto [o, n] : runs) {
    if (o % PAGE || n % PAGE || o + n > l.bump) r.ok = false;
    stored += n;
  }
  if (!r.ok || r.p != r.end || pages_at + stored > length) return refuse("is damaged");
  if (l.bump > arena::size()) return refuse("does not fit in the memory arena");
  // From here on the arena is the image's.
  arena::adopt_layout(l);
  u64 at = start + pages_at;
  for (auto [o, n] : runs) {
    if (!arena::map_file(u32(o), n, fd, at)) {
      // Without a mapping, a copy.
      if (pread(fd, arena::at<char>(u32(o)), n, off_t(at)) != ssize_t(n)) {
        std::fprintf(stderr, "*** Runtime Error 94: cannot read the snapshot\n");
        _exit(94);
      }
    }
    at += n;
  }
  close(fd);
  snapshot::restore_state(state, state_size);
  memory::adopt_image();
  return snapshot_status::loaded;
}

}  // namespace vyr::boot
