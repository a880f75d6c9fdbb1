#include "platform/video/VideoPlayer.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/FdSource.h"
#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"
#include "platform/core/SaidOnce.h"
#include "platform/core/ThreadCheck.h"
#include "platform/gfx/Image.h"
#include "platform/video/PipelineClock.h"

// The bus hands a message from a streaming thread to the main thread under GLib's futex locks,
// which the thread sanitizer cannot see; under it, the hand-over is told to it explicitly.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#define KT_HANDED_OVER(message) __tsan_acquire(message)
#else
#define KT_HANDED_OVER(message) static_cast<void>(message)
#endif

namespace media {
namespace {

// Pipelines being stopped and freed on a background queue.
struct Teardowns {
  std::mutex mutex;
  std::condition_variable done;
  int pending = 0;
};

Teardowns& teardowns() {
  static Teardowns* t = new Teardowns;  // outlives every static destructor that might hand one over
  return *t;
}

// Stops the pipeline (waiting for its streaming threads) and frees it, off the main thread.
void tearDownInBackground(GstElement* pipeline) {
  {
    std::lock_guard lock(teardowns().mutex);
    ++teardowns().pending;
  }
  core::Queue::global()->async([pipeline] {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    std::lock_guard lock(teardowns().mutex);
    if (--teardowns().pending == 0) teardowns().done.notify_all();
  });
}

bool initGStreamer() {
  static const bool ok = [] {
    GError* error = nullptr;
    if (gst_init_check(nullptr, nullptr, &error)) return true;
    KT_LOG("GStreamer cannot start: %s", error ? error->message : "unknown error");
    if (error) g_error_free(error);
    return false;
  }();
  return ok;
}

core::Error makeError(int64_t code, const std::string& description) {
  return core::Error::withDescription(VideoPlayer::ErrorDomain, code, description);
}

// The URI playbin is given: http, https and file URLs as they are, a local path as a file URL;
// nothing for any other text.
std::optional<std::string> playableURI(const std::string& url) {
  if (!url.empty() && url.front() == '/') {
    gchar* uri = gst_filename_to_uri(url.c_str(), nullptr);
    if (!uri) return std::nullopt;
    std::string out(uri);
    g_free(uri);
    return out;
  }
  if (!gst_uri_is_valid(url.c_str())) return std::nullopt;
  gchar* scheme = gst_uri_get_protocol(url.c_str());
  std::string s = scheme ? scheme : "";
  g_free(scheme);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (s != "http" && s != "https" && s != "file") return std::nullopt;
  // Something after the scheme's "//" at least.
  if (url.size() <= s.size() + 3) return std::nullopt;
  return url;
}

// What a failure of the pipeline means to the player's owner.
int64_t codeOf(const GError* error) {
  if (!error) return VideoPlayer::PlaybackFailed;
  if (error->domain == GST_RESOURCE_ERROR) return VideoPlayer::CannotOpen;
  if (error->domain == GST_STREAM_ERROR) return VideoPlayer::CannotDecode;
  if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN) return VideoPlayer::CannotDecode;
  return VideoPlayer::PlaybackFailed;
}

bool soundMuted() {
  const char* output = std::getenv("KT_AUDIO_OUTPUT");
  return output && std::strcmp(output, "none") == 0;
}

bool isSocket(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// A sound server is there when PULSE_SERVER names one or its socket is where its clients look:
// the user's runtime directory, else the system-wide one.
bool soundServerPresent() {
  if (const char* named = std::getenv("PULSE_SERVER"); named && *named) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string userDir = runtime && *runtime ? std::string(runtime) : "/run/user/" + std::to_string(::getuid());
  return isSocket(userDir + "/pulse/native") || isSocket("/run/pulse/native");
}

// A sound card is there when the kernel offers a playback device for it, in /dev/snd or the
// directory KT_SOUND_DEVICES names.
bool soundCardPresent() {
  const char* devices = std::getenv("KT_SOUND_DEVICES");
  GDir* dir = g_dir_open(devices && *devices ? devices : "/dev/snd", 0, nullptr);
  if (!dir) return false;
  bool found = false;
  while (const gchar* name = g_dir_read_name(dir)) {
    if (g_str_has_prefix(name, "pcmC") && g_str_has_suffix(name, "p")) found = true;
  }
  g_dir_close(dir);
  return found;
}

bool hasElement(const char* factoryName) {
  GstElementFactory* factory = gst_element_factory_find(factoryName);
  if (!factory) return false;
  gst_object_unref(factory);
  return true;
}

// Said once while it holds: clips play, but a guest hears nothing, and nothing else would tell
// why. Never destroyed: asked by every clip that opens.
core::SaidOnce& soundWarnings() {
  static core::SaidOnce* said = new core::SaidOnce;
  return *said;
}

constexpr const char* kCardSinkMissing =
    "There is a sound card but no GStreamer element to play sound on it (alsasink, in the package "
    "gstreamer1.0-alsa): clips play without sound.";

}  // namespace

// The automatic sink finds an output by opening one after the other, the sound server first:
// where none runs, its connection is refused each time a clip opens (a warning on the bus). So
// the player asks only for an output that is there: the automatic sink when a sound server is,
// the sound card's own sink when only a card is (or the automatic sink is missing), else a sink
// that plays the sound nowhere at the clip's pace.
const char* VideoPlayer::soundSinkName() {
  if (soundMuted()) return "fakesink";
  if (soundServerPresent() && hasElement("autoaudiosink")) return "autoaudiosink";
  if (soundCardPresent()) {
    if (hasElement("alsasink")) {
      soundWarnings().forget(kCardSinkMissing);
      return "alsasink";
    }
    if (soundWarnings().first(kCardSinkMissing)) core::logNotice(kCardSinkMissing);
  }
  return "fakesink";
}

namespace {

bool isLoopbackHost(std::string host) {
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (host == "localhost" || host.ends_with(".localhost")) return true;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  in_addr v4{};
  if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (::inet_pton(AF_INET6, host.c_str(), &v6) != 1) return false;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

const char* environment(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return nullptr;
}

// Whether no_proxy names the host: "*", the host itself, or a domain it lies in.
bool exemptFromProxy(const std::string& host) {
  const char* list = environment({"no_proxy", "NO_PROXY"});
  if (!list) return false;
  gchar** entries = g_strsplit_set(list, ", ", -1);
  bool exempt = false;
  for (gchar** e = entries; *e && !exempt; ++e) {
    std::string entry = *e;
    while (!entry.empty() && entry.front() == '.') entry.erase(0, 1);
    if (entry.empty()) continue;
    exempt = entry == "*" || g_ascii_strcasecmp(entry.c_str(), host.c_str()) == 0 ||
             (host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.' &&
              g_ascii_strcasecmp(host.c_str() + host.size() - entry.size(), entry.c_str()) == 0);
  }
  g_strfreev(entries);
  return exempt;
}

// The proxy the HTTP source goes through, chosen as the program's other requests choose theirs
// (from the environment): none for a loopback host or one no_proxy names, else https_proxy for
// https and http_proxy for http, else all_proxy. "direct://" says none; the system's proxy
// resolver is never asked, so it starts no lookup threads of its own.
std::string proxyFor(const std::string& uri) {
  GstUri* parsed = gst_uri_from_string(uri.c_str());
  if (!parsed) return "direct://";
  const std::string host = gst_uri_get_host(parsed) ? gst_uri_get_host(parsed) : "";
  const std::string scheme = gst_uri_get_scheme(parsed) ? gst_uri_get_scheme(parsed) : "";
  gst_uri_unref(parsed);
  if (host.empty() || isLoopbackHost(host) || exemptFromProxy(host)) return "direct://";
  const char* proxy = g_ascii_strcasecmp(scheme.c_str(), "https") == 0
                          ? environment({"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
                          : environment({"http_proxy", "all_proxy", "ALL_PROXY"});
  return proxy ? proxy : "direct://";
}

// Whether the element's class has the property. The element is reached only through GStreamer's
// calls, never read here: the source is made on a streaming thread and handed over under GLib's
// futex locks, which the thread sanitizer cannot see, so a field read in our code looks unordered.
bool hasProperty(GstElement* element, const char* name) {
  GstElementFactory* factory = gst_element_get_factory(element);
  if (!factory) return false;
  auto* klass = static_cast<GObjectClass*>(g_type_class_peek(gst_element_factory_get_element_type(factory)));
  return klass && g_object_class_find_property(klass, name);
}

}  // namespace

// The newest picture from the streaming thread, waiting for the main thread to take it. One
// block at a time is queued for the main thread; pictures arriving in between replace the one
// waiting, so a busy main thread skips pictures instead of falling behind.
struct VideoPlayer::FrameSlot {
  std::weak_ptr<VideoPlayer> owner;  // read on the main thread only
  std::mutex mutex;
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  double time = -1;  // the picture's time in the clip, in seconds; negative when it carries none
  bool fresh = false;
  bool queued = false;
  // Set just before a seek and cleared when the seek's flush has passed the sink: a picture the
  // sink hands over meanwhile is from before the seek and is dropped.
  bool awaitingFlush = false;
};

struct VideoPlayer::Pipeline {
  GstElement* playbin = nullptr;
  GstBus* bus = nullptr;
  std::shared_ptr<core::FdSource> busSource;
  std::shared_ptr<FrameSlot> slot;
  bool prerolled = false;  // the first ASYNC_DONE has come
  bool buffering = false;  // a network source is filling its buffer
  bool seekable = false;   // asked once the clip is ready
  bool hasVideo = false;   // likewise
  GstElement* videoSink = nullptr;  // held by the playbin
};

// The callbacks GStreamer's threads make into the player's private parts.
struct PipelineCallbacks {
  static GstFlowReturn deliver(GstSample* sample, const std::shared_ptr<VideoPlayer::FrameSlot>& slot);
  static void flushed(const std::shared_ptr<VideoPlayer::FrameSlot>& slot);
};

// Copies the sample's picture (BGRA in memory, which is Cairo's ARGB32 on little-endian
// machines) into the slot and, when no block is queued yet, queues one for the main thread.
GstFlowReturn PipelineCallbacks::deliver(GstSample* sample, const std::shared_ptr<VideoPlayer::FrameSlot>& slot) {
  if (!sample) return GST_FLOW_OK;
  GstVideoInfo info;
  GstCaps* caps = gst_sample_get_caps(sample);
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) {
    gst_sample_unref(sample);
    return GST_FLOW_OK;
  }
  GstVideoFrame frame;
  if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
    gst_sample_unref(sample);
    return GST_FLOW_OK;
  }
  const int width = GST_VIDEO_FRAME_WIDTH(&frame);
  const int height = GST_VIDEO_FRAME_HEIGHT(&frame);
  const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
  // Pictures no image can hold (a clip may announce any size) are not shown.
  if (width <= 0 || height <= 0 || width > gfx::Image::MaxPixelSide || height > gfx::Image::MaxPixelSide ||
      int64_t(width) * height > gfx::Image::MaxPixelCount || stride < width * 4) {
    gst_video_frame_unmap(&frame);
    gst_sample_unref(sample);
    return GST_FLOW_OK;
  }
  // The picture's time in the clip: its presentation time in the clip's terms.
  double time = -1;
  const GstSegment* segment = gst_sample_get_segment(sample);
  if (segment && segment->format == GST_FORMAT_TIME && GST_BUFFER_PTS_IS_VALID(buffer)) {
    const guint64 streamTime = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (GST_CLOCK_TIME_IS_VALID(streamTime)) time = double(streamTime) / double(GST_SECOND);
  }
  const auto* src = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
  std::vector<uint32_t> pixels(size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y) {
    std::memcpy(pixels.data() + size_t(y) * size_t(width), src + size_t(y) * size_t(stride), size_t(width) * 4);
  }
  gst_video_frame_unmap(&frame);
  gst_sample_unref(sample);

  bool queue = false;
  {
    std::lock_guard lock(slot->mutex);
    if (slot->awaitingFlush) return GST_FLOW_OK;
    slot->width = width;
    slot->height = height;
    slot->pixels = std::move(pixels);
    slot->time = time;
    slot->fresh = true;
    if (!slot->queued) slot->queued = queue = true;
  }
  if (queue) core::Queue::main()->async([slot] { VideoPlayer::frameArrived(slot); });
  return GST_FLOW_OK;
}

// The flush of a seek has reached the sink. It holds the sink's stream lock, so no picture is
// being handed over now, and every later one is from after the seek.
void PipelineCallbacks::flushed(const std::shared_ptr<VideoPlayer::FrameSlot>& slot) {
  std::lock_guard lock(slot->mutex);
  slot->awaitingFlush = false;
  slot->fresh = false;
}

std::shared_ptr<VideoPlayer> VideoPlayer::create() { return std::make_shared<VideoPlayer>(); }

VideoPlayer::VideoPlayer() = default;

VideoPlayer::~VideoPlayer() { stopPipeline(); }

bool VideoPlayer::drainTeardowns(double timeoutSeconds) {
  std::unique_lock lock(teardowns().mutex);
  auto none = [] { return teardowns().pending == 0; };
  if (timeoutSeconds < 0) {
    teardowns().done.wait(lock, none);
    return true;
  }
  return teardowns().done.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), none);
}

