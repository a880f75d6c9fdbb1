// Decoding and encoding of Image: format sniffing, one decoder per format over the system
// libraries (BMP by hand), and the PNG and JPEG encoders. Every decoder turns bad input into an
// error value: the libraries' error exits are caught and their messages kept off stderr.

#include "platform/gfx/Image.h"

#include <cairo.h>
#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "platform/core/CallbackGuard.h"
#include "platform/core/Error.h"
#include "platform/core/WorkProgress.h"

namespace gfx {

namespace {

// ---- Shared helpers ----

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// What a decoder produces: one picture, or the composed frames of an animation.
struct Decoded {
  SurfacePtr surface;
  std::vector<SurfacePtr> frames;  // two or more for an animation, else empty
  std::vector<double> delays;      // per frame, seconds
  bool hasAlpha = false;
  ImageOrientation orientation = ImageOrientation::Up;
  int64_t code = 0;  // the failure, when the decoder returns false
  std::string message;

  // Out of line, so that the functions that call setjmp keep no string temporaries of their own.
  [[gnu::noinline]] bool fail(int64_t c, const char* m) {
    code = c;
    message = m;
    return false;
  }
};

bool sizeAllowed(int64_t w, int64_t h) {
  return w > 0 && h > 0 && w <= Image::MaxPixelSide && h <= Image::MaxPixelSide && w * h <= Image::MaxPixelCount;
}

SurfacePtr newSurface(int w, int h) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  cairo_surface_flush(s);
  return SurfacePtr(s);
}

inline uint32_t* surfaceRow(cairo_surface_t* s, int y) {
  return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                     static_cast<size_t>(y) * cairo_image_surface_get_stride(s));
}

inline uint32_t premultiplied(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  if (a == 255) return 0xFF000000u | (r << 16) | (g << 8) | b;
  if (a == 0) return 0;
  auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
  return (a << 24) | (mul(r) << 16) | (mul(g) << 8) | mul(b);
}

// Rewrites a row that holds RGBA bytes (straight alpha) as premultiplied native words, in place.
void rgbaRowToNative(uint32_t* row, int width) {
  auto* bytes = reinterpret_cast<const uint8_t*>(row);
  for (int x = 0; x < width; ++x) {
    const uint8_t* p = bytes + x * 4;
    row[x] = premultiplied(p[0], p[1], p[2], p[3]);
  }
}

bool surfaceHasAlpha(cairo_surface_t* s) {
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = surfaceRow(s, y);
    for (int x = 0; x < w; ++x)
      if ((row[x] >> 24) != 0xFF) return true;
  }
  return false;
}

uint32_t readLE16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t readLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// ---- PNG ----

struct PngJob {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  png_structp png = nullptr;
  png_infop info = nullptr;
  Decoded* out = nullptr;
  std::vector<png_bytep> rows;
};

void pngReadData(png_structp png, png_bytep dest, size_t length) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  if (length > job->size - job->pos) png_error(png, "truncated");
  std::memcpy(dest, job->data + job->pos, length);
  job->pos += length;
}

[[noreturn]] void pngErrorExit(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngQuietWarning(png_structp, png_const_charp) {}

bool runPngDecode(PngJob& job) {
  if (setjmp(png_jmpbuf(job.png))) return job.out->fail(Image::Corrupt, "The PNG data is corrupt or truncated.");
  png_set_read_fn(job.png, &job, pngReadData);
  png_read_info(job.png, job.info);
  png_uint_32 w = png_get_image_width(job.png, job.info), h = png_get_image_height(job.png, job.info);
  if (!sizeAllowed(w, h)) return job.out->fail(Image::TooLarge, "The PNG image is too large.");
  int colorType = png_get_color_type(job.png, job.info);
  int depth = png_get_bit_depth(job.png, job.info);
  bool trns = png_get_valid(job.png, job.info, PNG_INFO_tRNS) != 0;
  job.out->hasAlpha = trns || (colorType & PNG_COLOR_MASK_ALPHA);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(job.png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(job.png);
  if (trns) png_set_tRNS_to_alpha(job.png);
  if (depth == 16) png_set_scale_16(job.png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(job.png);
  if (!job.out->hasAlpha) png_set_filler(job.png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(job.png);
  png_read_update_info(job.png, job.info);
  if (png_get_rowbytes(job.png, job.info) != static_cast<size_t>(w) * 4)
    return job.out->fail(Image::Unsupported, "The PNG pixel layout is not supported.");
  job.out->surface = newSurface(static_cast<int>(w), static_cast<int>(h));
  if (!job.out->surface) return job.out->fail(Image::TooLarge, "No memory for the PNG image.");
  job.rows.resize(h);
  for (png_uint_32 y = 0; y < h; ++y)
    job.rows[y] = reinterpret_cast<png_bytep>(surfaceRow(job.out->surface.get(), static_cast<int>(y)));
  png_read_image(job.png, job.rows.data());
  png_read_end(job.png, nullptr);
  for (png_uint_32 y = 0; y < h; ++y) rgbaRowToNative(surfaceRow(job.out->surface.get(), static_cast<int>(y)), w);
  return true;
}

bool decodePng(std::string_view bytes, Decoded& out) {
  // The size is checked here, from the first chunk, because libpng reads on to the pixel data
  // before it reports the header.
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  if (bytes.size() >= 24 && std::memcmp(b + 12, "IHDR", 4) == 0) {
    auto be32 = [](const uint8_t* p) {
      return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    };
    uint32_t w = be32(b + 16), h = be32(b + 20);
    if (w > 0 && h > 0 && !sizeAllowed(w, h)) return out.fail(Image::TooLarge, "The PNG image is too large.");
  }
  PngJob job;
  job.data = reinterpret_cast<const uint8_t*>(bytes.data());
  job.size = bytes.size();
  job.out = &out;
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngErrorExit, pngQuietWarning);
  if (!job.png) return out.fail(Image::Corrupt, "The PNG decoder could not start.");
  job.info = png_create_info_struct(job.png);
  bool ok = job.info && runPngDecode(job);
  png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr);
  if (!ok && out.code == 0) out.fail(Image::Corrupt, "The PNG decoder could not start.");
  return ok;
}

// ---- JPEG ----

struct JpegErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  bool damaged = false;  // premature end or broken entropy data: the picture is incomplete
};

[[noreturn]] void jpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1); }

void jpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  int code = cinfo->err->msg_code;
  if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE || code == JWRN_MUST_RESYNC ||
      code == JWRN_NOT_SEQUENTIAL)
    errors->damaged = true;
  cinfo->err->num_warnings++;
}

void jpegQuietOutput(j_common_ptr) {}

// The orientation tag (0x0112) of IFD0 in an APP1 "Exif" segment; Up when absent or unreadable.
ImageOrientation exifOrientation(const uint8_t* p, size_t n) {
  if (n < 6 + 8 || std::memcmp(p, "Exif\0\0", 6) != 0) return ImageOrientation::Up;
  const uint8_t* t = p + 6;
  size_t len = n - 6;
  bool little;
  if (t[0] == 'I' && t[1] == 'I')
    little = true;
  else if (t[0] == 'M' && t[1] == 'M')
    little = false;
  else
    return ImageOrientation::Up;
  auto u16 = [&](size_t off) -> uint32_t { return little ? t[off] | (t[off + 1] << 8) : (t[off] << 8) | t[off + 1]; };
  auto u32 = [&](size_t off) -> uint32_t {
    return little ? readLE32(t + off)
                  : (static_cast<uint32_t>(t[off]) << 24) | (t[off + 1] << 16) | (t[off + 2] << 8) | t[off + 3];
  };
  if (u16(2) != 42) return ImageOrientation::Up;
  size_t ifd = u32(4);
  if (ifd > len || len - ifd < 2) return ImageOrientation::Up;
  uint32_t count = u16(ifd);
  for (uint32_t i = 0; i < count; ++i) {
    size_t e = ifd + 2 + static_cast<size_t>(i) * 12;
    if (e + 12 > len) break;
    if (u16(e) != 0x0112) continue;
    uint32_t type = u16(e + 2), value = 0;
    if (type == 3)
      value = u16(e + 8);
    else if (type == 4)
      value = u32(e + 8);
    static const ImageOrientation kMap[] = {ImageOrientation::Up,           ImageOrientation::UpMirrored,
                                            ImageOrientation::Down,         ImageOrientation::DownMirrored,
                                            ImageOrientation::LeftMirrored, ImageOrientation::Right,
                                            ImageOrientation::RightMirrored, ImageOrientation::Left};
    return value >= 1 && value <= 8 ? kMap[value - 1] : ImageOrientation::Up;
  }
  return ImageOrientation::Up;
}

struct JpegJob {
  jpeg_decompress_struct cinfo;
  JpegErrors errors;
  bool created = false;
  const uint8_t* data = nullptr;
  size_t size = 0;
  Decoded* out = nullptr;
  std::vector<uint8_t> line;
};

bool runJpegDecode(JpegJob& job) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  if (setjmp(job.errors.jump)) return job.out->fail(Image::Corrupt, "The JPEG data is corrupt or truncated.");
  jpeg_create_decompress(&cinfo);
  job.created = true;
  jpeg_mem_src(&cinfo, job.data, static_cast<unsigned long>(job.size));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  if (!sizeAllowed(cinfo.image_width, cinfo.image_height))
    return job.out->fail(Image::TooLarge, "The JPEG image is too large.");
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    if (m->marker != JPEG_APP0 + 1) continue;
    if (m->data_length < 6 || std::memcmp(m->data, "Exif\0\0", 6) != 0) continue;  // e.g. XMP
    job.out->orientation = exifOrientation(m->data, m->data_length);
    break;
  }
  bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  if (cinfo.jpeg_color_space == JCS_GRAYSCALE)
    cinfo.out_color_space = JCS_GRAYSCALE;
  else
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
  int comps = cinfo.output_components;
  if ((comps != 1 && comps != 3 && comps != 4) || !sizeAllowed(w, h))
    return job.out->fail(Image::Unsupported, "The JPEG colour layout is not supported.");
  job.out->surface = newSurface(w, h);
  if (!job.out->surface) return job.out->fail(Image::TooLarge, "No memory for the JPEG image.");
  job.line.resize(static_cast<size_t>(w) * comps);
  // Adobe's CMYK JPEGs store the inks inverted, which is what nearly every CMYK JPEG is.
  bool inverted = cinfo.saw_Adobe_marker;
  while (cinfo.output_scanline < cinfo.output_height) {
    int y = static_cast<int>(cinfo.output_scanline);
    JSAMPROW row = job.line.data();
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return job.out->fail(Image::Corrupt, "The JPEG data is truncated.");
    uint32_t* dst = surfaceRow(job.out->surface.get(), y);
    const uint8_t* src = job.line.data();
    for (int x = 0; x < w; ++x) {
      if (comps == 1) {
        uint32_t g = src[x];
        dst[x] = 0xFF000000u | (g << 16) | (g << 8) | g;
      } else if (comps == 3) {
        const uint8_t* p = src + x * 3;
        dst[x] = 0xFF000000u | (p[0] << 16) | (p[1] << 8) | p[2];
      } else {
        const uint8_t* p = src + x * 4;
        uint32_t c = p[0], m = p[1], yy = p[2], k = p[3];
        if (!inverted) c = 255 - c, m = 255 - m, yy = 255 - yy, k = 255 - k;
        // Inverted inks are amounts of light: each channel is ink-free share times black-free share.
        dst[x] = 0xFF000000u | (((c * k + 127) / 255) << 16) | (((m * k + 127) / 255) << 8) | ((yy * k + 127) / 255);
      }
    }
  }
  jpeg_finish_decompress(&cinfo);
  if (job.errors.damaged) return job.out->fail(Image::Corrupt, "The JPEG data is corrupt or truncated.");
  job.out->hasAlpha = false;
  return true;
}

