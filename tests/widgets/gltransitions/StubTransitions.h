#pragma once

// Transitions for the tests of the transition view and manager: one that counts what it is asked
// and draws a solid colour, and a cross-fade from the before picture to the after picture.
#include <vector>

#include "platform/gl/GL.h"
#include "widgets/gltransitions/GLTransition.h"

namespace support {

// Finishes at its `finishAfter`-th step (never when 0); each frame clears to green.
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
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
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
    time += dt;
    if (time < duration) return false;
    time = duration;
    return true;
  }
  void drawWithBeginTexture(GLuint begin, GLuint end) override {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    const GLfloat quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, quad);
    glTexCoordPointer(2, GL_FLOAT, 0, &basicTexCoords().x0);
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, begin);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, static_cast<GLfloat>(time / duration));
    glBindTexture(GL_TEXTURE_2D, end);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisable(GL_BLEND);
  }
};

}  // namespace support
