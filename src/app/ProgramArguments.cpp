#include "app/ProgramArguments.h"

#include <iostream>
#include <sstream>

namespace kt {

ProgramArguments::ProgramArguments(int argc, const char* const* argv) {
  // Walks the arguments the way the settings' argument domain pairs them, so that a value is
  // never taken for an option.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i] ? argv[i] : "";
    if (arg == "--help") {
      m_request = Request::Help;
      return;
    }
    if (arg == "--version") {
      m_request = Request::Version;
      return;
    }
    m_request = Request::Mistake;
    if (arg.size() < 2 || arg[0] != '-') {
      m_mistake = "unknown argument \"" + arg + "\" (settings are given as -Key value)";
      return;
    }
    if (arg[1] == '-') {
      m_mistake = "unknown option \"" + arg + "\"";
      return;
    }
    if (arg.find('=') != std::string::npos) {
      m_mistake = "\"" + arg + "\": a setting is given as -Key value, with a space, not -Key=value";
      return;
    }
    if (i + 1 >= argc) {
      m_mistake = "the setting \"" + arg + "\" needs a value after it";
      return;
    }
    m_request = Request::Run;
    ++i;
  }
}

std::string ProgramArguments::versionText(const std::string& version) {
  return std::string(ProgramName) + " " + version + "\n";
}

std::string ProgramArguments::helpText(const std::string& version) {
  std::ostringstream text;
  text << ProgramName << " " << version << R"( - the KTV room tablet client.
Binds the tablet to its private room, finds and queues songs through the cloud song service,
orders food and drinks, reads the room's bill and calls staff through the venue room server.
It shows itself in a window (X11 or Wayland), full screen for a kiosk, or offscreen where no
display is named.

Usage: ktv_client [-Setting value]...
       ktv_client --help | --version

Settings for this run only (the stored ones, in $XDG_CONFIG_HOME/ktv-room-client/defaults.plist,
~/.config by default, stay as they are; default in brackets):
  -Server_Ip ADDRESS       the venue room server's address [192.168.1.10]
  -Server_Port PORT        the venue room server's port [9100]
  -webService_Port PORT    the venue web server's port, on the same address [8080]
  -VedioIP ADDRESS         the host the staff videos are sent to [192.168.1.10]
  -VedioName FOLDER        the shared folder of the staff videos on that host [video]
  -vedio_State N           the video state of the settings form [0]
  -Display_Wait SECONDS    how long a named display that is not there is waited for [30]; 0: none
  -Draw_Scale SCALE        draw the interface at this scale (0.5 to 4) whatever the window's size,
                           the picture resampled into the window [the window's own scale]

Environment:
  KT_FULLSCREEN=1          open the window full screen (F11 turns full screen on and off)
  KT_DISPLAY_WAIT=SECONDS  as -Display_Wait, and before it
  KT_DRAW_SCALE=SCALE      as -Draw_Scale, and before it
  KT_OFFSCREEN=1           draw offscreen even where a display is named
  KT_SCREENS_DIR=FOLDER    save a screenshot of the first screen there (start.png), 3 s after start
  KT_LOG_STDERR=1          write the log to standard error too (it always goes to the system log)
  KT_RESOURCES=FOLDER      the resources (else found from the program's folder: ../share/ktv-client)
  KT_CAMERA=PATH           the camera: a /dev/video* device, a still image or a folder of images
  KT_HOST_MAP=MAP          reach hosts elsewhere: host:port=address:port, comma-separated
  KT_AUDIO_OUTPUT=none     play clips without sound
  WAYLAND_DISPLAY, DISPLAY the display to show the window on (Wayland first)
  LANGUAGE                 the languages of the interface, e.g. zh_CN

Exit status: 0 after a stop (SIGTERM, SIGINT, the window closed); 1 when the display went away,
did not come within the wait or cannot be used; 2 for an argument it does not know.
)";
  return text.str();
}

std::optional<int> ProgramArguments::answer(const std::string& version, std::ostream& out, std::ostream& err) const {
  switch (m_request) {
    case Request::Run:
      return std::nullopt;
    case Request::Help:
      out << helpText(version) << std::flush;
      return 0;
    case Request::Version:
      out << versionText(version) << std::flush;
      return 0;
    case Request::Mistake:
      err << ProgramName << ": " << m_mistake << "; see '" << ProgramName << " --help'" << std::endl;
      return MistakeStatus;
  }
  return std::nullopt;
}

std::optional<int> ProgramArguments::answer(const std::string& version) const {
  return answer(version, std::cout, std::cerr);
}

}  // namespace kt
