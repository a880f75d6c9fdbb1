#include "platform/display/WaylandPresenter.h"

#include <pixman.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/core/Log.h"

// Last: it brings the window systems' own headers, whose macros clash with ordinary names.
#include <SDL_syswm.h>

namespace display {

namespace {

// At most this many buffers: one shown, one the compositor may still read, one to draw in.
constexpr size_t MaxBuffers = 3;
// At most this many buffers of earlier sizes that the compositor still holds.
constexpr size_t MaxOldBuffers = 3;

void globalAdded(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* shm = static_cast<wl_shm**>(data);
  if (!*shm && std::strcmp(interface, wl_shm_interface.name) == 0)
    *shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
}

void globalRemoved(void*, wl_registry*, uint32_t) {}

const wl_registry_listener RegistryListener = {globalAdded, globalRemoved};

}  // namespace

struct WaylandPresenter::Buffer {
  WaylandPresenter* owner = nullptr;
  wl_buffer* buffer = nullptr;
  pixman_image_t* image = nullptr;
  void* memory = MAP_FAILED;
  size_t size = 0;
  bool busy = false;  // the compositor has it
  PixelRect stale;    // what changed since it was last drawn

  ~Buffer() {
    if (buffer) wl_buffer_destroy(buffer);
    if (image) pixman_image_unref(image);
    if (memory != MAP_FAILED) munmap(memory, size);
  }
};

std::unique_ptr<WaylandPresenter> WaylandPresenter::create(SDL_Window* window, std::string* error) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_WAYLAND) {
    if (error) *error = std::string("not a Wayland window: ") + SDL_GetError();
    return nullptr;
  }
  wl_display* display = info.info.wl.display;
  wl_surface* surface = info.info.wl.surface;
  std::unique_ptr<WaylandPresenter> p(new WaylandPresenter());
  p->m_display = display;
  p->m_surface = surface;
  p->m_queue = wl_display_create_queue(display);
  // The registry's events come through our queue, so the window system's own dispatch never sees
  // them and our round trip handles nothing of its.
  p->m_queued = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(p->m_queued), p->m_queue);
  wl_registry* registry = wl_display_get_registry(p->m_queued);
  wl_registry_add_listener(registry, &RegistryListener, &p->m_shm);
  int rc = wl_display_roundtrip_queue(display, p->m_queue);
  wl_registry_destroy(registry);
  if (rc < 0 || !p->m_shm) {
    if (error) *error = rc < 0 ? "the Wayland connection failed" : "the Wayland compositor offers no shared memory";
    return nullptr;
  }
  return p;
}

WaylandPresenter::~WaylandPresenter() {
  if (m_surface && m_shown && isConnected()) {
    wl_surface_attach(m_surface, nullptr, 0, 0);
    wl_surface_commit(m_surface);
  }
  m_buffers.clear();
  if (m_takenCallback) wl_callback_destroy(m_takenCallback);
  if (m_queued) wl_proxy_wrapper_destroy(m_queued);
  if (m_shm) wl_shm_destroy(m_shm);
  if (m_queue) wl_event_queue_destroy(m_queue);
  if (m_display) wl_display_flush(m_display);
}

