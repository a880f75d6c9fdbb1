#pragma once

// A stand-in for the venue web service at "/WebService.asmx" of the venue web server (see
// WebServer.h, which routes the path here). It reads SOAP 1.1 and SOAP 1.2 requests (the
// envelope's namespace tells which) and answers in the same version: SOAP 1.2 with the type
// "application/soap+xml; charset=utf-8", SOAP 1.1 with "text/xml; charset=utf-8".
//
// The seven operations work on files the service keeps in memory, named "<record>/<name>"
// (the record being the staff record id the list operation takes as "bianHao"):
//   UploadFileBytes(Bytes, FileName, flag)              stores the file;       "OK"
//   UploadFileChunkBytes(Bytes, Position, FileName, flag)  writes at Position (0 starts the file
//                                                       afresh); the file's length in bytes
//   DownloadFileBytes(FileName, flag)                   the file as Base64; no result for a
//                                                       file it does not hold
//   DeleteFile(FileName, flag)                          "OK", or "NotFound"
//   GetAllFiles(bianHao)                                the names under the record, as
//                                                       "string" children of the result
//   UpLoadMovieDB(Bytes, Position, FileName, len)       like the chunk upload, into "movie/";
//   UpStoreWineImage(Bytes, Position, FileName, len)    into "wine/"; both answer "OK:<length>"
//                                                       once the file has its full length (len),
//                                                       else "<length>"
// An unknown operation or an envelope it cannot read gets a SOAP fault with status 500.
//
// Switches (what the tests of the client need beyond HttpPeer's own faults, which apply too,
// under the path "/WebService.asmx": a reply held back past the client's time-out is
// Fault::slow): the reply modes below, HTTP Basic authentication, and a cookie on one reply.
// Every request is recorded by the peer exactly as received (WebServer::requestsTo).

#include "venue/HttpPeer.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace venue {

class SoapService {
 public:
  // The service's target namespace, which prefixes every SOAPAction.
  static constexpr const char* kNamespace = "http://venue.ktv/WebService/";

  enum class Mode {
    Normal,         // the operation's reply
    Soap12Fault,    // 500 with a SOAP 1.2 fault (type application/soap+xml)
    Soap11Fault,    // 500 with a SOAP 1.1 fault, under the type of the request's version
    Html,           // 200 with an HTML page (text/html)
    NotFound,       // 404 with an HTML page (text/html)
    UpperCaseType,  // the operation's reply with the type "Application/SOAP+XML"
    EmptyBody,      // 200 application/soap+xml without any body bytes
    Malformed,      // 200 application/soap+xml with an envelope cut off in the middle
    Chunked,        // the operation's reply sent chunked, a few bytes per chunk
    Indented,       // the operation's reply written with line breaks and indentation
  };

  SoapService();

  // The mode for the next `times` requests (-1: until changed), then Normal again.
  void setMode(Mode mode, int times = -1);
  // The fault text of the fault modes (the server's message; the stand-in puts its exception
  // name in front and a stack trace behind, as the real server does).
  void setFaultMessage(const std::string& message);

  // Basic authentication: requests without "Authorization: Basic <user:password>" get 401 with
  // a Basic challenge (realm "WebService"). Unset: no authentication.
  void requireBasic(const std::optional<std::pair<std::string, std::string>>& credentials);
  // A Set-Cookie field (for example "session=abc; Path=/") on the next reply only.
  void setCookieOnNextReply(const std::string& cookie);

  // The files held, by "<record>/<name>".
  std::map<std::string, std::string> files() const;
  void setFile(const std::string& name, const std::string& bytes);

  // The answer to a request of the path.
  HttpReply handle(const RecordedRequest& request);

  // Base64 as the stand-in writes and reads it (standard alphabet, padded).
  static std::string base64(const std::string& bytes);
  static std::optional<std::string> unbase64(const std::string& text);

 private:
  struct Call;
  HttpReply answer(const Call& call, bool indented);
  HttpReply fault(bool soap12, bool soap12Type, const std::string& code, const std::string& message) const;
  std::string reply(const Call& call, const std::string& resultXml, bool indented) const;
  // Writes at a position of a file; its length after.
  size_t writeAt(const std::string& name, const std::string& bytes, long long position);

  mutable std::mutex m_mutex;
  Mode m_mode = Mode::Normal;
  int m_modeTimes = -1;
  std::string m_faultMessage = "The file is locked by another client.";
  std::optional<std::pair<std::string, std::string>> m_credentials;
  std::optional<std::string> m_cookie;
  std::map<std::string, std::string> m_files;
};

}  // namespace venue
