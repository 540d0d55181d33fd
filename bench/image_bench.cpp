// Image codecs: decode and encode of a 2048 x 2048 image in each format, in MB of pixels
// (w x h x 4 bytes) a second, each beside a minimal loop calling the same library directly
// (BM_Direct*; BMP has no library). BM_PngDecodeMemory decodes a 4096 x 4096 PNG and reports
// how much the resident set grew while the image is held (the pixels are 64 MiB).
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "boot/init.h"
#include "runtime/codecs/images.h"

using namespace vyr;

namespace {

constexpr u32 SIDE = 2048;

// A photograph-like test image: gradients, a soft pattern and a little noise, opaque.
const std::vector<u32>& picture(u32 side = SIDE) {
  static std::vector<u32> small, large;
  std::vector<u32>& p = side == SIDE ? small : large;
  if (p.empty()) {
    p.resize(u64(side) * side);
    u32 seed = 12345;
    for (u32 y = 0; y < side; y++)
      for (u32 x = 0; x < side; x++) {
        seed = seed * 1103515245u + 12345u;
        u32 n = (seed >> 16) & 7;
        u32 r = (x * 255 / side + n) & 255, g = (y * 255 / side + n) & 255,
            b = (((x ^ y) >> 3) + n) & 255;
        p[u64(y) * side + x] = 0xFF000000u | r << 16 | g << 8 | b;
      }
  }
  return p;
}

const std::vector<u8>& file_of(i32 format) {
  static std::vector<u8> files[5];
  if (files[format].empty()) files[format] = image_codecs::encode(picture().data(), SIDE, SIDE, format);
  return files[format];
}

void bytes(benchmark::State& st, u64 side = SIDE) {
  st.SetBytesProcessed(st.iterations() * i64(side * side * 4));
}

template <i32 F> void BM_Decode(benchmark::State& st) {
  boot::init_runtime();
  const auto& f = file_of(F);
  for (auto _ : st) {
    image::raster r = image_codecs::decode(f.data(), f.size(), F);
    benchmark::DoNotOptimize(r.pixels);
  }
  bytes(st);
}
template <i32 F> void BM_Encode(benchmark::State& st) {
  boot::init_runtime();
  const auto& p = picture();
  for (auto _ : st) benchmark::DoNotOptimize(image_codecs::encode(p.data(), SIDE, SIDE, F));
  bytes(st);
}

// ---- The libraries called directly ---------------------------------------------------------

void BM_DirectPngDecode(benchmark::State& st) {
  const auto& f = file_of(image_codecs::PNG);
  std::vector<u32> out(u64(SIDE) * SIDE);
  for (auto _ : st) {
    png_image im;
    std::memset(&im, 0, sizeof im);
    im.version = PNG_IMAGE_VERSION;
    png_image_begin_read_from_memory(&im, f.data(), f.size());
    im.format = PNG_FORMAT_BGRA;
    png_image_finish_read(&im, nullptr, out.data(), 0, nullptr);
    benchmark::DoNotOptimize(out.data());
  }
  bytes(st);
}
void BM_DirectPngEncode(benchmark::State& st) {
  const auto& p = picture();
  for (auto _ : st) {
    png_image im;
    std::memset(&im, 0, sizeof im);
    im.version = PNG_IMAGE_VERSION;
    im.width = SIDE;
    im.height = SIDE;
    im.format = PNG_FORMAT_BGR;  // opaque: written as RGB, as ours is
    std::vector<u8> bgr(u64(SIDE) * SIDE * 3);
    for (u64 i = 0; i < p.size(); i++) std::memcpy(&bgr[i * 3], &p[i], 3);
    std::vector<u8> out(bgr.size() + (1 << 20));
    png_alloc_size_t size = out.size();
    png_image_write_to_memory(&im, out.data(), &size, 0, bgr.data(), 0, nullptr);
    benchmark::DoNotOptimize(out.data());
  }
  bytes(st);
}

void BM_DirectJpegDecode(benchmark::State& st) {
  const auto& f = file_of(image_codecs::JPEG);
  std::vector<u32> out(u64(SIDE) * SIDE);
  for (auto _ : st) {
    jpeg_decompress_struct ci;
    jpeg_error_mgr err;
    ci.err = jpeg_std_error(&err);
    jpeg_create_decompress(&ci);
    jpeg_mem_src(&ci, f.data(), f.size());
    jpeg_read_header(&ci, TRUE);
    ci.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&ci);
    while (ci.output_scanline < ci.output_height) {
      JSAMPROW row = reinterpret_cast<JSAMPROW>(&out[u64(ci.output_scanline) * SIDE]);
      jpeg_read_scanlines(&ci, &row, 1);
    }
    jpeg_destroy_decompress(&ci);
    benchmark::DoNotOptimize(out.data());
  }
  bytes(st);
}
void BM_DirectJpegEncode(benchmark::State& st) {
  const auto& p = picture();
  for (auto _ : st) {
    jpeg_compress_struct ci;
    jpeg_error_mgr err;
    ci.err = jpeg_std_error(&err);
    jpeg_create_compress(&ci);
    u8* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&ci, &buf, &size);
    ci.image_width = SIDE;
    ci.image_height = SIDE;
    ci.input_components = 4;
    ci.in_color_space = JCS_EXT_BGRA;
    jpeg_set_defaults(&ci);
    jpeg_set_quality(&ci, 90, TRUE);
    jpeg_start_compress(&ci, TRUE);
    while (ci.next_scanline < SIDE) {
      JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<u32*>(&p[u64(ci.next_scanline) * SIDE]));
      jpeg_write_scanlines(&ci, &row, 1);
    }
    jpeg_finish_compress(&ci);
    jpeg_destroy_compress(&ci);
    std::free(buf);
  }
  bytes(st);
}

