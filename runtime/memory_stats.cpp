// Memory statistics (see memory_stats.h). Frame headers are counted as the memory manager
// lays them out: a node frame's record, a series frame's record and a big block's record.
#include "runtime/memory_stats.h"

#include "runtime/collector.h"
#include "runtime/datatypes/cells.h"
#include "runtime/memory.h"

namespace vyr::memory {

namespace {
constexpr u64 NODE_HEADER = sizeof(node_frame);
constexpr u64 SERIES_HEADER = sizeof(series_frame);
constexpr u64 BIG_HEADER = sizeof(big_block);
constexpr u64 HEAP_HEADER = 16;

node_frame* nframe(u32 off) { return arena::at<node_frame>(off); }
series_frame* sframe(u32 off) { return arena::at<series_frame>(off); }
big_block* bblock(u32 off) { return arena::at<big_block>(off); }

cell int_cell(i64 n) { return cell{TYPE_INTEGER, 0, static_cast<u32>(static_cast<i32>(n)), 0}; }

// Appends a block of integers on a line of its own.
void append_triple(u32 list, i64 a, i64 b, i64 c) {
  cell t;
  cells::make_block(&t, 3);
  cell v = int_cell(a);
  cells::append(t.data2, &v);
  v = int_cell(b);
  cells::append(t.data2, &v);
  v = int_cell(c);
  cells::append(t.data2, &v);
  t.header |= HEADER_NEW_LINE;
  cells::append(list, &t);
}
}  // namespace

cell count_value(double bytes) {
  if (bytes <= 2147483647.0) return int_cell(static_cast<i64>(bytes));
  cell f{TYPE_FLOAT, 0, 0, 0};
  set_cell_float(&f, bytes);
  return f;
}

double stats(const cell* out, i32 level) {
  // Building the result allocates; a collection in between would change what is measured.
  collector::no_collect off;
  if (level <= 1) {
    u64 n = 0;
    for (u32 f = mem.node_first; f; f = nframe(f)->next) n += u64{nframe(f)->used} * 4;
    for (u32 f = mem.series_first; f; f = sframe(f)->next)
      n += sframe(f)->bump - sframe(f)->data_offset();
    for (u32 p = mem.big_first; p; p = bblock(p)->next) n += bblock(p)->requested;
    return static_cast<double>(n);
  }
  u32 target = out->data2;
  u64 reserved = 0;

  cell nodes;
  cells::make_block(&nodes, node_frame_count());
  cells::append(target, &nodes);
  for (u32 f = mem.node_first; f; f = nframe(f)->next) {
    node_frame fr = *nframe(f);
    append_triple(nodes.data2, i64{fr.capacity} - fr.used, fr.used, fr.capacity);
    reserved += NODE_HEADER + u64{fr.capacity} * 4;
  }

  cell frames;
  cells::make_block(&frames, series_frame_count());
  cells::append(target, &frames);
  for (u32 f = mem.series_first; f; f = sframe(f)->next) {
    series_frame fr = *sframe(f);
    u32 start = sframe(f)->data_offset();
    append_triple(frames.data2, i64{fr.end} - fr.bump, i64{fr.bump} - start, i64{fr.end} - start);
    reserved += u64{fr.end - start} + SERIES_HEADER;
  }

  cell bigs;
  cells::make_block(&bigs, big_count());
  cells::append(target, &bigs);
  for (u32 p = mem.big_first; p; p = bblock(p)->next) {
    u32 size = bblock(p)->requested;
    cell v = int_cell(size);
    v.header |= HEADER_NEW_LINE;
    cells::append(bigs.data2, &v);
    reserved += u64{size} + BIG_HEADER;
  }

  u64 heap = 0;
  for (u32 i = 0; i < fixed_count(); i++)
    heap += u64{fixed_size(i)} + sizeof(series_buffer) + HEAP_HEADER;
  cell v = count_value(static_cast<double>(reserved + heap));
  cells::append(target, &v);
  v = count_value(static_cast<double>(heap));
  cells::append(target, &v);
  return 0;
}

}  // namespace vyr::memory