bool decodeJpeg(std::string_view bytes, Decoded& out) {
  auto job = std::make_unique<JpegJob>();
  std::memset(&job->cinfo, 0, sizeof job->cinfo);
  job->cinfo.err = jpeg_std_error(&job->errors.pub);
  job->errors.pub.error_exit = jpegErrorExit;
  job->errors.pub.emit_message = jpegEmitMessage;
  job->errors.pub.output_message = jpegQuietOutput;
  job->data = reinterpret_cast<const uint8_t*>(bytes.data());
  job->size = bytes.size();
  job->out = &out;
  bool ok = runJpegDecode(*job);
  if (job->created) jpeg_destroy_decompress(&job->cinfo);
  if (!ok) out.surface.reset();
  return ok;
}

// ---- GIF ----

struct GifSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

int gifRead(GifFileType* gif, GifByteType* dest, int length) {
  auto* src = static_cast<GifSource*>(gif->UserData);
  if (length <= 0) return 0;
  size_t n = std::min(static_cast<size_t>(length), src->size - src->pos);
  std::memcpy(dest, src->data + src->pos, n);
  src->pos += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

SurfacePtr copySurface(cairo_surface_t* s) {
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  SurfacePtr copy = newSurface(w, h);
  if (!copy) return nullptr;
  for (int y = 0; y < h; ++y) std::memcpy(surfaceRow(copy.get(), y), surfaceRow(s, y), static_cast<size_t>(w) * 4);
  cairo_surface_mark_dirty(copy.get());
  return copy;
}

// Frames are kept fully composed, so all of them together are held to a budget.
constexpr int64_t kMaxAnimationPixels = int64_t{1} << 27;

// Passes over the picture data of the frame whose descriptor was just read, without decoding it.
bool skipGifFrameData(GifFileType* gif) {
  int codeSize = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
  while (block) {
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Reads the frames of GIF data. Strictly (the decoder) any damage fails the whole picture. A
// reader that keeps what decodes (keepWhatReads) records a frame whose picture cannot be read
// as a null entry: it passes over a frame without colours or too large and goes on, and stops at
// damage it cannot pass (data cut short), keeping the whole frames before it.
bool decodeGif(std::string_view bytes, Decoded& out, bool keepWhatReads = false) {
  GifSource src{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&src, gifRead, &error));
  const char* corrupt = "The GIF data is corrupt or truncated.";
  if (!gif) return out.fail(Image::Corrupt, corrupt);

  int canvasW = gif->SWidth, canvasH = gif->SHeight;
  SurfacePtr canvas;
  std::vector<SurfacePtr> frames;
  std::vector<double> delays;
  GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
  GraphicsControlBlock previous = gcb;
  int prevLeft = 0, prevTop = 0, prevW = 0, prevH = 0;
  SurfacePtr saved;  // the canvas before a frame that restores to previous
  std::vector<GifByteType> raster;
  bool drawn = false;  // a frame has been composed on the canvas
  // A frame that does not decode: its entry stays empty, and reading goes on when `goOn`.
  auto skipFrame = [&](bool goOn) {
    frames.push_back(nullptr);
    delays.push_back(gcb.DelayTime / 100.0);
    gcb = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    return goOn && skipGifFrameData(gif.get());
  };

  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
      if (keepWhatReads) break;
      return out.fail(Image::Corrupt, corrupt);
    }
    if (type == TERMINATE_RECORD_TYPE) break;
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      bool read = DGifGetExtension(gif.get(), &code, &ext) != GIF_ERROR;
      if (read && code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) DGifExtensionToGCB(ext[0], ext + 1, &gcb);
      while (read && ext) read = DGifGetExtensionNext(gif.get(), &ext) != GIF_ERROR;
      if (read) continue;
      if (keepWhatReads) break;
      return out.fail(Image::Corrupt, corrupt);
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;

    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
      if (keepWhatReads) break;
      return out.fail(Image::Corrupt, corrupt);
    }
    const GifImageDesc desc = gif->Image;
    if (desc.Width <= 0 || desc.Height <= 0 || !sizeAllowed(desc.Width, desc.Height)) {
      if (keepWhatReads) {
        if (skipFrame(true)) continue;
        break;
      }
      return out.fail(Image::TooLarge, "A GIF frame is too large.");
    }
    if (!canvas) {
      if (canvasW <= 0 || canvasH <= 0) canvasW = desc.Left + desc.Width, canvasH = desc.Top + desc.Height;
      if (!sizeAllowed(canvasW, canvasH)) return out.fail(Image::TooLarge, "The GIF image is too large.");
      canvas = newSurface(canvasW, canvasH);
      if (!canvas) return out.fail(Image::TooLarge, "No memory for the GIF image.");
    }
    if (static_cast<int64_t>(frames.size() + 1) * canvasW * canvasH > kMaxAnimationPixels)
      return out.fail(Image::TooLarge, "The GIF animation is too large.");
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (!map || !map->Colors) {
      if (keepWhatReads) {
        if (skipFrame(true)) continue;
        break;
      }
      return out.fail(Image::Corrupt, "A GIF frame has no colour table.");
    }

    raster.assign(static_cast<size_t>(desc.Width) * desc.Height, 0);
    bool linesRead = true;
    if (desc.Interlace) {
      static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4 && linesRead; ++pass)
        for (int y = kStart[pass]; y < desc.Height && linesRead; y += kStep[pass])
          linesRead = DGifGetLine(gif.get(), &raster[static_cast<size_t>(y) * desc.Width], desc.Width) != GIF_ERROR;
    } else {
      for (int y = 0; y < desc.Height && linesRead; ++y)
        linesRead = DGifGetLine(gif.get(), &raster[static_cast<size_t>(y) * desc.Width], desc.Width) != GIF_ERROR;
    }
    if (!linesRead) {
      if (!keepWhatReads) return out.fail(Image::Corrupt, corrupt);
      skipFrame(false);  // the decoder cannot find the next frame after damaged picture data
      break;
    }

    // Undo the previous frame as its disposal asks, then remember the canvas if this one restores.
    if (drawn) {
      if (previous.DisposalMode == DISPOSE_BACKGROUND) {
        for (int y = std::max(prevTop, 0); y < std::min(prevTop + prevH, canvasH); ++y) {
          uint32_t* row = surfaceRow(canvas.get(), y);
          for (int x = std::max(prevLeft, 0); x < std::min(prevLeft + prevW, canvasW); ++x) row[x] = 0;
        }
      } else if (previous.DisposalMode == DISPOSE_PREVIOUS && saved) {
        canvas = std::move(saved);
      }
    }
    saved.reset();
    if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
      saved = copySurface(canvas.get());
      if (!saved) return out.fail(Image::TooLarge, "No memory for the GIF image.");
    }

    for (int y = 0; y < desc.Height; ++y) {
      int cy = desc.Top + y;
      if (cy < 0 || cy >= canvasH) continue;
      uint32_t* row = surfaceRow(canvas.get(), cy);
      const GifByteType* line = &raster[static_cast<size_t>(y) * desc.Width];
      for (int x = 0; x < desc.Width; ++x) {
        int cx = desc.Left + x;
        if (cx < 0 || cx >= canvasW) continue;
        int index = line[x];
        if (index == gcb.TransparentColor) continue;
        if (index >= map->ColorCount) {
          row[cx] = 0;
          continue;
        }
        const GifColorType& c = map->Colors[index];
        row[cx] = 0xFF000000u | (static_cast<uint32_t>(c.Red) << 16) | (static_cast<uint32_t>(c.Green) << 8) | c.Blue;
      }
    }
    cairo_surface_mark_dirty(canvas.get());

    SurfacePtr frame = copySurface(canvas.get());
    if (!frame) return out.fail(Image::TooLarge, "No memory for the GIF image.");
    frames.push_back(std::move(frame));
    delays.push_back(gcb.DelayTime / 100.0);
    drawn = true;
    previous = gcb;
    prevLeft = desc.Left, prevTop = desc.Top, prevW = desc.Width, prevH = desc.Height;
    gcb = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
  }
  if (frames.empty()) return out.fail(Image::Corrupt, "The GIF data holds no image.");

  out.hasAlpha = false;
  for (const auto& f : frames) out.hasAlpha = out.hasAlpha || (f && surfaceHasAlpha(f.get()));
  if (frames.size() == 1 && !keepWhatReads) {
    out.surface = std::move(frames.front());
    return true;
  }
  out.frames = std::move(frames);
  out.delays = std::move(delays);
  return true;
}