void VideoPlayer::load(const std::string& url) {
  KT_ASSERT_MAIN_THREAD();
  stopPipeline();
  ++m_generation;
  m_url = url;
  m_error.reset();
  m_frame.reset();
  m_frameTime = -1;
  m_framesShown = 0;
  m_duration.reset();
  m_lastPosition = 0;
  m_state = State::Loading;

  std::optional<std::string> uri = playableURI(url);
  if (!uri) {
    failLater(makeError(InvalidURL, "Not a URL of a clip: \"" + url + "\""));
    return;
  }
  if (!initGStreamer()) {
    failLater(makeError(EngineUnavailable, "GStreamer is not available"));
    return;
  }
  startPipeline(*uri);
}

void VideoPlayer::startPipeline(const std::string& uri) {
  GstElement* playbin = gst_element_factory_make("playbin", nullptr);
  GstElement* videoSink = gst_element_factory_make("appsink", nullptr);
  const char* audioSinkKind = soundSinkName();
  GstElement* audioSink = gst_element_factory_make(audioSinkKind, nullptr);
  if (!playbin || !videoSink || !audioSink) {
    for (GstElement* e : {playbin, videoSink, audioSink}) {
      if (e) gst_object_unref(gst_object_ref_sink(e));
    }
    failLater(makeError(EngineUnavailable, "The GStreamer elements for playing a clip are missing"));
    return;
  }

  auto pipeline = std::make_unique<Pipeline>();
  pipeline->playbin = GST_ELEMENT(gst_object_ref_sink(playbin));
  pipeline->videoSink = videoSink;
  pipeline->slot = std::make_shared<FrameSlot>();
  pipeline->slot->owner = weak_from_this();

  // Native-endian ARGB32 words are BGRA bytes on little-endian machines, ARGB on big-endian ones.
  GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING,
                                      G_BYTE_ORDER == G_LITTLE_ENDIAN ? "BGRA" : "ARGB", nullptr);
  g_object_set(videoSink, "caps", caps, "sync", TRUE, "max-buffers", 2u, "drop", TRUE, "enable-last-sample", FALSE,
               nullptr);
  gst_caps_unref(caps);
  if (std::strcmp(audioSinkKind, "fakesink") == 0) g_object_set(audioSink, "sync", TRUE, nullptr);

  GstAppSinkCallbacks callbacks{};
  callbacks.new_preroll = [](GstAppSink* sink, gpointer data) {
    return PipelineCallbacks::deliver(gst_app_sink_pull_preroll(sink), *static_cast<std::shared_ptr<FrameSlot>*>(data));
  };
  callbacks.new_sample = [](GstAppSink* sink, gpointer data) {
    return PipelineCallbacks::deliver(gst_app_sink_pull_sample(sink), *static_cast<std::shared_ptr<FrameSlot>*>(data));
  };
  gst_app_sink_set_callbacks(GST_APP_SINK(videoSink), &callbacks, new std::shared_ptr<FrameSlot>(pipeline->slot),
                             [](gpointer data) { delete static_cast<std::shared_ptr<FrameSlot>*>(data); });
  // A flush comes through the sink's pad in order with the pictures, where a picture already on
  // its way to the main thread does not: it marks where the pictures after a seek begin.
  GstPad* sinkPad = gst_element_get_static_pad(videoSink, "sink");
  gst_pad_add_probe(
      sinkPad, GST_PAD_PROBE_TYPE_EVENT_FLUSH,
      [](GstPad*, GstPadProbeInfo* info, gpointer data) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (event && GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
          PipelineCallbacks::flushed(*static_cast<std::shared_ptr<FrameSlot>*>(data));
        }
        return GST_PAD_PROBE_OK;
      },
      new std::shared_ptr<FrameSlot>(pipeline->slot),
      [](gpointer data) { delete static_cast<std::shared_ptr<FrameSlot>*>(data); });
  gst_object_unref(sinkPad);

  g_object_set(playbin, "uri", uri.c_str(), "video-sink", videoSink, "audio-sink", audioSink, nullptr);
  // The source is made on a streaming thread once playbin knows the URI's scheme.
  g_signal_connect_data(
      playbin, "source-setup",
      G_CALLBACK(+[](GstElement*, GstElement* source, gpointer proxy) {
        if (hasProperty(source, "proxy")) g_object_set(source, "proxy", static_cast<const gchar*>(proxy), nullptr);
      }),
      g_strdup(proxyFor(uri).c_str()), [](gpointer proxy, GClosure*) { g_free(proxy); }, GConnectFlags(0));
  // Under the virtual clock (tests) the clip keeps the program's time: it stands still while
  // nobody lets time pass, however slow the machine is.
  if (core::Clock::isVirtual()) gst_pipeline_use_clock(GST_PIPELINE(playbin), PipelineClock::shared());

  // The bus's descriptor is readable while messages wait; the main loop reads them.
  pipeline->bus = gst_element_get_bus(playbin);
