// One frame of the cloth transition on a 1024x768 screen through Mesa's off-screen renderer:
// advance by 1/60 s, draw the lit cloth and the after picture, and present (read the frame back
// into the layer), against the floor of clearing the same buffer and reading it back. Prints the
// ratio and the frames per second after the runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "BenchReport.h"
#include "platform/gl/Context.h"
#include "platform/gl/EAGLLayer.h"
#include "widgets/gltransitions/ClothTransition.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;
// The smallest power of two holding each side of a 1024x768 snapshot.
constexpr int kTextureSide = 1024;

// A context current on this thread, drawing into a framebuffer with depth whose colour comes
// from a layer of the screen's size.
struct Screen {
  std::shared_ptr<gl::Context> context;
  std::shared_ptr<gl::EAGLLayer> layer;
  GLuint framebuffer = 0, colour = 0, depth = 0;
  GLuint before = 0, after = 0;
  bool ok = false;

  Screen() {
    context = gl::Context::create(gl::RenderingAPI::OpenGLES1);
    if (!context || !gl::Context::setCurrentContext(context)) return;
    layer = gl::EAGLLayer::create();
    layer->setOpaque(true);
    layer->setBounds(gfx::Rect(0, 0, kWidth, kHeight));
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    if (!context->renderbufferStorage(GL_RENDERBUFFER, layer)) return;
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, kWidth, kHeight);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return;
    glViewport(0, 0, kWidth, kHeight);
    before = texture(0xFF3366CCu);
    after = texture(0xFFCC9933u);
    ok = true;
  }
  ~Screen() {
    if (!context) return;
    gl::Context::setCurrentContext(context);
    const GLuint textures[] = {before, after};
    glDeleteTextures(2, textures);
    glDeleteRenderbuffers(1, &colour);
    glDeleteRenderbuffers(1, &depth);
    glDeleteFramebuffers(1, &framebuffer);
    gl::Context::setCurrentContext(nullptr);
  }

  // A snapshot-sized texture with a striped picture.
  static GLuint texture(uint32_t argb) {
    std::vector<uint8_t> bytes(static_cast<size_t>(kTextureSide) * kTextureSide * 4);
    for (int y = 0; y < kTextureSide; ++y) {
      for (int x = 0; x < kTextureSide; ++x) {
        uint8_t* p = &bytes[(static_cast<size_t>(y) * kTextureSide + x) * 4];
        const bool stripe = (x / 64 + y / 64) % 2 == 0;
        p[0] = stripe ? (argb >> 16) & 255 : 255;
        p[1] = stripe ? (argb >> 8) & 255 : 255;
        p[2] = stripe ? argb & 255 : 255;
        p[3] = 255;
      }
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kTextureSide, kTextureSide, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    return name;
  }

  bool present() {
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    return context->presentRenderbuffer(GL_RENDERBUFFER);
  }
};

void ClothFrame(benchmark::State& state) {
  Screen screen;
  if (!screen.ok) {
    state.SkipWithError("no GL context");
    return;
  }
  kt::ClothTransition cloth;
  // The snapshot fills 1024 x 768 of its 1024 x 1024 texture, at the top.
  cloth.setBasicTexCoords({0, 0.25f, 1, 0.25f, 0, 1, 1, 1});
  srandom(1);
  cloth.initTransition();
  int transitions = 1;
  for (auto _ : state) {
    if (cloth.calc(1.0 / 60)) {
      // Start over once the cloth has left; the set-up is not part of a frame.
      state.PauseTiming();
      cloth.initTransition();
      ++transitions;
      state.ResumeTiming();
    }
    cloth.drawWithBeginTexture(screen.before, screen.after);
    benchmark::DoNotOptimize(screen.present());
  }
  state.counters["transitions"] = transitions;
}
BENCHMARK(ClothFrame)->Unit(benchmark::kMillisecond);

// The floor: the same buffers cleared and read back into the layer.
void ClearAndReadBack(benchmark::State& state) {
  Screen screen;
  if (!screen.ok) {
    state.SkipWithError("no GL context");
    return;
  }
  for (auto _ : state) {
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    benchmark::DoNotOptimize(screen.present());
  }
}
BENCHMARK(ClearAndReadBack)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (auto r = reporter.ratio("ClothFrame", "ClearAndReadBack"))
    std::printf("ClothFrame / clear and read back: %.1f (%.2f ms vs %.2f ms); %.0f frames per second\n", r->value,
                r->oursSeconds * 1e3, r->baseSeconds * 1e3, 1 / r->oursSeconds);
  benchmark::Shutdown();
  return 0;
}
