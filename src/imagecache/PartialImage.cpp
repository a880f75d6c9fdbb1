#include "imagecache/PartialImage.h"

#include "platform/gfx/Image.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace kt::PartialImage {
namespace {

uint32_t be16(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 8) | p[1]; }
uint32_t be32(const uint8_t* p) { return (be16(p) << 16) | be16(p + 2); }
uint32_t le16(const uint8_t* p) { return p[0] | (static_cast<uint32_t>(p[1]) << 8); }

std::optional<PixelSize> allowed(uint32_t width, uint32_t height) {
  int64_t w = width, h = height;
  if (w <= 0 || h <= 0 || w > gfx::Image::MaxPixelSide || h > gfx::Image::MaxPixelSide ||
      w * h > gfx::Image::MaxPixelCount)
    return std::nullopt;
  return PixelSize{static_cast<int>(w), static_cast<int>(h)};
}

bool isPng(std::string_view d) { return d.size() >= 8 && std::memcmp(d.data(), "\x89PNG\r\n\x1a\n", 8) == 0; }
// Start of image; the decoder reads past stray bytes before the first marker as before any other.
bool isJpeg(std::string_view d) { return d.size() >= 2 && std::memcmp(d.data(), "\xFF\xD8", 2) == 0; }

// The frame header (SOFn) of a JPEG: walks the marker segments from the start. Between segments
// it skips what a JPEG reader skips before a marker: stray bytes, and fill bytes (0xFF repeated).
std::optional<PixelSize> jpegSize(const uint8_t* p, size_t n) {
  size_t pos = 2;
  for (;;) {
    while (pos < n && p[pos] != 0xFF) ++pos;
    while (pos + 1 < n && p[pos + 1] == 0xFF) ++pos;
    if (pos + 1 >= n) return std::nullopt;
    uint8_t marker = p[pos + 1];
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // stray 0xFF 0x00, or no length
      pos += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // end, or a scan before any frame
    if (pos + 4 > n) return std::nullopt;
    uint32_t length = be16(p + pos + 2);
    bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 2 || pos + 9 > n) return std::nullopt;
      return allowed(be16(p + pos + 7), be16(p + pos + 5));
    }
    // A length of 0 or 1 cannot even cover itself: the decoder skips nothing and reads on after it.
    pos += 2 + std::max<uint32_t>(length, 2);
  }
}

// The header chunk (IHDR) of a PNG. The decoder passes over unknown ancillary chunks (a
// lower-case first letter) before it, so they are walked past too.
std::optional<PixelSize> pngSize(const uint8_t* p, size_t n) {
  size_t pos = 8;
  while (pos + 8 <= n) {
    const uint32_t length = be32(p + pos);
    const uint8_t* type = p + pos + 4;
    if (std::memcmp(type, "IHDR", 4) == 0) {
      if (pos + 16 > n) return std::nullopt;
      return allowed(be32(p + pos + 8), be32(p + pos + 12));
    }
    if (!(type[0] & 0x20) || length > 0x7FFFFFFF) return std::nullopt;
    pos += 12 + static_cast<size_t>(length);
  }
  return std::nullopt;
}

inline uint32_t premultipliedWord(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  if (a == 0) return 0;
  if (a != 255) {
    r = (r * a + 127) / 255;
    g = (g * a + 127) / 255;
    b = (b * a + 127) / 255;
  }
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// What a decoder produced: full-width rows, top first.
struct Rows {
  int width = 0;
  int count = 0;
  std::vector<uint32_t> pixels;

  std::shared_ptr<gfx::Image> image() {
    if (count <= 0) return nullptr;
    pixels.resize(static_cast<size_t>(width) * count);
    return gfx::Image::fromPixels(width, count, std::move(pixels));
  }
};

// ---- JPEG: a source that suspends where the bytes end, so the rows decoded so far stay ----

struct JpegErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void jpegFail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1); }
void jpegSilent(j_common_ptr) {}
void jpegNoMessage(j_common_ptr, int) {}
void jpegInit(j_decompress_ptr) {}
boolean jpegSuspend(j_decompress_ptr) { return FALSE; }
void jpegSkip(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  auto* src = cinfo->src;
  if (static_cast<size_t>(count) > src->bytes_in_buffer) {
    src->next_input_byte += src->bytes_in_buffer;
    src->bytes_in_buffer = 0;  // the rest has not arrived: the next read suspends
    return;
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

struct JpegJob {
  jpeg_decompress_struct cinfo;
  JpegErrors errors;
  jpeg_source_mgr source;
  std::vector<uint8_t> line;
  Rows rows;
};

// The rows the decoder gives until it has them all or the bytes run out. Only POD locals: the
// decoder's error exit jumps over this frame.
void readJpegRows(JpegJob& job) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  int w = static_cast<int>(cinfo.output_width);
  job.rows.width = w;
  job.rows.pixels.resize(static_cast<size_t>(w) * cinfo.output_height);
  job.line.resize(static_cast<size_t>(w) * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = job.line.data();
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return;  // suspended: the rest has not arrived
    uint32_t* dst = job.rows.pixels.data() + static_cast<size_t>(job.rows.count) * w;
    for (int x = 0; x < w; ++x) {
      const uint8_t* s = job.line.data() + x * 3;
      dst[x] = premultipliedWord(s[0], s[1], s[2], 255);
    }
    ++job.rows.count;
  }
}

// A multi-scan (progressive) file: every scan that has arrived is taken in, then the picture is
// read as the last whole scan leaves it, at full height. While the first scan is still arriving,
// its top rows are what there is.
void readJpegScans(JpegJob& job) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  cinfo.buffered_image = TRUE;
  // Smoothing would hold back the last rows of a whole scan until the next one begins.
  cinfo.do_block_smoothing = FALSE;
  if (!jpeg_start_decompress(&cinfo) || cinfo.output_components != 3) return;
  int status = JPEG_SUSPENDED;
  do {
    status = jpeg_consume_input(&cinfo);
  } while (status != JPEG_SUSPENDED && status != JPEG_REACHED_EOI);
  const bool scanWhole = status == JPEG_REACHED_EOI || cinfo.input_iMCU_row >= cinfo.total_iMCU_rows;
  const int scan = scanWhole || cinfo.input_scan_number <= 1 ? cinfo.input_scan_number : cinfo.input_scan_number - 1;
  if (!jpeg_start_output(&cinfo, scan)) return;
  readJpegRows(job);
}