#if defined(__SANITIZE_THREAD__)
  gst_bus_set_sync_handler(
      pipeline->bus,
      [](GstBus*, GstMessage* message, gpointer) {
        __tsan_release(message);
        return GST_BUS_PASS;
      },
      nullptr, nullptr);
#endif
  GPollFD pollFd{};
  gst_bus_get_pollfd(pipeline->bus, &pollFd);
  std::weak_ptr<VideoPlayer> weak = weak_from_this();
  pipeline->busSource = core::FdSource::create(pollFd.fd, core::FdSource::Readable, [weak](unsigned) {
    if (auto self = weak.lock()) self->handleBusMessages();
  });
  core::RunLoop::main().addSource(pipeline->busSource, core::RunLoop::CommonModes);

  m_pipeline = std::move(pipeline);
  if (gst_element_set_state(playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
    // The reason is on the bus, normally; a failure without one is reported as it is.
    const uint64_t generation = m_generation;
    core::Queue::main()->async([weak, generation] {
      auto self = weak.lock();
      if (!self || self->m_generation != generation || self->m_state == State::Failed) return;
      self->handleBusMessages();
      if (self->m_generation == generation && self->m_state != State::Failed) {
        self->fail(makeError(PlaybackFailed, "The clip cannot be opened"));
      }
    });
  }
}

