#pragma once

// Transitions for the tests of the transition view and manager.
#include <algorithm>
#include <vector>

#include "platform/gl/GL.h"
#include "widgets/gltransitions/GLTransition.h"

namespace support {

// Records its set-ups and steps, finishes at its `finishAfter`-th step (never when 0), and
// clears each frame to green.
struct CountingTransition : kt::GLTransition {
  int inits = 0;
  int draws = 0;
  int finishAfter = 0;
  std::vector<double> steps;

  void initTransition() override { ++inits; }
  bool calc(double dt) override {
    steps.push_back(dt);
    return finishAfter > 0 && static_cast<int>(steps.size()) >= finishAfter;
  }
  void drawWithBeginTexture(GLuint, GLuint) override {
    ++draws;
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
};

// The after picture fades in over the before picture in `duration` seconds, both drawn flat over
// the whole frame with the snapshot's texture coordinates.
struct CrossFade : kt::GLTransition {
  explicit CrossFade(double seconds) : duration(seconds) {}
  double duration;
  double time = 0;

  void initTransition() override { time = 0; }
  bool calc(double dt) override {
    time = std::min(time + dt, duration);
    return time >= duration;
  }
  void drawWithBeginTexture(GLuint begin, GLuint end) override {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    const GLfloat quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, quad);
    glTexCoordPointer(2, GL_FLOAT, 0, &basicTexCoords().x0);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (const GLuint texture : {begin, end}) {
      // The before picture opaque, the after picture over it at the fraction of time gone.
      glColor4f(1, 1, 1, texture == begin ? 1.0f : static_cast<GLfloat>(time / duration));
      glBindTexture(GL_TEXTURE_2D, texture);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
      glEnable(GL_BLEND);
    }
    glDisable(GL_BLEND);
  }
};

}  // namespace support