void WaylandPresenter::setGeometry(int width, int height, int bufferScale, const PixelRect& picture) {
  width = std::max(1, width);
  height = std::max(1, height);
  bufferScale = std::max(1, bufferScale);
  const PixelRect fitted = picture.intersected(PixelRect{0, 0, width, height});
  if (width == m_scaler.width() && height == m_scaler.height() && bufferScale == m_bufferScale &&
      fitted == m_scaler.picture())
    return;
  // Buffers the compositor still holds go when it lets go of them; the rest go now.
  m_buffers.erase(std::remove_if(m_buffers.begin(), m_buffers.end(),
                                 [this](const std::unique_ptr<Buffer>& b) {
                                   if (b->busy) {
                                     // Kept, unused, until the compositor lets go of it.
                                     b->owner = nullptr;
                                     return false;
                                   }
                                   if (b.get() == m_shown) m_shown = nullptr;
                                   return true;
                                 }),
                  m_buffers.end());
  // Past a few, the oldest held ones are given up without waiting for the compositor. A client may
  // destroy a buffer the compositor still holds as long as it never writes into its memory again:
  // the compositor maps the memory itself, so what it shows stays. Waiting instead would hold
  // frames back for as long as the compositor keeps them. The newest, the one most likely still
  // on screen, is the last to go.
  size_t old = std::count_if(m_buffers.begin(), m_buffers.end(), [](const auto& b) { return !b->owner; });
  for (auto it = m_buffers.begin(); old > MaxOldBuffers && it != m_buffers.end();) {
    if ((*it)->owner) {
      ++it;
      continue;
    }
    if (it->get() == m_shown) m_shown = nullptr;
    it = m_buffers.erase(it);
    --old;
  }
  m_scaler.setGeometry(width, height, fitted);
  if (bufferScale != m_bufferScale && wl_proxy_get_version(reinterpret_cast<wl_proxy*>(m_surface)) >= 3)
    wl_surface_set_buffer_scale(m_surface, bufferScale);
  m_bufferScale = bufferScale;
}

void WaylandPresenter::released(void* data, wl_buffer*) {
  // A buffer of an earlier size goes at the next freeBuffer().
  static_cast<Buffer*>(data)->busy = false;
}

WaylandPresenter::Buffer* WaylandPresenter::freeBuffer() {
  // Buffers of an earlier size that the compositor has let go of go now.
  m_buffers.erase(std::remove_if(m_buffers.begin(), m_buffers.end(),
                                 [this](const std::unique_ptr<Buffer>& b) {
                                   if (b->owner || b->busy) return false;
                                   if (b.get() == m_shown) m_shown = nullptr;
                                   return true;
                                 }),
                  m_buffers.end());
  for (auto& b : m_buffers) {
    if (b->owner && !b->busy) return b.get();
  }
  if (!hasFreeBuffer()) return nullptr;

  auto b = std::make_unique<Buffer>();
  b->owner = this;
  const int width = m_scaler.width(), height = m_scaler.height();
  const int stride = width * 4;
  b->size = static_cast<size_t>(stride) * height;
  int fd = memfd_create("ktv-frame", MFD_CLOEXEC);
  if (fd < 0) {
    KT_LOG("frame buffer: %s", std::strerror(errno));
    return nullptr;
  }
  if (ftruncate(fd, static_cast<off_t>(b->size)) != 0) {
    KT_LOG("frame buffer: %s", std::strerror(errno));
    close(fd);
    return nullptr;
  }
  b->memory = mmap(nullptr, b->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (b->memory == MAP_FAILED) {
    KT_LOG("frame buffer: %s", std::strerror(errno));
    close(fd);
    return nullptr;
  }
  wl_shm_pool* pool = wl_shm_create_pool(m_shm, fd, static_cast<int32_t>(b->size));
  close(fd);
  b->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  static const wl_buffer_listener listener = {released};
  wl_buffer_add_listener(b->buffer, &listener, b.get());
  b->image = pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, static_cast<uint32_t*>(b->memory), stride);
  b->stale = PixelRect{0, 0, width, height};
  ++m_buffersMade;
  m_buffers.push_back(std::move(b));
  return m_buffers.back().get();
}

bool WaylandPresenter::hasFreeBuffer() const {
  size_t current = 0;
  for (const auto& b : m_buffers) {
    if (!b->owner) continue;
    if (!b->busy) return true;
    ++current;
  }
  return current < MaxBuffers;
}

bool WaylandPresenter::isConnected() const { return wl_display_get_error(m_display) == 0; }

std::string WaylandPresenter::connectionError() const {
  const int error = wl_display_get_error(m_display);
  if (error == 0) return {};
  if (error == EPROTO) {
    const wl_interface* interface = nullptr;
    uint32_t id = 0;
    const uint32_t code = wl_display_get_protocol_error(m_display, &interface, &id);
    return "the compositor reported protocol error " + std::to_string(code) + " on " +
           (interface ? interface->name : "an unknown object") + "@" + std::to_string(id);
  }
  return std::string("the connection to the compositor broke (") + std::strerror(error) + ")";
}