// ---- WebP ----

bool decodeWebp(std::string_view bytes, Decoded& out) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const char* corrupt = "The WebP data is corrupt or truncated.";
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, bytes.size(), &features) != VP8_STATUS_OK) return out.fail(Image::Corrupt, corrupt);
  if (!sizeAllowed(features.width, features.height)) return out.fail(Image::TooLarge, "The WebP image is too large.");
  out.hasAlpha = features.has_alpha != 0;

  if (!features.has_animation) {
    SurfacePtr s = newSurface(features.width, features.height);
    if (!s) return out.fail(Image::TooLarge, "No memory for the WebP image.");
    int stride = cairo_image_surface_get_stride(s.get());
    size_t total = static_cast<size_t>(stride) * features.height;
    if (!WebPDecodeRGBAInto(data, bytes.size(), cairo_image_surface_get_data(s.get()), total, stride))
      return out.fail(Image::Corrupt, corrupt);
    for (int y = 0; y < features.height; ++y) rgbaRowToNative(surfaceRow(s.get(), y), features.width);
    cairo_surface_mark_dirty(s.get());
    out.surface = std::move(s);
    return true;
  }

  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return out.fail(Image::Unsupported, "The WebP decoder could not start.");
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  WebPData webp{data, bytes.size()};
  struct AnimDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
  };
  std::unique_ptr<WebPAnimDecoder, AnimDeleter> decoder(WebPAnimDecoderNew(&webp, &options));
  if (!decoder) return out.fail(Image::Corrupt, corrupt);
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return out.fail(Image::Corrupt, corrupt);
  int w = static_cast<int>(info.canvas_width), h = static_cast<int>(info.canvas_height);
  if (!sizeAllowed(w, h) || static_cast<int64_t>(info.frame_count) * w * h > kMaxAnimationPixels)
    return out.fail(Image::TooLarge, "The WebP animation is too large.");
  int previousEnd = 0;
  std::vector<SurfacePtr> frames;
  std::vector<double> delays;
  while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
    uint8_t* pixels = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp)) return out.fail(Image::Corrupt, corrupt);
    SurfacePtr s = newSurface(w, h);
    if (!s) return out.fail(Image::TooLarge, "No memory for the WebP image.");
    for (int y = 0; y < h; ++y) {
      uint32_t* row = surfaceRow(s.get(), y);
      std::memcpy(row, pixels + static_cast<size_t>(y) * w * 4, static_cast<size_t>(w) * 4);
      rgbaRowToNative(row, w);
    }
    cairo_surface_mark_dirty(s.get());
    frames.push_back(std::move(s));
    delays.push_back((timestamp - previousEnd) / 1000.0);
    previousEnd = timestamp;
  }
  if (frames.empty()) return out.fail(Image::Corrupt, corrupt);
  if (frames.size() == 1) {
    out.surface = std::move(frames.front());
    return true;
  }
  out.frames = std::move(frames);
  out.delays = std::move(delays);
  return true;
}

// ---- BMP ----