void VideoPlayer::stopPipeline() {
  if (!m_pipeline) return;
  std::unique_ptr<Pipeline> pipeline = std::move(m_pipeline);
  pipeline->busSource->invalidate();
  gst_object_unref(pipeline->bus);
  tearDownInBackground(pipeline->playbin);
}

void VideoPlayer::frameArrived(const std::shared_ptr<FrameSlot>& slot) {
  if (auto self = slot->owner.lock()) {
    self->takeFrame(slot);
  } else {
    std::lock_guard lock(slot->mutex);
    slot->queued = false;
  }
}

void VideoPlayer::takeFrame(const std::shared_ptr<FrameSlot>& slot) {
  int width = 0;
  int height = 0;
  double time = -1;
  std::vector<uint32_t> pixels;
  {
    std::lock_guard lock(slot->mutex);
    slot->queued = false;
    if (!slot->fresh) return;
    slot->fresh = false;
    width = slot->width;
    height = slot->height;
    time = slot->time;
    pixels = std::move(slot->pixels);
  }
  // Pictures of a pipeline that has been replaced or stopped are dropped.
  if (!m_pipeline || m_pipeline->slot != slot) return;
  std::shared_ptr<gfx::Image> image = gfx::Image::fromPixels(width, height, std::move(pixels));
  if (!image) return;
  m_frame = image;
  m_frameTime = time;
  ++m_framesShown;
  if (m_delegate) {
    auto keep = shared_from_this();
    m_delegate->playerDidShowFrame(*this, m_frame);
  }
}

