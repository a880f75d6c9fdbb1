#pragma once

#include "http/HCHTTPResponseSerializer.h"

#include <memory>
#include <string_view>

namespace kt {

// Decodes image data under one process-wide lock, so that only one such decode runs at a time;
// null for data that is not an image.
std::shared_ptr<gfx::Image> hc_safeImageWithData(std::string_view data);

// Decodes image bodies (the common image MIME types) at the screen mode's scale (their size in points).
class HCImageResponseSerializer : public HCHTTPResponseSerializer {
 public:
  // Images with more pixels than this are returned without being redrawn ahead of use.
  static constexpr int64_t MaxInflatedPixels = 1024 * 1024;

  HCImageResponseSerializer();
  static std::shared_ptr<HCImageResponseSerializer> serializer() { return std::make_shared<HCImageResponseSerializer>(); }
  const char* className() const override { return "HCImageResponseSerializer"; }
  std::shared_ptr<HCHTTPResponseSerializer> copy() const override;
  core::Value encodeWithCoder() const override;

  double imageScale() const { return m_imageScale; }
  void setImageScale(double scale) { m_imageScale = scale; }
  bool automaticallyInflatesResponseImage() const { return m_automaticallyInflates; }
  void setAutomaticallyInflatesResponseImage(bool inflates) { m_automaticallyInflates = inflates; }

  HCResponseObject responseObjectForResponse(const net::HTTPURLResponse* response,
                                             const std::optional<std::string>& data,
                                             std::optional<core::Error>* error) const override;

  // The decoded image at imageScale(); an animation as decoded.
  std::shared_ptr<gfx::Image> imageAtScale(std::string_view data) const;
  // The image with its own private bitmap, ready to draw; larger ones as imageAtScale().
  std::shared_ptr<gfx::Image> inflatedImage(std::string_view data) const;

 protected:
  void decodeWithCoder(const core::Value& coder) override;

 private:
  double m_imageScale = 1;
  bool m_automaticallyInflates = true;
};

}  // namespace kt
