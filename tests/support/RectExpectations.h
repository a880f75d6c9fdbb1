#pragma once

#include <gtest/gtest.h>

#include "platform/gfx/Geometry.h"

namespace support {

// Expects a frame to be exactly (x, y, w, h), up to the last bits of a double; `what` names the
// view in the failure message.
inline void expectRect(const gfx::Rect& actual, double x, double y, double w, double h, const char* what = "") {
  EXPECT_DOUBLE_EQ(actual.x(), x) << what;
  EXPECT_DOUBLE_EQ(actual.y(), y) << what;
  EXPECT_DOUBLE_EQ(actual.width(), w) << what;
  EXPECT_DOUBLE_EQ(actual.height(), h) << what;
}

// The same within `tolerance` points, for frames computed through several steps.
inline void expectRectNear(const gfx::Rect& actual, double x, double y, double w, double h, const char* what = "",
                           double tolerance = 1e-6) {
  EXPECT_NEAR(actual.x(), x, tolerance) << what;
  EXPECT_NEAR(actual.y(), y, tolerance) << what;
  EXPECT_NEAR(actual.width(), w, tolerance) << what;
  EXPECT_NEAR(actual.height(), h, tolerance) << what;
}

}  // namespace support
