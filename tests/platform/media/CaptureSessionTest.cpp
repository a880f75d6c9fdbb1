#include "platform/media/CaptureSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/core/Clock.h"
#include "platform/core/Error.h"
#include "platform/core/Queue.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Transaction.h"
#include "platform/media/CaptureDevice.h"
#include "platform/media/CaptureDeviceInput.h"
#include "platform/media/CaptureMetadataOutput.h"
#include "platform/media/CaptureVideoPreviewLayer.h"
#include "platform/media/CodePictures.h"
#include "platform/media/ImageSource.h"
#include "platform/media/MetadataMachineReadableCodeObject.h"
#include "platform/media/V4L2Source.h"
#include "support/RunUntil.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

namespace media {
namespace {

using support::runUntil;

struct Recorder : CaptureMetadataOutputObjectsDelegate {
  std::vector<std::vector<std::string>> calls;  // "type text" per object, per call
  void captureOutput(CaptureMetadataOutput&, const std::vector<std::shared_ptr<MetadataObject>>& objects,
                     const CaptureConnection&) override {
    std::vector<std::string> call;
    for (const auto& o : objects) {
      auto code = std::dynamic_pointer_cast<MetadataMachineReadableCodeObject>(o);
      call.push_back(o->type() + " " + (code ? code->stringValue() : "?"));
    }
    calls.push_back(call);
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& c : calls) out.insert(out.end(), c.begin(), c.end());
    return out;
  }
};

const std::string kQR = "http://127.0.0.1/scan?r=1";
const std::string kMarker = "http://127.0.0.1/marker";

// The camera as the binding screen sets it up, over frames the test pushes.
class CaptureSessionTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    support::TempHomeTest::SetUp();
    ImageSource::installForProcess(m_source);
    open();
  }
  void TearDown() override {
    m_session.reset();
    ImageSource::installForProcess(nullptr);
    support::TempHomeTest::TearDown();
  }

  void open() {
    auto device = CaptureDevice::defaultDeviceWithMediaType(MediaType::Video);
    ASSERT_TRUE(device);
    auto input = CaptureDeviceInput::deviceInputWithDevice(device);
    ASSERT_TRUE(input);
    m_output = CaptureMetadataOutput::create();
    m_output->setMetadataObjectsDelegate(std::weak_ptr<CaptureMetadataOutputObjectsDelegate>(m_recorder),
                                         core::Queue::main());
    m_output->setRectOfInterest({{0, 0}, {768, 1024}});
    m_session = CaptureSession::create();
    m_session->addInput(input);
    m_session->addOutput(m_output);
    m_output->setMetadataObjectTypes({MetadataObjectTypeQRCode, MetadataObjectTypeEAN8Code,
                                      MetadataObjectTypeEAN13Code, MetadataObjectTypeCode128Code});
    m_session->startRunning();
    // The source is attached on the session's own queue.
    ASSERT_TRUE(pushUntilSeen(kMarker));
  }

  void push(const std::string& text, int times = 1) {
    auto frame = text.empty() ? test::blankPicture() : test::picture(test::qrModules(text));
    for (int i = 0; i < times; ++i) m_source->pushFrame(frame);
  }
  // Pushes the code until it is reported (the source may not be attached yet).
  bool pushUntilSeen(const std::string& text) {
    size_t before = m_recorder->calls.size();
    return runUntil([&] {
      if (m_recorder->calls.size() > before) return true;
      push(text);
      return false;
    });
  }
  size_t count(const std::string& text) const {
    auto all = m_recorder->texts();
    return std::count(all.begin(), all.end(), MetadataObjectTypeQRCode + " " + text);
  }

  std::shared_ptr<ImageSource> m_source = ImageSource::pushed();
  std::shared_ptr<Recorder> m_recorder = std::make_shared<Recorder>();
  std::shared_ptr<CaptureMetadataOutput> m_output;
  std::shared_ptr<CaptureSession> m_session;
};

TEST_F(CaptureSessionTest, OutputOffersTypesOnceInASessionWithAnInputAndKeepsTheGivenOrder) {
  auto output = CaptureMetadataOutput::create();
  EXPECT_TRUE(output->availableMetadataObjectTypes().empty());
  output->setMetadataObjectTypes({MetadataObjectTypeQRCode});
  EXPECT_TRUE(output->metadataObjectTypes().empty());
  auto session = CaptureSession::create();
  session->addOutput(output);
  EXPECT_TRUE(output->availableMetadataObjectTypes().empty());  // no input yet
  session->addInput(CaptureDeviceInput::deviceInputWithDevice(CaptureDevice::defaultDeviceWithMediaType(MediaType::Video)));
  EXPECT_EQ(output->availableMetadataObjectTypes().size(), 4u);
  output->setMetadataObjectTypes({MetadataObjectTypeCode128Code, "org.iso.Aztec", MetadataObjectTypeQRCode});
  EXPECT_EQ(output->metadataObjectTypes(),
            (std::vector<MetadataObjectType>{MetadataObjectTypeCode128Code, MetadataObjectTypeQRCode}));
  // One output per session, one session per output.
  EXPECT_FALSE(session->canAddOutput(CaptureMetadataOutput::create()));
  EXPECT_FALSE(m_session->canAddOutput(output));
}

