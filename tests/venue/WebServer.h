#pragma once

// A stand-in for the venue web server's photo service: the page "GetPhoto.aspx", whose query
// key "Flag" selects what it returns, and the folder of singer pictures. Pictures are made
// in code (a colour from what was asked for, at the size asked for), so the same request
// always gets the same bytes and a changed modification time gets another picture. A staff
// photo shows the member's record id and the photo's place in the list of names ("1001 #2"), a
// head image the staff number.
//
//   GetPhoto.aspx?Flag=00&id=<dish>&width=<w>&height=<h>[&time=<t>]   the dish photo (JPEG)
//   GetPhoto.aspx?Flag=11&id=<staff>                 the staff member's photo names, "a.jpg,b.png,c.txt",
//                                                    or "Error" when there are none or the id is unknown
//   GetPhoto.aspx?Flag=21&id=<staff>/<name>          the photo's modification time, or "Error"
//   GetPhoto.aspx?Flag=12&id=<staff>/<name>&time=<t>&width=<w>&height=<h>   the photo (JPEG or PNG by
//                                                    its name; 404 "Error" for a name that is no photo)
//   GetPhoto.aspx?Flag=30&ID=<name>.jpg&Width=<w>&Height=<h>   the song picture (JPEG)
//   GetPhoto.aspx?Flag=98&ID=<staff number>&Width=<w>&Height=<h>   the staff head image (JPEG)
//   /singer/<name>.png                               the singer picture (PNG)
//   /WebService.asmx                                 the SOAP web service (venue/SoapService.h)
//   /images/<name>                                   the gallery: a picture in every format the
//                                                    client decodes (see venue/Gallery.h), 404 for
//                                                    a name it does not hold
//   /pages/<name>                                    the banner pages (see venue/BannerPages.h)
//   /clips/sample.mp4                                the stand-in clip (video/mp4): three seconds
//                                                    of moving test pattern with a tone, made at
//                                                    build time by kt_clip
//   /clips/broken.mp4                                an MP4 that cannot be decoded (video/mp4): the
//                                                    clip's first box, then scrambled bytes
//
// Gallery replies carry an ETag (a digest of the body) and "Cache-Control: max-age=<seconds>"
// (3600 unless set); a request whose If-None-Match holds the ETag (or "*") gets 304 with both
// headers and no body; a Range request gets that part (206) while If-Range, when sent, holds the
// ETag, else the whole picture. The faults of HttpPeer apply to the gallery too, under the endpoint name
// "images" or a picture's path ("/images/rgb.png"): slow replies, 404 or 500 (Fault::status),
// an HTML page instead of the picture (Fault::html), a body cut off after half its declared
// length (Fault::truncated), and a redirect to another picture (Fault::redirect("/images/...")).
//
// Query keys and the page name are matched without regard to case, as the real server does;
// the record keeps them as sent. Sizes are read as decimal numbers ("135.000000"), clamped to
// 1..2048, 100 when missing. Endpoint names for faults and the record: "Flag=00", "Flag=11",
// "Flag=12", "Flag=21", "Flag=30", "Flag=98", "singer", "images" and "pages".

#include "venue/HttpPeer.h"
#include "venue/SoapService.h"
#include "venue/VenueStaff.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace venue {

class WebServer : public HttpPeer {
 public:
  WebServer();
  ~WebServer() override;

  // --- staff photos -------------------------------------------------------------------------
  // The staff whose photos are served: by default its own copy of the standard staff file, where
  // "1001" has a.jpg, b.png and c.txt; "1002" has four photos with a space and Chinese letters in
  // their names, one with an upper-case extension, and one document; "1003" has none. Hand it
  // the room's staff (VenueRoom::staff()) to serve one venue.
  void setStaff(std::shared_ptr<VenueStaff> staff);
  std::shared_ptr<VenueStaff> staff() const;
  std::vector<StaffPhoto> staffPhotos(const std::string& staffId) const;
  void setStaffPhotos(const std::string& staffId, std::vector<StaffPhoto> photos);
  // Changes one photo's modification time; false when there is no such photo.
  bool setPhotoTime(const std::string& staffId, const std::string& name, const std::string& time);
  // What Flag 11 answers for the id.
  std::string photoNamesText(const std::string& staffId) const;

  // The picture bytes this server gives for a request of that kind (for comparing with what
  // a client decoded or cached).
  static std::string dishPhoto(const std::string& id, int width, int height, const std::string& time);
  // index: the photo's place in the member's list of names, from 0.
  static std::string staffPhoto(const std::string& staffId, const StaffPhoto& photo, std::size_t index, int width,
                                int height);
  static std::string headImage(const std::string& staffNumber, int width, int height);
  static std::string songPicture(const std::string& name, int width, int height);
  static std::string singerPicture(const std::string& name);

  // --- clips ----------------------------------------------------------------------------------
  // Where the build put the stand-in clip, and its bytes ("" when the file is missing).
  static std::string clipPath();
  static std::string clipBytes();
  static std::string brokenClipBytes();
  std::string clipAddress() const { return baseUrl() + "/clips/sample.mp4"; }
  std::string brokenClipAddress() const { return baseUrl() + "/clips/broken.mp4"; }

  // --- gallery --------------------------------------------------------------------------------
  // The max-age of gallery replies, in seconds.
  void setGalleryMaxAge(int seconds) { m_galleryMaxAge = seconds; }
  int galleryMaxAge() const { return m_galleryMaxAge; }

  // --- web service ----------------------------------------------------------------------------
  // The SOAP service at "/WebService.asmx" (venue/SoapService.h).
  SoapService& soap() { return m_soap; }

 protected:
  HttpReply handle(const RecordedRequest& request) override;
  std::string endpointOf(const RecordedRequest& request) const override;

 private:
  // The reply to a path under /clips/, or nothing for other paths.
  static std::optional<HttpReply> clipReply(const RecordedRequest& request);
  mutable std::mutex m_staffMutex;
  std::shared_ptr<VenueStaff> m_staff;
  std::atomic<int> m_galleryMaxAge{3600};
  SoapService m_soap;
};

}  // namespace venue
