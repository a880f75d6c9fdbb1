// Runs the stand-in venue (room server, venue web server, cloud song service) on 127.0.0.1 until
// SIGINT or SIGTERM, for trying the client by hand (scripts/run starts it). Prints one line:
// "room <port> web <port> cloud <port>". The room server binds the tablet to the cloud service's
// first room and serves the venue menu; the order password is "1234".
//
// Arguments, both optional: the room server's port (0: any free one) and a file to write the QR
// code of the first room into (a PNG, for the client's camera to look at).
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "venue/CloudService.h"
#include "venue/RoomServer.h"
#include "venue/VenueRoom.h"
#include "venue/WebServer.h"

int main(int argc, char** argv) {
  const std::uint16_t roomPort = argc > 1 ? static_cast<std::uint16_t>(std::atoi(argv[1])) : 0;
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // the servers' threads inherit the mask

  venue::VenueRoom venueRoom;
  venue::RoomServer room;
  venue::ServerOptions options;
  options.port = roomPort;
  venue::WebServer web;
  venue::CloudService cloud;
  venue::RoomIdentity identity = venueRoom.identity();
  identity.roomNo = cloud.rooms().front().code;
  identity.roomName = identity.roomNo + "房";
  venueRoom.setIdentity(identity);
  venueRoom.install(room);
  if (!room.start(options) || !web.start() || !cloud.start()) {
    std::fprintf(stderr, "venue: cannot start the stand-in servers\n");
    return 1;
  }
  // The video banner plays the web server's clip.
  cloud.setVideoBannerAddress(web.clipAddress());
  if (argc > 2) {
    const std::string& roomCode = cloud.rooms().front().code;
    if (!cloud.writeQrPng(roomCode, argv[2])) {
      std::fprintf(stderr, "venue: cannot write the QR code of room %s to %s\n", roomCode.c_str(), argv[2]);
      return 1;
    }
  }
  std::printf("room %u web %u cloud %u\n", room.port(), web.port(), cloud.port());
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);
  return 0;
}