// A channel of a bit-field pixel: where its mask sits and the largest value the field holds.
struct BitField {
  uint32_t mask = 0;
  int shift = 0;
  uint64_t max = 0;
  explicit BitField(uint32_t m = 0) : mask(m) {
    if (!m) return;
    shift = std::countr_zero(m);
    max = m >> shift;
  }
  // One run of set bits, as every writer lays out a channel; an empty mask is an absent channel.
  bool contiguous() const { return (max & (max + 1)) == 0; }
  // The field scaled to 0..255, rounded. In 64 bits: a field may be up to 32 bits wide.
  uint32_t extract(uint32_t v) const {
    if (!mask) return 0;
    const uint64_t raw = (v & mask) >> shift;
    return static_cast<uint32_t>((raw * 255 + max / 2) / max);
  }
};

bool decodeBmp(std::string_view bytes, Decoded& out) {
  const auto* d = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  const char* corrupt = "The BMP data is corrupt or truncated.";
  if (n < 14 + 12) return out.fail(Image::Corrupt, corrupt);
  uint32_t pixelOffset = readLE32(d + 10);
  uint32_t headerSize = readLE32(d + 14);
  if (headerSize < 12 || 14 + static_cast<size_t>(headerSize) > n) return out.fail(Image::Corrupt, corrupt);
  int64_t width, height;
  uint32_t bpp, compression = 0, colorsUsed = 0;
  if (headerSize == 12) {  // the old core header
    width = readLE16(d + 18);
    height = static_cast<int16_t>(readLE16(d + 20));
    bpp = readLE16(d + 24);
  } else {
    if (headerSize < 40) return out.fail(Image::Corrupt, corrupt);
    width = static_cast<int32_t>(readLE32(d + 18));
    height = static_cast<int32_t>(readLE32(d + 22));
    bpp = readLE16(d + 28);
    compression = readLE32(d + 30);
    colorsUsed = readLE32(d + 46);
  }
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) return out.fail(Image::Corrupt, corrupt);
  if (!sizeAllowed(width, height)) return out.fail(Image::TooLarge, "The BMP image is too large.");

  enum { BI_RGB = 0, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };
  BitField red, green, blue, alpha;
  bool fields = compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS;
  if (compression != BI_RGB && !fields) return out.fail(Image::Unsupported, "Compressed BMP data is not supported.");
  if (fields) {
    if (bpp != 16 && bpp != 32) return out.fail(Image::Corrupt, corrupt);
    // The masks follow a 40-byte header, or sit inside the larger headers at the same place.
    size_t maskCount = compression == BI_ALPHABITFIELDS || headerSize >= 56 ? 4 : 3;
    if (14 + 40 + maskCount * 4 > n) return out.fail(Image::Corrupt, corrupt);
    red = BitField(readLE32(d + 54));
    green = BitField(readLE32(d + 58));
    blue = BitField(readLE32(d + 62));
    if (maskCount == 4) alpha = BitField(readLE32(d + 66));
    // A mask with a gap, or two masks sharing a bit, describe no pixel layout: refused.
    const BitField* all[] = {&red, &green, &blue, &alpha};
    uint32_t used = 0;
    for (const BitField* f : all) {
      if (!f->contiguous() || (used & f->mask)) return out.fail(Image::Corrupt, corrupt);
      used |= f->mask;
    }
  } else if (bpp == 16) {
    red = BitField(0x7C00), green = BitField(0x03E0), blue = BitField(0x001F);
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    return out.fail(Image::Unsupported, "The BMP pixel depth is not supported.");

  std::vector<uint32_t> palette;
  if (bpp <= 8) {
    size_t entries = colorsUsed ? colorsUsed : (1u << bpp);
    size_t entrySize = headerSize == 12 ? 3 : 4;
    size_t start = 14 + static_cast<size_t>(headerSize);
    if (entries > 256 || start + entries * entrySize > n) return out.fail(Image::Corrupt, corrupt);
    for (size_t i = 0; i < entries; ++i) {
      const uint8_t* e = d + start + i * entrySize;
      palette.push_back(0xFF000000u | (e[2] << 16) | (e[1] << 8) | e[0]);
    }
  }

  size_t rowBytes = ((static_cast<size_t>(bpp) * width + 31) / 32) * 4;
  if (pixelOffset > n || rowBytes * height > n - pixelOffset) return out.fail(Image::Corrupt, corrupt);
  SurfacePtr s = newSurface(static_cast<int>(width), static_cast<int>(height));
  if (!s) return out.fail(Image::TooLarge, "No memory for the BMP image.");

  // 32-bit pixels without masks carry alpha only if some pixel sets it; many writers leave it 0.
  bool plainAlpha = false;
  if (bpp == 32 && !fields) {
    for (int64_t y = 0; y < height && !plainAlpha; ++y) {
      const uint8_t* src = d + pixelOffset + y * rowBytes;
      for (int64_t x = 0; x < width; ++x)
        if (src[x * 4 + 3]) {
          plainAlpha = true;
          break;
        }
    }
  }
  bool paletteOverflow = false;
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t* src = d + pixelOffset + y * rowBytes;
    uint32_t* dst = surfaceRow(s.get(), static_cast<int>(topDown ? y : height - 1 - y));
    for (int64_t x = 0; x < width; ++x) {
      uint32_t px = 0;
      switch (bpp) {
        case 1:
        case 4:
        case 8: {
          size_t bit = static_cast<size_t>(x) * bpp;
          uint32_t index = (src[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
          if (index < palette.size())
            px = palette[index];
          else
            paletteOverflow = true;
          break;
        }
        case 24: {
          const uint8_t* p = src + x * 3;
          px = 0xFF000000u | (p[2] << 16) | (p[1] << 8) | p[0];
          break;
        }
        case 16:
        case 32: {
          uint32_t v = bpp == 16 ? readLE16(src + x * 2) : readLE32(src + x * 4);
          if (bpp == 32 && !fields) {
            const uint8_t* p = src + x * 4;
            px = premultiplied(p[2], p[1], p[0], plainAlpha ? p[3] : 255);
          } else {
            px = premultiplied(red.extract(v), green.extract(v), blue.extract(v), alpha.mask ? alpha.extract(v) : 255);
          }
          break;
        }
      }
      dst[x] = px;
    }
  }
  if (paletteOverflow) return out.fail(Image::Corrupt, corrupt);
  cairo_surface_mark_dirty(s.get());
  out.hasAlpha = plainAlpha || alpha.mask != 0;
  out.surface = std::move(s);
  return true;
}

// ---- TIFF ----

struct TiffSource {
  const uint8_t* data;
  toff_t size;
  toff_t pos;
};

tmsize_t tiffRead(thandle_t h, void* buf, tmsize_t n) {
  auto* src = static_cast<TiffSource*>(h);
  if (n <= 0 || src->pos >= src->size) return 0;
  toff_t k = std::min<toff_t>(static_cast<toff_t>(n), src->size - src->pos);
  std::memcpy(buf, src->data + src->pos, k);
  src->pos += k;
  return static_cast<tmsize_t>(k);
}
tmsize_t tiffWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t tiffSeek(thandle_t h, toff_t off, int whence) {
  auto* src = static_cast<TiffSource*>(h);
  toff_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? src->pos : src->size;
  src->pos = base + off;  // past the end reads nothing
  return src->pos;
}
int tiffClose(thandle_t) { return 0; }
toff_t tiffSize(thandle_t h) { return static_cast<TiffSource*>(h)->size; }
int tiffMap(thandle_t, void**, toff_t*) { return 0; }
void tiffUnmap(thandle_t, void*, toff_t) {}
int tiffQuiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff's RGBA reader, whose put routine for interleaved samples is wrapped so that the alpha
// sample is taken from the samples themselves: for some layouts (16-bit grey, palette, CMYK,
// grey with more than one extra sample) the reader's own routine writes every pixel opaque.
// The reader passes the put routine a pointer to `img`, the first member.
struct TiffReader {
  TIFFRGBAImage img;
  tileContigRoutine put;
  uint32_t alphaSample;  // index of the alpha among a pixel's samples
};

void tiffPutWithAlpha(TIFFRGBAImage* img, uint32_t* cp, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                      int32_t fromskew, int32_t toskew, unsigned char* pp) {
  auto* reader = reinterpret_cast<TiffReader*>(img);
  reader->put(img, cp, x, y, w, h, fromskew, toskew, pp);
  // Rows of the block are (w + fromskew) pixels apart in the samples, (w + toskew) in the raster.
  const size_t spp = img->samplesperpixel;
  const size_t inRow = static_cast<size_t>(static_cast<int64_t>(w) + fromskew) * spp;
  const ptrdiff_t outRow = static_cast<ptrdiff_t>(w) + toskew;
  const bool wide = img->bitspersample == 16;
  for (uint32_t j = 0; j < h; ++j) {
    uint32_t* out = cp + static_cast<ptrdiff_t>(j) * outRow;
    for (uint32_t i = 0; i < w; ++i) {
      const size_t k = j * inRow + i * spp + reader->alphaSample;
      uint32_t a = pp[k];
      if (wide) {
        uint16_t v;
        std::memcpy(&v, pp + k * 2, 2);
        a = (v * 255u + 32767u) / 65535u;
      }
      out[i] = (out[i] & 0x00FFFFFFu) | (a << 24);
    }
  }
}

bool decodeTiff(std::string_view bytes, Decoded& out) {
  const char* corrupt = "The TIFF data is corrupt or truncated.";
  TiffSource src{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0};
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return out.fail(Image::Corrupt, "The TIFF decoder could not start.");
  TIFFOpenOptionsSetErrorHandlerExtR(options, tiffQuiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, tiffQuiet, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(Image::MaxPixelCount) * 4);
  // "m" keeps libtiff from mapping the (non-)file.
  TIFF* tif = TIFFClientOpenExt("memory", "rm", &src, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap,
                                tiffUnmap, options);
  TIFFOpenOptionsFree(options);
  if (!tif) return out.fail(Image::Corrupt, corrupt);
  struct Closer {
    TIFF* t;
    ~Closer() { TIFFClose(t); }
  } closer{tif};

  uint32_t w = 0, h = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h))
    return out.fail(Image::Corrupt, corrupt);
  if (!sizeAllowed(w, h)) return out.fail(Image::TooLarge, "The TIFF image is too large.");
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) return out.fail(Image::Unsupported, "The TIFF pixel layout is not supported.");
  // The first extra sample is the alpha when the file says so, read from the samples (see
  // TiffReader). Unassociated (straight) samples are premultiplied here, whatever the photometric;
  // libtiff is told they are associated so that it passes them through.
  // libtiff also takes an undescribed extra sample as the alpha once there are more than three
  // samples; that holds for RGB alone (a fourth sample), while for CMYK, grey and the rest it is a
  // spot colour or some other channel, and the image is opaque.
  // Samples that claim to be premultiplied, or an undescribed fourth RGB sample, may still hold
  // colour above their alpha: it is clamped.
  uint16_t extra = 0;
  uint16_t* extraTypes = nullptr;
  const uint16_t alphaKind = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extra, &extraTypes) && extra > 0 && extraTypes
                                 ? extraTypes[0]
                                 : static_cast<uint16_t>(EXTRASAMPLE_UNSPECIFIED);
  const bool straight = alphaKind == EXTRASAMPLE_UNASSALPHA;
  const bool marked = straight || alphaKind == EXTRASAMPLE_ASSOCALPHA;
  if (straight) {
    std::vector<uint16_t> types(extraTypes, extraTypes + extra);
    types[0] = EXTRASAMPLE_ASSOCALPHA;
    if (!TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, extra, types.data())) return out.fail(Image::Corrupt, corrupt);
  }

  auto reader = std::make_unique<TiffReader>();
  if (!TIFFRGBAImageBegin(&reader->img, tif, 1, message))
    return out.fail(Image::Unsupported, "The TIFF pixel layout is not supported.");
  struct Ender {
    TIFFRGBAImage* img;
    ~Ender() { TIFFRGBAImageEnd(img); }
  } ender{&reader->img};
  reader->img.req_orientation = ORIENTATION_TOPLEFT;
  const bool alpha = reader->img.alpha &&
                     (marked || (reader->img.photometric == PHOTOMETRIC_RGB && reader->img.samplesperpixel >= 4));
  if (alpha && reader->img.isContig) {
    const uint16_t bits = reader->img.bitspersample, spp = reader->img.samplesperpixel;
    const uint16_t photometric = reader->img.photometric;
    // The first extra sample; with none described, the reader takes the last one as the alpha.
    const uint32_t alphaSample = extra > 0 && extra < spp ? spp - extra : spp - 1u;
    // Only where the decoded samples lie one pixel after another, whole bytes each.
    const bool plain = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK ||
                       photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_PALETTE ||
                       photometric == PHOTOMETRIC_SEPARATED;
    if ((bits != 8 && bits != 16) || !plain || spp < 2)
      return out.fail(Image::Unsupported, "The TIFF alpha layout is not supported.");
    reader->put = reader->img.put.contig;
    reader->alphaSample = alphaSample;
    reader->img.put.contig = tiffPutWithAlpha;
  }
  std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
  if (!TIFFRGBAImageGet(&reader->img, raster.data(), w, h)) return out.fail(Image::Corrupt, corrupt);
  SurfacePtr s = newSurface(static_cast<int>(w), static_cast<int>(h));
  if (!s) return out.fail(Image::TooLarge, "No memory for the TIFF image.");
  bool translucent = false;
  for (uint32_t y = 0; y < h; ++y) {
    uint32_t* dst = surfaceRow(s.get(), static_cast<int>(y));
    const uint32_t* row = raster.data() + static_cast<size_t>(y) * w;
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t p = row[x];
      const uint32_t a = alpha ? TIFFGetA(p) : 255u;
      uint32_t r = TIFFGetR(p), g = TIFFGetG(p), b = TIFFGetB(p);
      if (a != 255) {
        translucent = true;
        if (!straight) r = std::min(r, a), g = std::min(g, a), b = std::min(b, a);
      }
      dst[x] = straight ? premultiplied(r, g, b, a) : (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  out.hasAlpha = (alpha && marked) || translucent;
  cairo_surface_mark_dirty(s.get());
  out.surface = std::move(s);
  return true;
}

// ---- Encoders ----

struct PngWriteJob {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::string* out = nullptr;
  const Image* image = nullptr;
  std::vector<uint8_t> line;
};

// Growing the output may throw; libpng is told through its error exit instead, once the
// exception has been handled (the read callbacks above only copy bytes and cannot throw).
void pngWriteData(png_structp png, png_bytep data, size_t length) {
  bool written = core::guardCallback(
      __func__,
      [&] {
        static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
        return true;
      },
      [] { return false; });
  if (!written) png_error(png, "the PNG output cannot grow");
}
void pngFlush(png_structp) {}

bool runPngEncode(PngWriteJob& job) {
  if (setjmp(png_jmpbuf(job.png))) return false;
  const Image& img = *job.image;
  int w = img.pixelWidth(), h = img.pixelHeight();
  bool opaque = true;
  for (int y = 0; y < h && opaque; ++y)
    for (int x = 0; x < w; ++x)
      if ((img.pixelAt(x, y) >> 24) != 0xFF) {
        opaque = false;
        break;
      }
  int channels = opaque ? 3 : 4;
  png_set_write_fn(job.png, job.out, pngWriteData, pngFlush);
  png_set_IHDR(job.png, job.info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
               opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(job.png, job.info);
  job.line.resize(static_cast<size_t>(w) * channels);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t p = img.pixelAt(x, y);
      uint32_t a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (a != 0 && a != 255) {
        r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
        g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
        b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
      }
      uint8_t* q = &job.line[static_cast<size_t>(x) * channels];
      q[0] = static_cast<uint8_t>(r), q[1] = static_cast<uint8_t>(g), q[2] = static_cast<uint8_t>(b);
      if (channels == 4) q[3] = static_cast<uint8_t>(a);
    }
    png_write_row(job.png, job.line.data());
  }
  png_write_end(job.png, nullptr);
  return true;
}

