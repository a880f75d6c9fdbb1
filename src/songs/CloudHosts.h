#pragma once

// The five fixed hosts of the cloud song service and the base addresses built on them. All are
// reached over "http" on the default port; tests and the run script map the names to a local
// stand-in through net::HostMap, so the addresses here never change.

#include <string>

namespace kt {

struct CloudHosts {
  static constexpr const char* binding = "bind.ktvcloud.example";
  static constexpr const char* interfaceHost = "api.ktvcloud.example";
  static constexpr const char* songList = "song.ktvcloud.example";
  static constexpr const char* search = "search.ktvcloud.example";
  static constexpr const char* singerImage = "img.ktvcloud.example";

  // "http://bind.ktvcloud.example/roominfo/": base of binding step 2; the path is the room token.
  static std::string bindingBase() { return std::string("http://") + binding + "/roominfo/"; }
  // "http://api.ktvcloud.example/interface/": base of every interface endpoint ("addsong.php").
  static std::string interfaceBase() { return std::string("http://") + interfaceHost + "/interface/"; }
  // The whole addresses of the song-list host, sent with an empty base.
  static std::string bannersAddress() { return std::string("http://") + songList + "/php/wxpic.php"; }
  static std::string bannerSongsAddress() { return std::string("http://") + songList + "/php/wxsong.php"; }
  // "http://search.ktvcloud.example/wxsearchservice.aspx": sent with an empty path, so the
  // request goes to this address with "/" appended; "op" picks the operation.
  static std::string searchBase() { return std::string("http://") + search + "/wxsearchservice.aspx"; }
  // "http://img.ktvcloud.example/ZiZezer/SingerImage/": singer pictures, name + ".jpg" follow.
  static std::string singerImageBase() { return std::string("http://") + singerImage + "/ZiZezer/SingerImage/"; }
};

}  // namespace kt