void WaylandPresenter::readEvents() {
  // Our queue's events only, read without waiting: the window system's own events stay queued
  // for its next pump. Every step checks the connection: once it has failed, dispatching fails
  // without emptying the queue, and a prepare would never succeed.
  if (!isConnected()) return;
  while (wl_display_prepare_read_queue(m_display, m_queue) != 0) {
    if (wl_display_dispatch_queue_pending(m_display, m_queue) < 0) return;
  }
  wl_display_flush(m_display);
  pollfd p{wl_display_get_fd(m_display), POLLIN, 0};
  // A hang-up shows as readable too: the read then finds the end and marks the connection failed.
  if (poll(&p, 1, 0) > 0) {
    if (wl_display_read_events(m_display) < 0) return;
  } else {
    wl_display_cancel_read(m_display);
  }
  wl_display_dispatch_queue_pending(m_display, m_queue);
}

void WaylandPresenter::taken(void* data, wl_callback* callback, uint32_t) {
  auto* p = static_cast<WaylandPresenter*>(data);
  wl_callback_destroy(callback);
  p->m_takenCallback = nullptr;
  p->m_frameTaken = true;
}

void WaylandPresenter::dispatch(const Frame& frame) {
  // While the first frame's round trip is unanswered, its answer is read here too, whether or
  // not the window system's own reading took it.
  if (m_takenCallback) readEvents();
  if (!isConnected() || wl_display_dispatch_queue_pending(m_display, m_queue) < 0) return;
  if (m_waiting) show(frame);
}

void WaylandPresenter::present(const Frame& frame, const PixelRect& dirty) {
  if (!frame.data || frame.width <= 0 || frame.height <= 0 || m_scaler.picture().isEmpty()) return;
  // The buffer pixels that show the changed pixels of the frame.
  const PixelRect d = m_scaler.reach(frame, dirty);
  for (auto& b : m_buffers) {
    if (b->owner) b->stale = b->stale.united(d);
  }
  show(frame);
}

void WaylandPresenter::show(const Frame& frame) {
  if (!isConnected()) {
    m_waiting = false;
    return;
  }
  Buffer* b = freeBuffer();
  if (!b) {
    readEvents();
    b = freeBuffer();
  }
  if (!b) {
    // Every buffer is on the compositor's side: the frame waits for the first one let go of.
    m_waiting = true;
    return;
  }
  m_waiting = false;
  if (b->stale.isEmpty() && b == m_shown) return;
  const PixelRect damage = b->stale;
  draw(*b, frame);
  b->busy = true;
  m_shown = b;
  wl_surface_attach(m_surface, b->buffer, 0, 0);
  if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(m_surface)) >= 4) {
    wl_surface_damage_buffer(m_surface, damage.x0, damage.y0, damage.x1 - damage.x0, damage.y1 - damage.y0);
  } else {
    const int k = m_bufferScale;
    wl_surface_damage(m_surface, damage.x0 / k, damage.y0 / k, (damage.x1 + k - 1) / k - damage.x0 / k,
                      (damage.y1 + k - 1) / k - damage.y0 / k);
  }
  wl_surface_commit(m_surface);
  if (!m_frameTaken && !m_takenCallback) {
    // The compositor answers once it has handled the commit before it.
    static const wl_callback_listener listener = {taken};
    m_takenCallback = wl_display_sync(m_queued);
    wl_callback_add_listener(m_takenCallback, &listener, this);
  }
  wl_display_flush(m_display);
}

void WaylandPresenter::draw(Buffer& b, const Frame& frame) {
  const PixelRect stale = b.stale;
  b.stale = PixelRect{};
  m_scaler.draw(b.image, frame, stale);
}

std::vector<uint32_t> WaylandPresenter::shownPixels(int* width, int* height) const {
  std::vector<uint32_t> px;
  *width = *height = 0;
  if (!m_shown || !m_shown->owner) return px;
  *width = m_scaler.width();
  *height = m_scaler.height();
  const auto* p = static_cast<const uint32_t*>(m_shown->memory);
  px.assign(p, p + static_cast<size_t>(*width) * *height);
  for (auto& v : px) v |= 0xFF000000u;
  return px;
}

}  // namespace display