struct JpegWriteJob {
  jpeg_compress_struct cinfo;
  JpegErrors errors;
  bool created = false;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const Image* image = nullptr;
  int quality = 75;
  std::vector<uint8_t> line;
};

bool runJpegEncode(JpegWriteJob& job) {
  if (setjmp(job.errors.jump)) return false;
  jpeg_create_compress(&job.cinfo);
  job.created = true;
  jpeg_mem_dest(&job.cinfo, &job.buffer, &job.size);
  const Image& img = *job.image;
  job.cinfo.image_width = static_cast<JDIMENSION>(img.pixelWidth());
  job.cinfo.image_height = static_cast<JDIMENSION>(img.pixelHeight());
  job.cinfo.input_components = 3;
  job.cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&job.cinfo);
  jpeg_set_quality(&job.cinfo, job.quality, TRUE);
  jpeg_start_compress(&job.cinfo, TRUE);
  job.line.resize(static_cast<size_t>(img.pixelWidth()) * 3);
  while (job.cinfo.next_scanline < job.cinfo.image_height) {
    int y = static_cast<int>(job.cinfo.next_scanline);
    for (int x = 0; x < img.pixelWidth(); ++x) {
      // Transparency has no place in JPEG: the premultiplied colour is the picture over black.
      uint32_t p = img.pixelAt(x, y);
      uint8_t* q = &job.line[static_cast<size_t>(x) * 3];
      q[0] = static_cast<uint8_t>(p >> 16), q[1] = static_cast<uint8_t>(p >> 8), q[2] = static_cast<uint8_t>(p);
    }
    JSAMPROW row = job.line.data();
    jpeg_write_scanlines(&job.cinfo, &row, 1);
  }
  jpeg_finish_compress(&job.cinfo);
  return true;
}