struct gif_src { const u8* p; size_t n, pos; };
int gif_read(GifFileType* g, GifByteType* out, int n) {
  auto* s = static_cast<gif_src*>(g->UserData);
  size_t k = std::min<size_t>(size_t(n), s->n - s->pos);
  std::memcpy(out, s->p + s->pos, k);
  s->pos += k;
  return int(k);
}
void BM_DirectGifDecode(benchmark::State& st) {
  const auto& f = file_of(image_codecs::GIF);
  std::vector<u32> out(u64(SIDE) * SIDE);
  for (auto _ : st) {
    gif_src s{f.data(), f.size(), 0};
    int err;
    GifFileType* g = DGifOpen(&s, gif_read, &err);
    DGifSlurp(g);
    const SavedImage& im = g->SavedImages[0];
    const ColorMapObject* map = g->SColorMap;
    for (u64 i = 0; i < out.size(); i++) {
      const GifColorType& c = map->Colors[im.RasterBits[i]];
      out[i] = 0xFF000000u | u32(c.Red) << 16 | u32(c.Green) << 8 | c.Blue;
    }
    DGifCloseFile(g, &err);
    benchmark::DoNotOptimize(out.data());
  }
  bytes(st);
}
int gif_write(GifFileType* g, const GifByteType* in, int n) {
  auto* v = static_cast<std::vector<u8>*>(g->UserData);
  v->insert(v->end(), in, in + n);
  return n;
}
void BM_DirectGifEncode(benchmark::State& st) {
  // The library's part only: a fixed 256-colour palette and precomputed indexes.
  const auto& p = picture();
  std::vector<u8> idx(p.size());
  for (u64 i = 0; i < p.size(); i++) idx[i] = u8(((p[i] >> 16) & 0xE0) | ((p[i] >> 11) & 0x1C) | ((p[i] >> 6) & 3));
  GifColorType colours[256];
  for (int i = 0; i < 256; i++) colours[i] = GifColorType{u8(i & 0xE0), u8((i << 3) & 0xE0), u8(i << 6)};
  for (auto _ : st) {
    std::vector<u8> out;
    int err;
    GifFileType* g = EGifOpen(&out, gif_write, &err);
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifPutScreenDesc(g, SIDE, SIDE, 8, 0, map);
    EGifPutImageDesc(g, 0, 0, SIDE, SIDE, false, nullptr);
    for (u32 y = 0; y < SIDE; y++) EGifPutLine(g, &idx[u64(y) * SIDE], SIDE);
    GifFreeMapObject(map);
    EGifCloseFile(g, &err);
    benchmark::DoNotOptimize(out.data());
  }
  bytes(st);
}

