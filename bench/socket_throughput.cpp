// 100 MB through a RunLoopSocket over loopback, against the same through a plain blocking
// socket; a reader thread with a plain socket drains the other end in both cases.

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "BenchReport.h"
#include "link/sockets/RunLoopSocket.h"
#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"

namespace {

constexpr size_t kTotal = 100u << 20;
constexpr size_t kWrite = 1u << 20;  // each writeData call carries 1 MB

struct Sink {
  int listenFd = -1;
  uint16_t port = 0;
  std::atomic<size_t> received{0};
  std::thread thread;

  Sink() {
    listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listenFd, 1);
    socklen_t len = sizeof a;
    ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    thread = std::thread([this] {
      int fd = ::accept(listenFd, nullptr, nullptr);
      std::string buf(1 << 16, '\0');
      for (;;) {
        ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
        if (n <= 0) break;
        received += static_cast<size_t>(n);
      }
      ::close(fd);
    });
  }
  ~Sink() {
    thread.join();
    ::close(listenFd);
  }
};

struct Writer : kt::RunLoopSocketDelegate {
  size_t written = 0;
  bool connected = false;
  void onSocketDidConnectToHost(kt::RunLoopSocket&, const std::string&, uint16_t) override { connected = true; }
  void onSocketDidWriteDataWithTag(kt::RunLoopSocket&, long) override { written += kWrite; }
};

void runUntil(const std::function<bool()>& done) {
  auto& loop = core::RunLoop::main();
  while (!done()) loop.runInMode(core::RunLoop::DefaultMode, core::Clock::now() + 0.01, true);
}

void BM_RunLoopSocket(benchmark::State& state) {
  const std::string chunk(kWrite, 'k');
  for (auto _ : state) {
    Sink sink;
    auto writer = std::make_shared<Writer>();
    auto socket = kt::RunLoopSocket::create(writer);
    socket->connectToHost("127.0.0.1", sink.port, 5.0);
    runUntil([&] { return writer->connected; });
    for (size_t i = 0; i < kTotal / kWrite; ++i) socket->writeData(chunk, -1, 0);
    runUntil([&] { return writer->written == kTotal; });
    socket->disconnect();
    while (sink.received < kTotal) std::this_thread::yield();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTotal));
}

void BM_PlainBlockingSocket(benchmark::State& state) {
  const std::string chunk(kWrite, 'k');
  for (auto _ : state) {
    Sink sink;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(sink.port);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    for (size_t i = 0; i < kTotal / kWrite; ++i) {
      size_t done = 0;
      while (done < chunk.size()) {
        ssize_t n = ::send(fd, chunk.data() + done, chunk.size() - done, MSG_NOSIGNAL);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
    }
    ::close(fd);
    while (sink.received < kTotal) std::this_thread::yield();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTotal));
}

BENCHMARK(BM_RunLoopSocket)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainBlockingSocket)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (auto r = reporter.ratio("BM_RunLoopSocket", "BM_PlainBlockingSocket"))
    std::printf("RunLoopSocket / plain blocking socket time ratio: %.2f\n", r->value);
  benchmark::Shutdown();
  return 0;
}