TEST_F(CaptureSessionTest, ACodeInViewIsReportedOncePerAppearance) {
  push(kQR, 12);
  push("", CaptureMetadataOutput::ForgetAfterFrames - 1);
  push(kQR, 3);  // back before it was forgotten: the same appearance
  push("", CaptureMetadataOutput::ForgetAfterFrames);
  push(kMarker);
  ASSERT_TRUE(runUntil([&] { return count(kMarker) == 2; }));
  EXPECT_EQ(count(kQR), 1u);

  push(kQR, 4);  // it left for long enough: a new appearance
  push("http://127.0.0.1/other");
  ASSERT_TRUE(runUntil([&] { return count("http://127.0.0.1/other") == 1; }));
  EXPECT_EQ(count(kQR), 2u);

  // A restart forgets what was in view.
  m_session->stopRunning();
  m_session->startRunning();
  ASSERT_TRUE(pushUntilSeen(kQR));
  EXPECT_EQ(count(kQR), 3u);
}

TEST_F(CaptureSessionTest, StoppingEndsReportsOfFramesAlreadyTaken) {
  push(kQR);
  m_session->stopRunning();  // before the main loop ran the report
  EXPECT_FALSE(m_session->isRunning());
  push(kQR);                 // nobody reads the source now: returns at once
  m_session->startRunning();
  ASSERT_TRUE(pushUntilSeen(kMarker));
  // Reports come in order on the main queue: anything of the old run would have come first.
  EXPECT_EQ(count(kQR), 0u);
  EXPECT_EQ(count(kMarker), 2u);
}

TEST_F(CaptureSessionTest, NothingIsReportedToADelegateOrFromASessionThatIsGone) {
  push(kQR);
  m_recorder.reset();  // the delegate goes; the output holds it weakly
  m_recorder = std::make_shared<Recorder>();
  m_output->setMetadataObjectsDelegate(std::weak_ptr<CaptureMetadataOutputObjectsDelegate>(m_recorder),
                                       core::Queue::main());
  push(kQR, 3);
  m_session.reset();  // frames in flight
  m_output.reset();
  open();
  EXPECT_EQ(count(kQR), 0u);
  EXPECT_EQ(count(kMarker), 1u);
}

TEST_F(CaptureSessionTest, PreviewLayerShowsTheNewestFrameAspectFilled) {
  // 200 x 100: green, red, blue, green quarters.
  std::vector<uint32_t> px(200 * 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) px[y * 200 + x] = x < 50 || x >= 150 ? 0xff00ff00u : x < 100 ? 0xffff0000u : 0xff0000ffu;
  auto frame = gfx::Image::fromPixels(200, 100, std::move(px));

  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  auto layer = CaptureVideoPreviewLayer::layerWithSession(m_session);
  layer->setVideoGravity(LayerVideoGravity::ResizeAspectFill);
  layer->setFrame({{0, 0}, {100, 100}});
  auto root = gfx::Layer::create();
  root->setFrame({{0, 0}, {100, 100}});
  root->addSublayer(layer);
  gfx::Transaction::commit();
  m_source->pushFrame(frame);
  ASSERT_TRUE(runUntil([&] { return layer->contents() == frame; }));

  gfx::Compositor compositor({100, 100}, 1);
  compositor.renderFrame(root);
  auto shot = gfx::Image::fromSurface(compositor.surface());
  // The middle half of the frame covers the layer: red on the left, blue on the right, no green.
  EXPECT_EQ(shot->pixelAt(5, 50), 0xffff0000u);
  EXPECT_EQ(shot->pixelAt(45, 5), 0xffff0000u);
  EXPECT_EQ(shot->pixelAt(55, 95), 0xff0000ffu);
  EXPECT_EQ(shot->pixelAt(95, 50), 0xff0000ffu);

  // Fitted whole instead: the frame is a band across the middle, all four quarters in it.
  layer->setVideoGravity(LayerVideoGravity::ResizeAspect);
  compositor.renderFrame(root);
  shot = gfx::Image::fromSurface(compositor.surface());
  EXPECT_EQ(shot->pixelAt(5, 50), 0xff00ff00u);
  EXPECT_EQ(shot->pixelAt(30, 50), 0xffff0000u);
  EXPECT_EQ(shot->pixelAt(50, 10) >> 24, 0u);  // above the band
}