core::Error imageError(int64_t code, const std::string& message) {
  return core::Error::withDescription(Image::ErrorDomain, code, message);
}

}  // namespace

ImageFormat Image::formatOf(std::string_view b) {
  auto starts = [&](std::string_view p) { return b.size() >= p.size() && b.compare(0, p.size(), p) == 0; };
  if (starts("\x89PNG")) return ImageFormat::PNG;
  if (starts("\xFF\xD8")) return ImageFormat::JPEG;
  if (starts("GIF8")) return ImageFormat::GIF;
  if (b.size() >= 12 && starts("RIFF") && b.compare(8, 4, "WEBP") == 0) return ImageFormat::WebP;
  if (starts("BM")) return ImageFormat::BMP;
  if (starts(std::string_view("II*\0", 4)) || starts(std::string_view("MM\0*", 4))) return ImageFormat::TIFF;
  return ImageFormat::Unknown;
}

std::shared_ptr<Image> Image::decode(std::string_view bytes, double scale, core::Error* error) {
  core::WorkProgress::note();
  if (!(scale > 0)) scale = 1.0;
  Decoded d;
  bool ok = false;
  switch (formatOf(bytes)) {
    case ImageFormat::PNG: ok = decodePng(bytes, d); break;
    case ImageFormat::JPEG: ok = decodeJpeg(bytes, d); break;
    case ImageFormat::GIF: ok = decodeGif(bytes, d); break;
    case ImageFormat::WebP: ok = decodeWebp(bytes, d); break;
    case ImageFormat::BMP: ok = decodeBmp(bytes, d); break;
    case ImageFormat::TIFF: ok = decodeTiff(bytes, d); break;
    case ImageFormat::Unknown:
      d.fail(bytes.empty() ? Corrupt : UnknownFormat,
             bytes.empty() ? "The image data is empty." : "The data is not in a known image format.");
      break;
  }
  if (ok && !d.surface && d.frames.empty()) d.fail(Corrupt, "The image data holds no picture.");
  if (!ok || (!d.surface && d.frames.empty())) {
    core::setError(error, imageError(d.code ? d.code : Corrupt, d.message));
    return nullptr;
  }
  if (d.frames.empty()) {
    auto image = fromSurface(d.surface.get(), scale, d.orientation);
    if (image) image->m_hasAlpha = d.hasAlpha;
    if (!image) core::setError(error, imageError(TooLarge, "No memory for the image."));
    return image;
  }
  std::vector<std::shared_ptr<Image>> frames;
  double duration = 0;
  for (size_t i = 0; i < d.frames.size(); ++i) {
    auto frame = fromSurface(d.frames[i].get(), scale, d.orientation);
    if (!frame) {
      core::setError(error, imageError(TooLarge, "No memory for the image."));
      return nullptr;
    }
    frame->m_hasAlpha = d.hasAlpha;
    frames.push_back(std::move(frame));
    // Players show delays under 11 ms (usually 0 or 1 hundredth) as a tenth of a second.
    duration += d.delays[i] < 0.011 ? 0.1 : d.delays[i];
  }
  auto image = animated(std::move(frames), duration);
  image->m_frameDelays = std::move(d.delays);
  return image;
}

