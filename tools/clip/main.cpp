// Makes the stand-in clip the tests and the stand-in venue serve: kt_clip <file.mp4>.
// Three seconds of GStreamer's test pattern sliding sideways (so every picture differs from the
// one before) with a steady tone: MPEG-4 video at 160 x 120 and 20 pictures a second, AAC sound,
// in an MP4 file with its index in front, so that it plays while it downloads.
#include <gst/gst.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kFrames = 60;
constexpr int kFramesPerSecond = 20;

struct Stamp {
  GstClockTime start = 0;  // of the encoder's segment, which does not begin at 0
  guint64 count = 0;
};

// The MPEG-4 encoder leaves its pictures without times; each gets its place in the clip, counted
// from the start of the segment the encoder announced.
GstPadProbeReturn stampPicture(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* stamp = static_cast<Stamp*>(data);
  if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
      const GstSegment* segment = nullptr;
      gst_event_parse_segment(event, &segment);
      stamp->start = segment->start;
    }
    return GST_PAD_PROBE_OK;
  }
  GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
  const GstClockTime duration = GST_SECOND / kFramesPerSecond;
  GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = stamp->start + stamp->count * duration;
  GST_BUFFER_DURATION(buffer) = duration;
  ++stamp->count;
  GST_PAD_PROBE_INFO_DATA(info) = buffer;
  return GST_PAD_PROBE_OK;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <file.mp4>\n", argv[0]);
    return 2;
  }
  gst_init(nullptr, nullptr);
  const std::string out = argv[1];
  const std::string partial = out + ".part";
  // 130 blocks of 1024 samples at 44.1 kHz: a little over the three seconds of pictures.
  const std::string description =
      "videotestsrc num-buffers=" + std::to_string(kFrames) + " pattern=smpte horizontal-speed=4"
      " ! video/x-raw,width=160,height=120,framerate=" + std::to_string(kFramesPerSecond) + "/1"
      " ! videoconvert ! avenc_mpeg4 name=venc max-bframes=0 ! queue ! mux."
      " audiotestsrc num-buffers=130 samplesperbuffer=1024 freq=440 volume=0.2"
      " ! audio/x-raw,rate=44100,channels=1 ! audioconvert ! avenc_aac ! queue ! mux."
      " mp4mux name=mux faststart=true ! filesink name=file";
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (!pipeline || error) {
    std::fprintf(stderr, "kt_clip: %s\n", error ? error->message : "cannot build the pipeline");
    return 1;
  }
  GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline), "file");
  g_object_set(file, "location", partial.c_str(), nullptr);
  gst_object_unref(file);
  GstElement* encoder = gst_bin_get_by_name(GST_BIN(pipeline), "venc");
  GstPad* pad = gst_element_get_static_pad(encoder, "src");
  Stamp stamp;
  gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM), stampPicture,
                    &stamp, nullptr);
  gst_object_unref(pad);
  gst_object_unref(encoder);

  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message =
      gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  int status = 0;
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    gst_message_parse_error(message, &error, nullptr);
    std::fprintf(stderr, "kt_clip: %s\n", error ? error->message : "the clip cannot be made");
    if (error) g_error_free(error);
    status = 1;
  }
  gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  if (status == 0 && std::rename(partial.c_str(), out.c_str()) != 0) {
    std::fprintf(stderr, "kt_clip: cannot write %s\n", out.c_str());
    status = 1;
  }
  if (status != 0) std::remove(partial.c_str());
  gst_deinit();
  return status;
}
