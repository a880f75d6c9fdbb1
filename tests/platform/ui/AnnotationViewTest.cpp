#include "platform/ui/AnnotationView.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"

using gfx::Rect;
using ui::AnnotationView;

using AnnotationViewInWindow = uitest::WindowTest;

TEST_F(AnnotationViewInWindow, ImageDrawnAtItsSizeInTheMiddle) {
  auto v = AnnotationView::create(Rect(0, 0, 40, 40));
  v->setBackgroundColor(gfx::Color::whiteColor());
  window->addSubview(v);
  EXPECT_FALSE(v->isUserInteractionEnabled());
  const uint32_t red = 0xFFFF0000u, white = 0xFFFFFFFFu;
  EXPECT_EQ(uitest::render(*v)->pixelAt(20, 20), white);

  v->setImage(uitest::solidImage(20, 10, red));  // at (10, 15), unscaled
  auto image = uitest::render(*v);
  EXPECT_EQ(image->pixelAt(20, 20), red);
  EXPECT_EQ(image->pixelAt(11, 16), red);
  EXPECT_EQ(image->pixelAt(5, 20), white);
  EXPECT_EQ(image->pixelAt(20, 12), white);
  EXPECT_EQ(v->frame(), Rect(0, 0, 40, 40));

  // Retina images measure in points; a larger image is cut at the edges.
  v->setImage(uitest::solidImage(10, 10, red, 2));
  EXPECT_EQ(uitest::render(*v)->pixelAt(12, 20), white);
  EXPECT_EQ(uitest::render(*v)->pixelAt(17, 20), red);
  v->setImage(uitest::solidImage(80, 80, red));
  EXPECT_EQ(uitest::render(*v)->pixelAt(1, 1), red);

  v->setImage(nullptr);
  EXPECT_EQ(v->image(), nullptr);
  EXPECT_EQ(uitest::render(*v)->pixelAt(20, 20), white);
}
