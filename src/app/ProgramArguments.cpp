#include "app/ProgramArguments.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <sstream>

#include "platform/core/Bundle.h"
#include "platform/core/PropertyList.h"
#include "platform/net/TcpPort.h"

namespace kt {

namespace {

// A key of `keys` that differs from `key` only in case, or empty.
std::string sameButForCase(const std::string& key, const std::set<std::string>& keys) {
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string wanted = lower(key);
  for (const std::string& candidate : keys) {
    if (lower(candidate) == wanted) return candidate;
  }
  return "";
}

// Digits alone, as the form's number pad types them, of a number an int holds (what the settings'
// readers parse them into).
bool isWholeNumber(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  int32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size();
}

// The whole-number settings that are TCP ports. A number outside 1-65535 would be cut to 16 bits
// on the way to the socket and reach another port (70000 is 4464) while the log names the one given.
bool isPortKey(const std::string& key) { return key == "Server_Port" || key == "webService_Port"; }

}  // namespace

ProgramArguments::ProgramArguments(int argc, const char* const* argv)
    : ProgramArguments(argc, argv, settingKeys(core::Bundle::main()), wholeNumberKeys(core::Bundle::main())) {}

ProgramArguments::ProgramArguments(int argc, const char* const* argv, const std::optional<std::set<std::string>>& keys,
                                   const std::set<std::string>& wholeNumbers) {
  // Walks the arguments the way the settings' argument domain pairs them, so that a value is
  // never taken for an option.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i] ? argv[i] : "";
    if (arg == "--help" || arg == "-h") {
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
    // A mistyped key would otherwise be kept for this run and read by nothing, the setting it
    // meant left at its stored or default value without a word.
    if (const std::string key = arg.substr(1); keys && !keys->count(key)) {
      m_mistake = "unknown setting \"" + arg + "\"";
      if (const std::string meant = sameButForCase(key, *keys); !meant.empty()) {
        m_mistake += " (did you mean \"-" + meant + "\"?)";
      }
      return;
    }
    if (i + 1 >= argc) {
      m_mistake = "the setting \"" + arg + "\" needs a value after it";
      return;
    }
    // Read as a number, a value that is not one would be taken as 0 without a word: a port of 0,
    // and a guest told only that the server cannot be reached.
    const std::string value = argv[i + 1] ? argv[i + 1] : "";
    const bool wholeNumber = wholeNumbers.count(arg.substr(1)) > 0;
    if (wholeNumber && !isWholeNumber(value)) {
      m_mistake = "the setting \"" + arg + "\" takes a whole number, not \"" + value + "\"";
      return;
    }
    if (wholeNumber && isPortKey(arg.substr(1)) && !net::tcpPort(value)) {
      m_mistake = "the setting \"" + arg + "\" takes a port from " + net::kTcpPortRange + ", not \"" + value + "\"";
      return;
    }
    m_request = Request::Run;
    ++i;
  }
}

std::optional<std::set<std::string>> ProgramArguments::settingKeys(const core::Bundle& resources) {
  const std::optional<std::string> form = resources.pathForResource("Root", "plist", "Settings.bundle");
  if (!form) return std::nullopt;
  const std::optional<core::Value> root = core::PropertyList::readFile(*form);
  const core::Value::Array* items = root ? (*root)["PreferenceSpecifiers"].asArray() : nullptr;
  if (!items) return std::nullopt;
  // Read by the display, not shown in the form.
  std::set<std::string> keys{"Display_Wait", "Draw_Scale"};
  for (const core::Value& item : *items) {
    if (const std::string* key = item["Key"].asString()) keys.insert(*key);
  }
  return keys;
}

std::set<std::string> ProgramArguments::wholeNumberKeys(const core::Bundle& resources) {
  std::set<std::string> keys;
  const std::optional<std::string> form = resources.pathForResource("Root", "plist", "Settings.bundle");
  const std::optional<core::Value> root = form ? core::PropertyList::readFile(*form) : std::nullopt;
  const core::Value::Array* items = root ? (*root)["PreferenceSpecifiers"].asArray() : nullptr;
  if (!items) return keys;
  for (const core::Value& item : *items) {
    const std::string* key = item["Key"].asString();
    const std::string* keyboard = item["KeyboardType"].asString();
    if (key && keyboard && *keyboard == "NumberPad") keys.insert(*key);
  }
  return keys;
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
  or:  ktv_client --help | -h | --version

Settings for this run only (the stored ones, in $XDG_CONFIG_HOME/ktv-room-client/defaults.plist,
~/.config by default, stay as they are; without HOME the home is the password database's, and a
folder of the settings, keychain or cache that another user owns or can write is never used).
The settings, default in brackets:
  -Server_Ip ADDRESS       the venue room server's address [192.168.1.10]
  -Server_Port PORT        the venue room server's port [9100]
  -webService_Port PORT    the venue web server's port, on the same address [8080]
  -VedioIP ADDRESS         the host the staff videos are sent to [192.168.1.10]
  -VedioName FOLDER        the shared folder of the staff videos on that host [video]
  -vedio_State N           the video state of the settings form [0]
  -Display_Wait SECONDS    how long a named display that is not there is waited for [30]; 0: none
  -Draw_Scale SCALE        draw the interface at this scale (0.5 to 4) whatever the window's size,
                           the picture resampled into the window [the window's own scale]

Exit status:
  0   stopped (SIGTERM, SIGINT, the window closed), or --help or --version answered
  1   the display went away or did not come within the wait; the resources are missing; the
      answer to --help or --version could not be written
  2   a wrong argument: a setting the program does not have, a setting without its value, a
      value not of its setting's kind (a port that is not a whole number from 1 to 65535), an
      option it does not know
  78  a fault that waiting cannot mend (a display name that names no server, a refused
      authorization, a screen it cannot draw on; a folder of the settings, keychain or cache
      that another user owns or can write): a supervisor should not restart it

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
  KT_SOUND_DEVICES=FOLDER  where sound cards are looked for (else /dev/snd)
  WAYLAND_DISPLAY          the Wayland display to show the window on (tried first)
  DISPLAY                  the X display to show the window on
  LANGUAGE                 the languages of the interface, e.g. zh_CN
)";
  return text.str();
}

std::optional<int> ProgramArguments::answer(const std::string& version, std::ostream& out, std::ostream& err) const {
  switch (m_request) {
    case Request::Run:
      return std::nullopt;
    case Request::Help:
    case Request::Version:
      errno = 0;
      out << (m_request == Request::Help ? helpText(version) : versionText(version)) << std::flush;
      if (!out) {
        const int error = errno;
        err << ProgramName << ": write error" << (error ? std::string(": ") + std::strerror(error) : "") << std::endl;
        return WriteFailedStatus;
      }
      return 0;
    case Request::Mistake:
      err << ProgramName << ": " << m_mistake << "; see '" << ProgramName << " --help'" << std::endl;
      return MistakeStatus;
  }
  return std::nullopt;
}

std::optional<int> ProgramArguments::answer(const std::string& version) const {
  const std::optional<int> status = answer(version, std::cout, std::cerr);
  if (status != 0) return status;
  // What is still buffered is written now and standard output closed, so that a write that fails
  // there (a full disk, a file system that reports at close) ends with a failure too.
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout) || ::close(STDOUT_FILENO) != 0) {
    const int error = errno;
    std::cerr << ProgramName << ": write error" << (error ? std::string(": ") + std::strerror(error) : "") << std::endl;
    return WriteFailedStatus;
  }
  return 0;
}

}  // namespace kt