void VideoPlayer::handleBusMessages() {
  KT_ASSERT_MAIN_THREAD();
  auto keep = shared_from_this();
  const uint64_t generation = m_generation;
  while (m_pipeline && m_generation == generation) {
    GstMessage* message = gst_bus_pop(m_pipeline->bus);
    if (!message) break;
    KT_HANDED_OVER(message);
    handleMessage(message);
    gst_message_unref(message);
  }
}

void VideoPlayer::handleMessage(GstMessage* message) {
  const uint64_t generation = m_generation;
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
      GError* error = nullptr;
      gchar* debug = nullptr;
      gst_message_parse_error(message, &error, &debug);
      KT_LOG("%s: %s (%s)", m_url.c_str(), error ? error->message : "error", debug ? debug : "");
      core::Error failure = makeError(codeOf(error), error ? error->message : "The clip cannot be played");
      if (error) g_error_free(error);
      g_free(debug);
      fail(failure);
      break;
    }
    case GST_MESSAGE_WARNING: {
      GError* error = nullptr;
      gst_message_parse_warning(message, &error, nullptr);
      KT_LOG("%s: %s", m_url.c_str(), error ? error->message : "warning");
      if (error) g_error_free(error);
      break;
    }
    case GST_MESSAGE_EOS:
      if (m_state != State::Playing && m_state != State::Paused) break;
      m_lastPosition = duration().value_or(position());
      m_wantsPlay = false;
      m_state = State::Ended;
      if (m_delegate) m_delegate->playerDidChangeRate(*this);
      if (m_delegate && m_generation == generation) m_delegate->playerDidReachEnd(*this);
      break;
    case GST_MESSAGE_DURATION_CHANGED:
      m_duration.reset();
      break;
    case GST_MESSAGE_BUFFERING: {
      gint percent = 100;
      gst_message_parse_buffering(message, &percent);
      const bool buffering = percent < 100;
      if (buffering == m_pipeline->buffering) break;
      m_pipeline->buffering = buffering;
      // Playing waits while a network source fills its buffer.
      if (m_state == State::Playing) {
        gst_element_set_state(m_pipeline->playbin, buffering ? GST_STATE_PAUSED : GST_STATE_PLAYING);
      }
      break;
    }
    case GST_MESSAGE_ASYNC_DONE:
      if (GST_MESSAGE_SRC(message) != GST_OBJECT(m_pipeline->playbin) || m_pipeline->prerolled) break;
      m_pipeline->prerolled = true;
      if (m_state != State::Loading) break;
      // The first picture came before the pipeline was done; it is shown before ready is told.
      takeFrame(std::shared_ptr<FrameSlot>(m_pipeline->slot));
      if (!m_pipeline || m_generation != generation) break;
      {
        GstQuery* query = gst_query_new_seeking(GST_FORMAT_TIME);
        gboolean seekable = FALSE;
        if (gst_element_query(m_pipeline->playbin, query)) gst_query_parse_seeking(query, nullptr, &seekable, nullptr, nullptr);
        gst_query_unref(query);
        m_pipeline->seekable = seekable;
        gint videoStreams = 0;
        g_object_get(m_pipeline->playbin, "n-video", &videoStreams, nullptr);
        m_pipeline->hasVideo = videoStreams > 0;
      }
      m_state = State::Paused;
      if (m_wantsPlay) startPlaying();
      // A play asked for while loading was reported then: isPlaying() does not change here.
      if (m_delegate) m_delegate->playerDidBecomeReady(*this);
      break;
    default:
      break;
  }
}

