#include "imagecache/ForceDecode.h"

#include <cairo.h>

namespace kt::ForceDecode {

ImagePtr decodedImageWithImage(const ImagePtr& image) {
  if (!image) return nullptr;
  if (!image->frames().empty() || image->hasAlpha()) return image;
  // The stored pixels (before the orientation) painted onto a bitmap without alpha; the
  // orientation and scale are carried over as they are.
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image->pixelWidth(), image->pixelHeight());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return image;
  }
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_surface(cr, image->cairoSurface(), 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  ImagePtr decoded = gfx::Image::fromSurface(surface, image->scale(), image->orientation());
  cairo_surface_destroy(surface);
  return decoded ? decoded : image;
}

}  // namespace kt::ForceDecode