TEST(CaptureDeviceTest, NoSourceMeansNoDeviceAndNoInput) {
  support::TempHome home;
  ImageSource::installForProcess(nullptr);
  {
    support::ScopedEnv camera("KT_CAMERA", (home.path() + "/missing.png").c_str());
    EXPECT_EQ(CaptureDevice::defaultDeviceWithMediaType(MediaType::Video), nullptr);
  }
  {
    std::filesystem::create_directories(home.path() + "/empty");
    std::ofstream(home.path() + "/empty/notes.txt") << "not a picture";
    std::ofstream(home.path() + "/empty/broken.png") << "not a picture either";
    support::ScopedEnv camera("KT_CAMERA", (home.path() + "/empty").c_str());
    EXPECT_EQ(CaptureDevice::defaultDeviceWithMediaType(MediaType::Video), nullptr);
    EXPECT_EQ(CaptureDevice::authorizationStatus(MediaType::Video), AuthorizationStatus::NotDetermined);
  }
  EXPECT_EQ(CaptureDevice::defaultDeviceWithMediaType(MediaType::Audio), nullptr);
  core::Error error;
  EXPECT_EQ(CaptureDeviceInput::deviceInputWithDevice(nullptr, &error), nullptr);
  EXPECT_EQ(error.code(), CaptureDeviceInput::NoDevice);
  if (V4L2Source::devicePaths().empty()) {
    support::ScopedEnv camera("KT_CAMERA", nullptr);
    EXPECT_EQ(CaptureDevice::defaultDeviceWithMediaType(MediaType::Video), nullptr);
  }
}

// A session over KT_CAMERA, reporting to a recorder.
struct NamedCamera {
  explicit NamedCamera(const std::string& path) : env("KT_CAMERA", path.c_str()) {
    ImageSource::installForProcess(nullptr);
    device = CaptureDevice::defaultDeviceWithMediaType(MediaType::Video);
    if (!device) return;
    output->setMetadataObjectsDelegate(std::weak_ptr<CaptureMetadataOutputObjectsDelegate>(recorder), nullptr);
    session->addInput(CaptureDeviceInput::deviceInputWithDevice(device));
    session->addOutput(output);
    output->setMetadataObjectTypes(output->availableMetadataObjectTypes());
    session->startRunning();
  }
  support::ScopedEnv env;
  std::shared_ptr<CaptureDevice> device;
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  std::shared_ptr<CaptureMetadataOutput> output = CaptureMetadataOutput::create();
  std::shared_ptr<CaptureSession> session = CaptureSession::create();
};

TEST(CaptureDeviceTest, StillImageIsASteadyStreamWithItsCodeReportedOnce) {
  support::TempHome home;
  const std::string path = home.path() + "/room.png";
  std::ofstream(path, std::ios::binary) << *test::picture(test::qrModules(kQR))->pngData();
  NamedCamera camera(path);
  ASSERT_TRUE(camera.device);
  EXPECT_EQ(camera.device->kind(), CaptureDevice::Kind::Images);
  EXPECT_EQ(CaptureDevice::authorizationStatus(MediaType::Video), AuthorizationStatus::Authorized);
  ASSERT_TRUE(runUntil([&] { return camera.recorder->calls.size() == 1; }));
  // Several more frames of the same picture.
  support::runUntil([] { return false; }, 5 * ImageSource::FrameInterval);
  EXPECT_EQ(camera.recorder->texts(), std::vector<std::string>{MetadataObjectTypeQRCode + " " + kQR});
}

TEST(CaptureDeviceTest, FolderIsPlayedInNameOrder) {
  support::TempHome home;
  const std::string dir = home.path() + "/frames";
  std::filesystem::create_directories(dir);
  auto write = [&](const std::string& name, const std::shared_ptr<gfx::Image>& image) {
    std::ofstream(dir + "/" + name, std::ios::binary) << *image->pngData();
  };
  write("b.png", test::picture(test::ean13Modules("400638133393")));
  write("a.png", test::picture(test::qrModules(kQR)));
  write("c.PNG", test::picture(test::code128Modules("Ktv-128")));
  std::ofstream(dir + "/d.txt") << "skipped";
  // A camera drops the oldest frame waiting when looking falls behind: on the held clock each
  // frame is looked at before the next one comes, however slow the machine.
  support::VirtualClock clock;
  NamedCamera camera(dir);
  ASSERT_TRUE(camera.device);
  for (size_t seen = 1; seen <= 3; ++seen) {
    ASSERT_TRUE(support::runUntilClockHeld([&] { return camera.recorder->calls.size() >= seen; })) << seen;
    core::Clock::advance(ImageSource::FrameInterval);
  }
  auto texts = camera.recorder->texts();
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 3),
            (std::vector<std::string>{MetadataObjectTypeQRCode + " " + kQR, MetadataObjectTypeEAN13Code + " 4006381333931",
                                      MetadataObjectTypeCode128Code + " Ktv-128"}));
  camera.session->stopRunning();
}

TEST(V4L2SourceTest, CameraDeliversFrames) {
  auto paths = V4L2Source::devicePaths();
  auto it = std::find_if(paths.begin(), paths.end(), V4L2Source::capturesVideo);
  if (it == paths.end()) GTEST_SKIP() << "no /dev/video device that captures on this machine";
  V4L2Source source(*it, 640, 480);
  std::atomic<int> frames{0};
  core::Error error;
  ASSERT_TRUE(source.start([&](std::shared_ptr<const gfx::Image> f, bool) { if (f) ++frames; }, &error))
      << error.description();
  EXPECT_TRUE(runUntil([&] { return frames > 2; }));
  source.stop();  // joins the reading thread: the handler's references stay valid only until here
}

}  // namespace
}  // namespace media