std::vector<Image::Frame> Image::gifFrames(std::string_view bytes, double scale) {
  if (!(scale > 0)) scale = 1.0;
  std::vector<Frame> result;
  Decoded d;
  if (formatOf(bytes) != ImageFormat::GIF || !decodeGif(bytes, d, true)) return result;
  for (size_t i = 0; i < d.frames.size(); ++i) {
    Frame frame;
    frame.delay = d.delays[i];
    if (d.frames[i]) {
      frame.image = fromSurface(d.frames[i].get(), scale, ImageOrientation::Up);
      if (frame.image) frame.image->m_hasAlpha = d.hasAlpha;
    }
    result.push_back(std::move(frame));
  }
  return result;
}

std::shared_ptr<Image> Image::fromFile(const std::string& path, double scale, core::Error* error) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes;
  std::error_code ec;
  if (in && std::filesystem::is_regular_file(path, ec))
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  else {
    core::Value info;
    info.set(core::Error::LocalizedDescriptionKey, "The image file cannot be read.");
    info.set(core::Error::FilePathKey, path);
    core::setError(error, core::Error(ErrorDomain, FileUnreadable, std::move(info)));
    return nullptr;
  }
  return decode(bytes, scale, error);
}

std::optional<std::string> Image::pngData() const {
  auto up = upright();
  if (!up) return std::nullopt;
  std::string out;
  PngWriteJob job;
  job.out = &out;
  job.image = up.get();
  job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngErrorExit, pngQuietWarning);
  if (!job.png) return std::nullopt;
  job.info = png_create_info_struct(job.png);
  bool ok = job.info && runPngEncode(job);
  png_destroy_write_struct(&job.png, job.info ? &job.info : nullptr);
  if (!ok) return std::nullopt;
  return out;
}

std::optional<std::string> Image::jpegData(double quality) const {
  auto up = upright();
  if (!up) return std::nullopt;
  auto job = std::make_unique<JpegWriteJob>();
  std::memset(&job->cinfo, 0, sizeof job->cinfo);
  job->cinfo.err = jpeg_std_error(&job->errors.pub);
  job->errors.pub.error_exit = jpegErrorExit;
  job->errors.pub.emit_message = jpegEmitMessage;
  job->errors.pub.output_message = jpegQuietOutput;
  job->image = up.get();
  double q = std::isnan(quality) ? 0.0 : std::clamp(quality, 0.0, 1.0);
  job->quality = std::max(1, static_cast<int>(std::lround(q * 100)));
  bool ok = runJpegEncode(*job);
  if (job->created) jpeg_destroy_compress(&job->cinfo);
  std::optional<std::string> result;
  if (ok && job->buffer) result = std::string(reinterpret_cast<const char*>(job->buffer), job->size);
  std::free(job->buffer);
  return result;
}

}  // namespace gfx
