#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/display/FrameScaler.h"

struct SDL_Window;
struct wl_buffer;
struct wl_callback;
struct wl_display;
struct wl_event_queue;
struct wl_shm;
struct wl_surface;

namespace display {

// Shows frames on a Wayland surface through shared-memory buffers the compositor reads directly,
// with no GL on our side: the process keeps one GL stack (the off-screen renderer of the GL views).
//
// Each frame is scaled (FrameScaler) into the picture's rectangle of a buffer the compositor has
// let go of; the rest of the buffer stays black. Only what changed since that buffer was last
// drawn (as far as the filter reaches) is drawn again, and only that part is damaged. Up to three
// buffers are in use; when the compositor holds all of them, the frame waits for the first one it
// lets go of. After a change of size, up to three older buffers the compositor still holds are
// kept until it lets go of them; beyond that the oldest is given up.
// Everything runs on the thread that owns the surface; the presenter's own events (the shared-
// memory global, buffer releases) come through an event queue of its own, read whenever the
// window's events are read and handled by dispatch().
class WaylandPresenter {
 public:
  // For the surface of an SDL window on Wayland. Null with `error` set when the window is not one
  // or the compositor offers no shared memory.
  static std::unique_ptr<WaylandPresenter> create(SDL_Window* window, std::string* error);
  ~WaylandPresenter();
  WaylandPresenter(const WaylandPresenter&) = delete;
  WaylandPresenter& operator=(const WaylandPresenter&) = delete;

  // The surface's size in buffer pixels, the buffer scale (buffer pixels per surface unit) and
  // where the frame goes in it. Buffers of another size are dropped; everything is drawn again.
  void setGeometry(int width, int height, int bufferScale, const PixelRect& picture);

  // A frame's pixels: premultiplied ARGB, native-endian words (a Cairo image surface's).
  using Frame = FrameScaler::Frame;

  // Shows `frame`, whose pixels in `dirty` changed since the last call.
  void present(const Frame& frame, const PixelRect& dirty);
  // Handles the presenter's events that have been read (buffers let go of) and shows `frame` if a
  // frame waited for a buffer.
  void dispatch(const Frame& frame);

  // Whether a frame presented now is drawn at once (else it waits for the compositor to let go
  // of a buffer).
  bool hasFreeBuffer() const;

  // Whether the compositor has taken a frame: it answered a round trip asked for after the first
  // frame's commit (read with the window's events, handled by dispatch()). A commit alone says
  // nothing: a compositor stopped or hung would never read it.
  bool frameTaken() const { return m_frameTaken; }

  // Why the connection to the compositor is gone (it ended, closed the connection or reported a
  // protocol error), empty while it works. Once it is gone nothing is read, drawn or waited for.
  std::string connectionError() const;
  bool isConnected() const;

  // The pixels last handed to the compositor (opaque ARGB, the buffer's size); empty before then.
  std::vector<uint32_t> shownPixels(int* width, int* height) const;
  // Buffers made so far (a buffer is made again after a change of size).
  int buffersMade() const { return m_buffersMade; }
  // Buffers that exist now: those of the current size and older ones the compositor still holds.
  int buffersAlive() const { return static_cast<int>(m_buffers.size()); }

 private:
  struct Buffer;
  WaylandPresenter() = default;
  Buffer* freeBuffer();
  // Reads what the compositor has sent without waiting, and handles the presenter's part of it.
  void readEvents();
  void show(const Frame& frame);
  void draw(Buffer& buffer, const Frame& frame);
  static void released(void* data, wl_buffer* buffer);
  static void taken(void* data, wl_callback* callback, uint32_t);

  wl_display* m_display = nullptr;
  wl_surface* m_surface = nullptr;
  wl_event_queue* m_queue = nullptr;
  wl_display* m_queued = nullptr;  // the display's wrapper whose requests' events come to m_queue
  wl_callback* m_takenCallback = nullptr;  // the round trip after the first frame, until answered
  bool m_frameTaken = false;
  wl_shm* m_shm = nullptr;
  std::vector<std::unique_ptr<Buffer>> m_buffers;
  int m_bufferScale = 1;
  FrameScaler m_scaler;  // the buffers' size and where the frame goes in them
  bool m_waiting = false;             // a frame waits for a free buffer
  Buffer* m_shown = nullptr;          // the buffer last committed
  int m_buffersMade = 0;
};

}  // namespace display