// Only POD state lives across setjmp: everything else is in the job.
void runJpeg(JpegJob& job, const uint8_t* data, size_t size) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  if (setjmp(job.errors.jump)) return;
  jpeg_create_decompress(&cinfo);
  job.source.next_input_byte = data;
  job.source.bytes_in_buffer = size;
  job.source.init_source = jpegInit;
  job.source.fill_input_buffer = jpegSuspend;
  job.source.skip_input_data = jpegSkip;
  job.source.resync_to_restart = jpeg_resync_to_restart;
  job.source.term_source = jpegInit;
  cinfo.src = &job.source;
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return;
  if (!allowed(cinfo.image_width, cinfo.image_height)) return;
  cinfo.out_color_space = JCS_RGB;
  if (jpeg_has_multiple_scans(&cinfo)) return readJpegScans(job);
  if (!jpeg_start_decompress(&cinfo) || cinfo.output_components != 3) return;
  readJpegRows(job);
}

Rows jpegRows(std::string_view data) {
  auto job = std::make_unique<JpegJob>();
  std::memset(&job->cinfo, 0, sizeof job->cinfo);
  std::memset(&job->source, 0, sizeof job->source);
  job->cinfo.err = jpeg_std_error(&job->errors.pub);
  job->errors.pub.error_exit = jpegFail;
  job->errors.pub.output_message = jpegSilent;
  job->errors.pub.emit_message = jpegNoMessage;
  runJpeg(*job, reinterpret_cast<const uint8_t*>(data.data()), data.size());
  jpeg_destroy_decompress(&job->cinfo);
  return std::move(job->rows);
}

// ---- PNG: rows are read one by one until the bytes run out ----

struct PngJob {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<uint8_t> line;
  Rows rows;
};

void pngRead(png_structp png, png_bytep dest, size_t length) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  if (length > job->size - job->pos) png_error(png, "no more bytes yet");
  std::memcpy(dest, job->data + job->pos, length);
  job->pos += length;
}
[[noreturn]] void pngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngNoWarning(png_structp, png_const_charp) {}

void runPng(PngJob& job) {
  if (setjmp(png_jmpbuf(job.png))) return;
  png_set_read_fn(job.png, &job, pngRead);
  // Compressed data is read in small pieces, so that a row shows as soon as its bytes are in.
  png_set_compression_buffer_size(job.png, 512);
  png_read_info(job.png, job.info);
  png_uint_32 w = png_get_image_width(job.png, job.info), h = png_get_image_height(job.png, job.info);
  if (!allowed(w, h) || png_get_interlace_type(job.png, job.info) != PNG_INTERLACE_NONE) return;
  int colorType = png_get_color_type(job.png, job.info);
  png_set_expand(job.png);  // palette and low-depth grey to 8 bits, transparency to alpha
  png_set_strip_16(job.png);
  if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(job.png);
  png_set_add_alpha(job.png, 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(job.png, job.info);
  if (png_get_rowbytes(job.png, job.info) != static_cast<size_t>(w) * 4) return;
  job.rows.width = static_cast<int>(w);
  job.rows.pixels.resize(static_cast<size_t>(w) * h);
  job.line.resize(static_cast<size_t>(w) * 4);
  for (png_uint_32 y = 0; y < h; ++y) {
    png_read_row(job.png, job.line.data(), nullptr);
    uint32_t* dst = job.rows.pixels.data() + static_cast<size_t>(y) * w;
    for (png_uint_32 x = 0; x < w; ++x) {
      const uint8_t* s = job.line.data() + x * 4;
      dst[x] = premultipliedWord(s[0], s[1], s[2], s[3]);
    }
    ++job.rows.count;
  }
}

Rows pngRows(std::string_view data) {
  PngJob job;
  job.data = reinterpret_cast<const uint8_t*>(data.data());
  job.size = data.size();
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFail, pngNoWarning);
  if (!job.png) return {};
  job.info = png_create_info_struct(job.png);
  if (job.info) runPng(job);
  png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr);
  return std::move(job.rows);
}

}  // namespace

std::optional<PixelSize> pixelSize(std::string_view data) {
  const auto* p = reinterpret_cast<const uint8_t*>(data.data());
  if (isPng(data)) return pngSize(p, data.size());
  if (isJpeg(data)) return jpegSize(p, data.size());
  if (data.size() >= 10 && (data.substr(0, 6) == "GIF87a" || data.substr(0, 6) == "GIF89a"))
    return allowed(le16(p + 6), le16(p + 8));
  return std::nullopt;
}

std::shared_ptr<gfx::Image> decodeRows(std::string_view data) {
  if (isPng(data)) return pngRows(data).image();
  if (isJpeg(data)) return jpegRows(data).image();
  return nullptr;
}

}  // namespace kt::PartialImage