void VideoPlayer::startPlaying() {
  m_state = State::Playing;
  if (!m_pipeline->buffering) gst_element_set_state(m_pipeline->playbin, GST_STATE_PLAYING);
}

void VideoPlayer::play() {
  KT_ASSERT_MAIN_THREAD();
  switch (m_state) {
    case State::Loading:
      if (m_wantsPlay) return;
      m_wantsPlay = true;
      reportRateLater();
      return;
    case State::Paused:
      m_wantsPlay = true;
      startPlaying();
      reportRateLater();
      return;
    case State::Ended:
      // From the beginning: paused, a flushing seek, then on; a source that cannot seek is opened
      // again. The running time starts over at the seek: kept at the end, every picture after it
      // would be late and shown at once. A picture of the end still on its way to the main thread,
      // or handed over before the flush reaches the sink, is not shown after the seek.
      gst_element_set_state(m_pipeline->playbin, GST_STATE_PAUSED);
      {
        std::lock_guard lock(m_pipeline->slot->mutex);
        m_pipeline->slot->awaitingFlush = true;
        m_pipeline->slot->fresh = false;
      }
      if (!m_pipeline->seekable ||
          !gst_element_seek_simple(m_pipeline->playbin, GST_FORMAT_TIME,
                                   GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0)) {
        const std::string url = m_url;
        load(url);
        play();
        return;
      }
      gst_element_set_start_time(m_pipeline->playbin, 0);
      m_wantsPlay = true;
      m_lastPosition = 0;
      if (m_frameTime >= 0) m_frameTime = 0;  // where the next picture comes from
      startPlaying();
      reportRateLater();
      return;
    case State::Idle:
    case State::Playing:
    case State::Failed:
      return;
  }
}

