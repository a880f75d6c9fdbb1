#include "imagecache/ForceDecode.h"

#include <cairo.h>

#include <cstring>

namespace kt::ForceDecode {

ImagePtr decodedImageWithImage(const ImagePtr& image) {
  if (!image) return nullptr;
  if (!image->frames().empty() || image->hasAlpha()) return image;
  // The stored pixels (before the orientation) drawn onto a bitmap without alpha; the orientation
  // and scale are carried over as they are. Premultiplied pixels drawn over the black of a new
  // bitmap keep their colour values, so the drawing is a copy of the rows.
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image->pixelWidth(), image->pixelHeight());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return image;
  }
  cairo_surface_flush(surface);
  unsigned char* rows = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const auto* source = reinterpret_cast<const unsigned char*>(image->pixels());
  for (int y = 0; y < image->pixelHeight(); ++y)
    std::memcpy(rows + static_cast<size_t>(y) * stride, source + static_cast<size_t>(y) * image->stride(),
                static_cast<size_t>(image->pixelWidth()) * 4);
  cairo_surface_mark_dirty(surface);
  ImagePtr decoded = gfx::Image::fromSurface(surface, image->scale(), image->orientation());
  cairo_surface_destroy(surface);
  return decoded ? decoded : image;
}

}  // namespace kt::ForceDecode