void BM_DirectTiffDecode(benchmark::State& st) {
  // Through a temporary file: the plainest use of the library.
  const auto& f = file_of(image_codecs::TIFF);
  char path[] = "/tmp/vyr_bench_XXXXXX";
  int fd = mkstemp(path);
  if (write(fd, f.data(), f.size()) != ssize_t(f.size())) st.SkipWithError("write");
  close(fd);
  std::vector<u8> out(u64(SIDE) * SIDE * 4);
  for (auto _ : st) {
    TIFF* t = TIFFOpen(path, "r");
    tmsize_t line = TIFFScanlineSize(t);
    std::vector<u8> buf(static_cast<size_t>(line));
    for (u32 y = 0; y < SIDE; y++) {
      TIFFReadScanline(t, buf.data(), y, 0);
      std::memcpy(&out[u64(y) * SIDE * 4], buf.data(), u64(SIDE) * 4);
    }
    TIFFClose(t);
    benchmark::DoNotOptimize(out.data());
  }
  unlink(path);
  bytes(st);
}
void BM_DirectTiffEncode(benchmark::State& st) {
  const auto& p = picture();
  char path[] = "/tmp/vyr_bench_XXXXXX";
  close(mkstemp(path));
  std::vector<u8> line(u64(SIDE) * 4);
  for (auto _ : st) {
    TIFF* t = TIFFOpen(path, "w");
    uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, SIDE);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, SIDE);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    for (u32 y = 0; y < SIDE; y++) {
      std::memcpy(line.data(), &p[u64(y) * SIDE], line.size());
      TIFFWriteScanline(t, line.data(), y, 0);
    }
    TIFFClose(t);
  }
  unlink(path);
  bytes(st);
}

u64 resident_bytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return u64(resident) * 4096;
}

void BM_PngDecodeMemory(benchmark::State& st) {
  boot::init_runtime();
  const u32 side = 4096;
  static std::vector<u8> file = image_codecs::encode(picture(side).data(), side, side, image_codecs::PNG);
  double growth = 0;
  for (auto _ : st) {
    u64 before = resident_bytes();
    image::raster r = image_codecs::decode(file.data(), file.size(), image_codecs::PNG);
    growth = double(resident_bytes() - before) / (1 << 20);
    benchmark::DoNotOptimize(r.pixels);
  }
  st.counters["rss_growth_MiB"] = growth;
  st.counters["bound_MiB"] = 1.1 * 64;
  bytes(st, side);
}

}  // namespace

BENCHMARK(BM_Decode<image_codecs::PNG>)->Name("BM_PngDecode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectPngDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode<image_codecs::PNG>)->Name("BM_PngEncode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectPngEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<image_codecs::JPEG>)->Name("BM_JpegDecode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectJpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode<image_codecs::JPEG>)->Name("BM_JpegEncode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectJpegEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<image_codecs::GIF>)->Name("BM_GifDecode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectGifDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode<image_codecs::GIF>)->Name("BM_GifEncode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectGifEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<image_codecs::TIFF>)->Name("BM_TiffDecode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectTiffDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode<image_codecs::TIFF>)->Name("BM_TiffEncode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectTiffEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<image_codecs::BMP>)->Name("BM_BmpDecode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode<image_codecs::BMP>)->Name("BM_BmpEncode")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecodeMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

namespace {
void BM_GifQuantise(benchmark::State& st) {
  const auto& p = picture();
  for (auto _ : st) benchmark::DoNotOptimize(image_codecs::quantise(p.data(), p.size(), 256));
  bytes(st);
}
}  // namespace
BENCHMARK(BM_GifQuantise)->Unit(benchmark::kMillisecond);