void VideoPlayer::pause() {
  KT_ASSERT_MAIN_THREAD();
  if (!m_wantsPlay) return;
  m_wantsPlay = false;
  if (m_state == State::Playing) {
    m_lastPosition = position();
    m_state = State::Paused;
    gst_element_set_state(m_pipeline->playbin, GST_STATE_PAUSED);
  }
  if (m_state == State::Loading || m_state == State::Paused) reportRateLater();
}

double VideoPlayer::position() const {
  if (!m_pipeline || m_state == State::Ended || m_state == State::Loading) return m_lastPosition;
  // With pictures, the position is the time of the picture shown. A sink asked instead can be
  // ahead of it: going back to playing after a seek from the end, the picture sink can answer the
  // end (reckoning from the clock's start of the first play, until the pipeline is playing again)
  // while the picture from the beginning is shown.
  if (m_pipeline->hasVideo && m_frameTime >= 0) return m_lastPosition = m_frameTime;
  // Otherwise a sink's position: the playbin answers with the furthest of its sinks, and after a
  // seek back from the end the sound's sink can keep its old position for a while.
  GstElement* element = m_pipeline->hasVideo ? m_pipeline->videoSink : m_pipeline->playbin;
  gint64 nanoseconds = 0;
  if (!gst_element_query_position(element, GST_FORMAT_TIME, &nanoseconds) || nanoseconds < 0) {
    return m_lastPosition;
  }
  m_lastPosition = double(nanoseconds) / double(GST_SECOND);
  return m_lastPosition;
}

std::optional<double> VideoPlayer::duration() const {
  if (m_duration || !m_pipeline || m_state == State::Loading) return m_duration;
  gint64 nanoseconds = 0;
  if (gst_element_query_duration(m_pipeline->playbin, GST_FORMAT_TIME, &nanoseconds) && nanoseconds > 0) {
    m_duration = double(nanoseconds) / double(GST_SECOND);
  }
  return m_duration;
}

void VideoPlayer::fail(const core::Error& error) {
  stopPipeline();
  m_error = error;
  const bool wasPlaying = m_wantsPlay;
  m_wantsPlay = false;
  m_state = State::Failed;
  if (!m_delegate) return;
  auto keep = shared_from_this();
  const uint64_t generation = m_generation;
  if (wasPlaying) m_delegate->playerDidChangeRate(*this);
  if (m_delegate && m_generation == generation) m_delegate->playerDidFail(*this, error);
}

void VideoPlayer::failLater(const core::Error& error) {
  std::weak_ptr<VideoPlayer> weak = weak_from_this();
  const uint64_t generation = m_generation;
  core::Queue::main()->async([weak, generation, error] {
    auto self = weak.lock();
    if (self && self->m_generation == generation && self->m_state == State::Loading) self->fail(error);
  });
}

void VideoPlayer::reportRateLater() {
  std::weak_ptr<VideoPlayer> weak = weak_from_this();
  const uint64_t generation = m_generation;
  const bool playing = isPlaying();
  // Dropped when the rate has changed again since (that change reports itself).
  core::Queue::main()->async([weak, generation, playing] {
    auto self = weak.lock();
    if (self && self->m_generation == generation && self->isPlaying() == playing && self->m_delegate) {
      self->m_delegate->playerDidChangeRate(*self);
    }
  });
}

}  // namespace media
