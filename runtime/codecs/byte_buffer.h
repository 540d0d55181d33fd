// A growable byte buffer on the C++ heap for the codecs' output: no arena allocation while a
// codec runs, so a pointer into an input series stays valid for the whole call. Growth goes
// through realloc (large blocks are remapped, not copied) and never zero-fills.
#pragma once
#include <cstdlib>
#include <utility>

#include "runtime/cell.h"
#include "runtime/fire.h"

namespace vyr::codecs {

class byte_buffer {
 public:
  byte_buffer() = default;
  byte_buffer(const byte_buffer&) = delete;
  byte_buffer& operator=(const byte_buffer&) = delete;
  byte_buffer(byte_buffer&& o) noexcept
      : data_(std::exchange(o.data_, nullptr)),
        size_(std::exchange(o.size_, 0)),
        capacity_(std::exchange(o.capacity_, 0)) {}
  byte_buffer& operator=(byte_buffer&& o) noexcept {
    std::swap(data_, o.data_);
    std::swap(size_, o.size_);
    std::swap(capacity_, o.capacity_);
    return *this;
  }
  ~byte_buffer() { std::free(data_); }

  u8* data() { return data_; }
  const u8* data() const { return data_; }
  u64 size() const { return size_; }
  u64 capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  const u8* begin() const { return data_; }
  const u8* end() const { return data_ + size_; }
  u8 operator[](u64 i) const { return data_[i]; }

  // Room for at least `n` bytes; the contents up to size() are kept.
  void reserve(u64 n) {
    if (n <= capacity_) return;
    void* p = std::realloc(data_, n);
    if (!p) fire_no_memory();
    data_ = static_cast<u8*>(p);
    capacity_ = n;
  }
  // The first `n` bytes (n <= capacity) are the contents.
  void set_size(u64 n) { size_ = n; }
  void clear() { size_ = 0; }

 private:
  u8* data_ = nullptr;
  u64 size_ = 0;
  u64 capacity_ = 0;
};

}  // namespace vyr::codecs
