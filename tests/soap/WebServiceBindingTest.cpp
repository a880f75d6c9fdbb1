#include "soap/WebServiceBinding.h"

#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/core/UserDefaults.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"
#include "soap/SOAPFault.h"
#include "soap/WebService.h"
#include "soap/WebServiceBindingResponse.h"
#include "soap/WebServiceEnvelope.h"
#include "soap/WebServiceMessages.h"
#include "support/RunUntil.h"
#include "support/TempHome.h"
#include "venue/Gate.h"
#include "venue/WebServer.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kt {
namespace {

using Response = std::shared_ptr<WebServiceBindingResponse>;
using venue::SoapService;

// Records every end it is told of.
class Recorder : public WebServiceBindingResponseDelegate {
 public:
  void operation(const std::shared_ptr<WebServiceBindingOperation>& operation, const Response& response) override {
    ends.push_back({operation, response});
    if (then) then(operation, response);
  }

  struct End {
    std::shared_ptr<WebServiceBindingOperation> operation;
    Response response;
  };
  std::vector<End> ends;
  std::function<void(const std::shared_ptr<WebServiceBindingOperation>&, const Response&)> then;
};

template <class T>
std::shared_ptr<T> partAt(const Response& response, size_t index = 0) {
  if (!response || !response->bodyParts() || response->bodyParts()->size() <= index) return nullptr;
  const auto& part = (*response->bodyParts())[index];
  if constexpr (std::is_same_v<T, SOAPFault>) {
    const auto* fault = std::get_if<std::shared_ptr<SOAPFault>>(&part);
    return fault ? *fault : nullptr;
  } else {
    const auto* element = std::get_if<std::shared_ptr<WSElement>>(&part);
    return element ? std::dynamic_pointer_cast<T>(*element) : nullptr;
  }
}

std::shared_ptr<WebService_GetAllFiles> listOf(const std::string& record) {
  auto request = std::make_shared<WebService_GetAllFiles>();
  request->setBianHao(record);
  return request;
}

std::shared_ptr<WebService_DeleteFile> deleteOf(const std::string& name) {
  auto request = std::make_shared<WebService_DeleteFile>();
  request->setFileName(name);
  request->setFlag(1);
  return request;
}

std::vector<std::string> namesIn(const Response& response) {
  auto reply = partAt<WebService_GetAllFilesResponse>(response);
  if (!reply || !reply->GetAllFilesResult()) return {"(no list)"};
  return reply->GetAllFilesResult()->string();
}

// A loopback port with nothing listening on it.
int closedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

class WebServiceBindingTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.start());
    core::UserDefaults::standard().setString("webService_Port", std::to_string(m_server.port()));
    m_binding = WebService::WebServiceSoapBinding("127.0.0.1");
  }

  SoapService& soap() { return m_server.soap(); }
  std::vector<venue::RecordedRequest> calls() const { return m_server.requestsTo("/WebService.asmx"); }

  venue::WebServer m_server;
  std::shared_ptr<WebServiceBinding> m_binding;
};

TEST_F(WebServiceBindingTest, TheFactoryAddressAndReinitialisation) {
  const std::string port = std::to_string(m_server.port());
  EXPECT_EQ(m_binding->address()->absoluteString(), "http://127.0.0.1:" + port + "/WebService.asmx");
  EXPECT_EQ(&m_binding->names(), &WebServiceBindingNames::Soap);
  EXPECT_EQ(&WebService::WebServiceSoap12Binding("h")->names(), &WebServiceBindingNames::Soap12);

  m_binding->setDefaultTimeout(3);
  m_binding->setLogXMLInOut(true);
  m_binding->addCookie(net::HTTPCookie("a", "1", "127.0.0.1"));
  m_binding->setAuthUsername("staff");
  m_binding->initWithAddress("http://127.0.0.1/WebService.asmx");
  EXPECT_EQ(m_binding->address()->absoluteString(), "http://127.0.0.1/WebService.asmx");
  EXPECT_EQ(m_binding->defaultTimeout(), 10.0);
  EXPECT_FALSE(m_binding->logXMLInOut());
  EXPECT_FALSE(m_binding->cookies());
  EXPECT_EQ(m_binding->authUsername(), "staff");

  m_binding->initWithAddress("not a url");
  EXPECT_FALSE(m_binding->address());

  // Without a web port the address has none, rather than text that is no URL.
  core::UserDefaults::standard().removeObjectForKey("webService_Port");
  EXPECT_EQ(WebService::WebServiceSoapBinding("10.0.0.8")->address()->absoluteString(),
            "http://10.0.0.8/WebService.asmx");
}

// A web port that is no port gave an address to port 0; past 65535 it gave no address without a
// word. The binding is left without one, and the log says which setting is wrong.
TEST_F(WebServiceBindingTest, AWebPortOutsideOneTo65535LeavesTheBindingWithoutAnAddress) {
  std::vector<std::string> lines;
  core::LogSink previous = core::setLogSink([&lines](const std::string& line) { lines.push_back(line); });
  for (const char* port : {"0", "65536", "70000", "-1", "8080x"}) {
    SCOPED_TRACE(port);
    core::UserDefaults::standard().setString("webService_Port", port);
    lines.clear();
    EXPECT_FALSE(WebService::WebServiceSoapBinding("10.0.0.8")->address());
    EXPECT_EQ(lines, (std::vector<std::string>{"The setting webService_Port (" + std::string(port) +
                                               ") is not a port from 1 to 65535: the web service has no address"}));
  }
  core::setLogSink(previous);
  core::UserDefaults::standard().setString("webService_Port", "65535");
  EXPECT_EQ(WebService::WebServiceSoap12Binding("10.0.0.8")->address()->absoluteString(),
            "http://10.0.0.8:65535/WebService.asmx");
}

TEST_F(WebServiceBindingTest, TheRequestCarriesItsHeadersInOrder) {
  m_binding->addCookie(net::HTTPCookie("a", "1", "127.0.0.1"));
  m_binding->addCookie(std::nullopt);
  net::URLRequest request = m_binding->requestWithBody("舞台", "urn:x#Op");
  const net::HeaderFields expected = {{"Cookie", "a=1"},
                                      {"User-Agent", "WSClient"},
                                      {"SOAPAction", "urn:x#Op"},
                                      {"Content-Type", "application/soap+xml; charset=utf-8"},
                                      {"Content-Length", "6"},
                                      {"Host", "127.0.0.1"}};
  EXPECT_EQ(request.allHTTPHeaderFields(), expected);
  EXPECT_EQ(request.HTTPMethod(), "POST");
  EXPECT_EQ(request.HTTPBody(), "舞台");
  EXPECT_EQ(request.timeoutInterval(), 10.0);
  EXPECT_EQ(request.cachePolicy(), net::URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData);
}

// Every operation of both families goes out as its envelope, with the headers the server sees,
// and comes back as its reply element.
TEST_F(WebServiceBindingTest, EveryOperationRoundTripsInBothFamilies) {
  for (const WebServiceBindingNames* names : {&WebServiceBindingNames::Soap, &WebServiceBindingNames::Soap12}) {
    SCOPED_TRACE(names->binding);
    auto binding = WebServiceBinding::create(*names);
    binding->setAddress(m_binding->address());
    m_server.clearRequests();
    const std::string photo("\x89PNG\r\n\x1a\n\x00\x01\x02", 11);

    auto upload = std::make_shared<WebService_UploadFileBytes>();
    upload->setBytes(photo);
    upload->setFileName("2001/舞台 & 灯.png");
    upload->setFlag(1);
    auto uploaded = partAt<WebService_UploadFileBytesResponse>(binding->UploadFileBytesUsingParameters(upload));
    ASSERT_TRUE(uploaded);
    EXPECT_EQ(uploaded->UploadFileBytesResult(), "OK");
    EXPECT_EQ(soap().files()["2001/舞台 & 灯.png"], photo);

    auto chunk = std::make_shared<WebService_UploadFileChunkBytes>();
    chunk->setBytes("tail");
    chunk->setPosition(11);
    chunk->setFileName("2001/舞台 & 灯.png");
    chunk->setFlag(1);
    auto chunked = partAt<WebService_UploadFileChunkBytesResponse>(binding->UploadFileChunkBytesUsingParameters(chunk));
    ASSERT_TRUE(chunked);
    EXPECT_EQ(chunked->UploadFileChunkBytesResult(), "15");

    auto download = std::make_shared<WebService_DownloadFileBytes>();
    download->setFileName("2001/舞台 & 灯.png");
    download->setFlag(1);
    auto downloaded = partAt<WebService_DownloadFileBytesResponse>(binding->DownloadFileBytesUsingParameters(download));
    ASSERT_TRUE(downloaded);
    EXPECT_EQ(downloaded->DownloadFileBytesResult(), photo + "tail");

    EXPECT_EQ(namesIn(binding->GetAllFilesUsingParameters(listOf("2001"))),
              std::vector<std::string>{"舞台 & 灯.png"});
    auto deleted =
        partAt<WebService_DeleteFileResponse>(binding->DeleteFileUsingParameters(deleteOf("2001/舞台 & 灯.png")));
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->DeleteFileResult(), "OK");

    auto movie = std::make_shared<WebService_UpLoadMovieDB>();
    movie->setBytes("SQLite");
    movie->setPosition(0);
    movie->setFileName("songs.db");
    movie->setLen(6);
    auto movieReply = partAt<WebService_UpLoadMovieDBResponse>(binding->UpLoadMovieDBUsingParameters(movie));
    ASSERT_TRUE(movieReply);
    EXPECT_EQ(movieReply->UpLoadMovieDBResult(), "OK:6");

    auto wine = std::make_shared<WebService_UpStoreWineImage>();
    wine->setBytes("ab");
    wine->setPosition(0);
    wine->setFileName("红酒.jpg");
    wine->setLen(4);
    auto wineReply = partAt<WebService_UpStoreWineImageResponse>(binding->UpStoreWineImageUsingParameters(wine));
    ASSERT_TRUE(wineReply);
    EXPECT_EQ(wineReply->UpStoreWineImageResult(), "2");

    const std::vector<std::pair<std::string, std::shared_ptr<WSElement>>> sent = {
        {"UploadFileBytes", upload},        {"UploadFileChunkBytes", chunk}, {"DownloadFileBytes", download},
        {"GetAllFiles", listOf("2001")},    {"DeleteFile", deleteOf("2001/舞台 & 灯.png")},
        {"UpLoadMovieDB", movie},           {"UpStoreWineImage", wine}};
    const std::vector<venue::RecordedRequest> requests = calls();
    ASSERT_EQ(requests.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
      SCOPED_TRACE(sent[i].first);
      const venue::RecordedRequest& r = requests[i];
      EXPECT_EQ(r.line(), "POST /WebService.asmx HTTP/1.1");
      EXPECT_EQ(r.body, WebServiceEnvelope::sharedInstance().serializedFormUsingHeaderElements(
                            {}, {{sent[i].first, WSObject(sent[i].second)}}));
      EXPECT_EQ(r.header("SOAPAction"), "http://venue.ktv/WebService/" + sent[i].first);
      EXPECT_EQ(r.header("Content-Type"), "application/soap+xml; charset=utf-8");
      EXPECT_EQ(r.header("Content-Length"), std::to_string(r.body.size()));
      EXPECT_EQ(r.header("User-Agent"), "WSClient");
      EXPECT_EQ(r.header("Host"), "127.0.0.1");
      EXPECT_EQ(r.header("Cookie"), std::nullopt);
    }
  }
}

TEST_F(WebServiceBindingTest, AnAsynchronousCallEndsOnceOnTheRunLoop) {
  auto recorder = std::make_shared<Recorder>();
  m_binding->GetAllFilesAsyncUsingParameters(listOf("1001"), recorder);
  EXPECT_TRUE(recorder->ends.empty());
  ASSERT_TRUE(support::runUntil([&] { return !recorder->ends.empty(); }));
  support::drainMainLoop();
  ASSERT_EQ(recorder->ends.size(), 1u);
  EXPECT_EQ(namesIn(recorder->ends[0].response), (std::vector<std::string>{"a.jpg", "b.png"}));
  EXPECT_EQ(recorder->ends[0].operation->response(), recorder->ends[0].response);
  EXPECT_TRUE(recorder->ends[0].operation->isComplete());

  // Without a delegate (or with one that has gone) the call still runs to its end.
  auto gone = std::make_shared<Recorder>();
  std::weak_ptr<Recorder> weak = gone;
  gone.reset();
  m_binding->DeleteFileAsyncUsingParameters(deleteOf("1002/head.png"), weak);
  ASSERT_TRUE(support::runUntil([&] { return !soap().files().count("1002/head.png"); }));
}

TEST_F(WebServiceBindingTest, ACallWithoutAUsableAddressEndsWithAnError) {
  m_binding->initWithAddress("no address");
  Response response = m_binding->GetAllFilesUsingParameters(listOf("1001"));
  ASSERT_TRUE(response && response->error());
  EXPECT_EQ(response->error()->domain(), net::URLError::Domain);
  EXPECT_EQ(response->error()->code(), net::URLError::BadURL);
  EXPECT_FALSE(response->bodyParts());

  auto recorder = std::make_shared<Recorder>();
  m_binding->GetAllFilesAsyncUsingParameters(listOf("1001"), recorder);
  EXPECT_TRUE(recorder->ends.empty());  // told later, on the loop, not from inside the call
  ASSERT_TRUE(support::runUntil([&] { return !recorder->ends.empty(); }));
  support::drainMainLoop();
  EXPECT_EQ(recorder->ends.size(), 1u);

  m_binding->initWithAddress("http://127.0.0.1:" + std::to_string(closedPort()) + "/WebService.asmx");
  response = m_binding->GetAllFilesUsingParameters(listOf("1001"));
  ASSERT_TRUE(response->error());
  EXPECT_EQ(response->error()->code(), net::URLError::CannotConnectToHost);
}

TEST_F(WebServiceBindingTest, ASilentServerEndsTheCallAtTheTimeOut) {
  m_server.setFault("/WebService.asmx", venue::Fault::slow(std::chrono::minutes(5)));
  m_binding->setDefaultTimeout(0.3);
  Response response = m_binding->GetAllFilesUsingParameters(listOf("1001"));
  ASSERT_TRUE(response->error());
  EXPECT_EQ(response->error()->domain(), net::URLError::Domain);
  EXPECT_EQ(response->error()->code(), net::URLError::TimedOut);
  EXPECT_FALSE(response->bodyParts());

  auto recorder = std::make_shared<Recorder>();
  m_binding->GetAllFilesAsyncUsingParameters(listOf("1001"), recorder);
  ASSERT_TRUE(support::runUntil([&] { return !recorder->ends.empty(); }));
  support::drainMainLoop();
  ASSERT_EQ(recorder->ends.size(), 1u);
  EXPECT_EQ(recorder->ends[0].response->error()->code(), net::URLError::TimedOut);
}

TEST_F(WebServiceBindingTest, RepliesThatAreNotSoapAreRefusedByTheirType) {
  struct Case {
    SoapService::Mode mode;
    int64_t code;
    std::string description;
  };
  const std::vector<Case> cases = {
      {SoapService::Mode::Html, 1, "Unexpected response MIME type to SOAP call:text/html"},
      {SoapService::Mode::NotFound, 404, net::HTTPURLResponse::localizedStringForStatusCode(404)},
      {SoapService::Mode::UpperCaseType, 1, "Unexpected response MIME type to SOAP call:Application/SOAP+XML"},
  };
  for (const WebServiceBindingNames* names : {&WebServiceBindingNames::Soap, &WebServiceBindingNames::Soap12}) {
    auto binding = WebServiceBinding::create(*names);
    binding->setAddress(m_binding->address());
    for (const Case& c : cases) {
      SCOPED_TRACE(c.description);
      soap().setMode(c.mode, 1);
      Response response = binding->GetAllFilesUsingParameters(listOf("1001"));
      ASSERT_TRUE(response->error());
      EXPECT_EQ(response->error()->domain(), names->httpErrorDomain);
      EXPECT_EQ(response->error()->code(), c.code);
      EXPECT_EQ(response->error()->localizedDescription(), c.description);
      EXPECT_FALSE(response->bodyParts());
    }
  }
}

TEST_F(WebServiceBindingTest, FaultsWithTheSoapTypeAreReadWhateverTheStatus) {
  soap().setFaultMessage("文件被占用: the file is in use");
  soap().setMode(SoapService::Mode::Soap12Fault, 1);
  Response response = m_binding->DeleteFileUsingParameters(deleteOf("1001/a.jpg"));
  EXPECT_FALSE(response->error());
  auto fault = partAt<SOAPFault>(response);
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->faultcode(), "soap12:Receiver");
  EXPECT_EQ(fault->simpleFaultString(), "文件被占用: the file is in use");

  soap().setMode(SoapService::Mode::Soap11Fault, 1);
  fault = partAt<SOAPFault>(m_binding->DeleteFileUsingParameters(deleteOf("1001/a.jpg")));
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->faultcode(), "soap:Server");
  EXPECT_EQ(fault->detail(), std::nullopt);
  EXPECT_EQ(fault->simpleFaultString(), "文件被占用: the file is in use");

  // The file was not touched by the faulted calls.
  EXPECT_TRUE(soap().files().count("1001/a.jpg"));
}

TEST_F(WebServiceBindingTest, BodiesThatCannotBeReadEndTheCallWithTheXmlError) {
  for (SoapService::Mode mode : {SoapService::Mode::EmptyBody, SoapService::Mode::Malformed}) {
    soap().setMode(mode, 1);
    Response response = m_binding->GetAllFilesUsingParameters(listOf("1001"));
    ASSERT_TRUE(response->error());
    EXPECT_EQ(response->error()->domain(), "WebServiceSoapBindingResponseXML");
    EXPECT_EQ(response->error()->code(), 1);
    EXPECT_FALSE(response->bodyParts());
  }
  auto recorder = std::make_shared<Recorder>();
  soap().setMode(SoapService::Mode::EmptyBody, 1);
  m_binding->GetAllFilesAsyncUsingParameters(listOf("1001"), recorder);
  ASSERT_TRUE(support::runUntil([&] { return !recorder->ends.empty(); }));
  support::drainMainLoop();
  EXPECT_EQ(recorder->ends.size(), 1u);
}

TEST_F(WebServiceBindingTest, BodiesInPiecesOrIndentedReadTheSame) {
  for (SoapService::Mode mode : {SoapService::Mode::Chunked, SoapService::Mode::Indented}) {
    soap().setMode(mode, 1);
    EXPECT_EQ(namesIn(m_binding->GetAllFilesUsingParameters(listOf("1002"))),
              (std::vector<std::string>{"head.png", "舞台照.jpg"}));
  }
}

TEST_F(WebServiceBindingTest, AChallengeIsAnsweredOnceWithTheBindingsCredentials) {
  soap().requireBasic(std::make_pair(std::string("staff"), std::string("s3cret")));
  m_binding->setAuthUsername("staff");
  m_binding->setAuthPassword("s3cret");
  EXPECT_EQ(namesIn(m_binding->GetAllFilesUsingParameters(listOf("1001"))),
            (std::vector<std::string>{"a.jpg", "b.png"}));
  std::vector<venue::RecordedRequest> requests = calls();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].header("Authorization"), std::nullopt);
  EXPECT_EQ(requests[1].header("Authorization"), "Basic c3RhZmY6czNjcmV0");
  EXPECT_EQ(requests[1].body, requests[0].body);

  // Refused again: the call ends with the authentication error after the second challenge.
  m_server.clearRequests();
  m_binding->setAuthPassword("wrong");
  Response response = m_binding->GetAllFilesUsingParameters(listOf("1001"));
  ASSERT_TRUE(response->error());
  EXPECT_EQ(response->error()->domain(), "Connection Authentication");
  EXPECT_EQ(response->error()->code(), 0);
  EXPECT_EQ(response->error()->localizedDescription(), "Authentication Error");
  EXPECT_FALSE(response->bodyParts());
  EXPECT_EQ(calls().size(), 2u);

  // Without credentials the first challenge is answered with empty ones.
  m_server.clearRequests();
  m_binding->setAuthUsername(std::nullopt);
  m_binding->setAuthPassword(std::nullopt);
  auto recorder = std::make_shared<Recorder>();
  m_binding->GetAllFilesAsyncUsingParameters(listOf("1001"), recorder);
  ASSERT_TRUE(support::runUntil([&] { return !recorder->ends.empty(); }));
  support::drainMainLoop();
  ASSERT_EQ(recorder->ends.size(), 1u);
  EXPECT_EQ(recorder->ends[0].response->error()->localizedDescription(), "Authentication Error");
  ASSERT_EQ(calls().size(), 2u);
  EXPECT_EQ(calls()[1].header("Authorization"), "Basic Og==");
}

TEST_F(WebServiceBindingTest, EachReplyReplacesTheCookies) {
  m_binding->addCookie(net::HTTPCookie("lang", "zh", "127.0.0.1"));
  soap().setCookieOnNextReply("session=abc123; Path=/; HttpOnly");
  m_binding->GetAllFilesUsingParameters(listOf("1001"));
  ASSERT_TRUE(m_binding->cookies());
  ASSERT_EQ(m_binding->cookies()->size(), 1u);
  EXPECT_EQ((*m_binding->cookies())[0].name(), "session");
  EXPECT_EQ((*m_binding->cookies())[0].value(), "abc123");

  m_binding->GetAllFilesUsingParameters(listOf("1001"));
  ASSERT_TRUE(m_binding->cookies());
  EXPECT_TRUE(m_binding->cookies()->empty());
  m_binding->GetAllFilesUsingParameters(listOf("1001"));

  std::vector<venue::RecordedRequest> requests = calls();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].header("Cookie"), "lang=zh");
  EXPECT_EQ(requests[1].header("Cookie"), "session=abc123");
  EXPECT_EQ(requests[2].header("Cookie"), std::nullopt);
}

// The wait of a synchronous call ends with its own call, not with another one that ends
// meanwhile on the same binding.
TEST_F(WebServiceBindingTest, ANestedSynchronousCallDoesNotEndTheOuterWait) {
  venue::WebServer held;
  ASSERT_TRUE(held.start());
  held.setFault("/WebService.asmx", venue::Fault::slow(std::chrono::minutes(5)));
  const std::optional<net::URL> quick = m_binding->address();
  const std::optional<net::URL> slow =
      net::URL::fromString("http://127.0.0.1:" + std::to_string(held.port()) + "/WebService.asmx");

  Response inner;
  auto recorder = std::make_shared<Recorder>();
  recorder->then = [&](const auto&, const auto&) {
    m_binding->setAddress(quick);
    inner = m_binding->GetAllFilesUsingParameters(listOf("1001"));
    held.stop();  // the outer call's server goes away only now
  };
  m_binding->GetAllFilesAsyncUsingParameters(listOf("1001"), recorder);
  m_binding->setAddress(slow);
  Response outer = m_binding->GetAllFilesUsingParameters(listOf("1002"));

  ASSERT_EQ(recorder->ends.size(), 1u);
  EXPECT_EQ(namesIn(inner), (std::vector<std::string>{"a.jpg", "b.png"}));
  ASSERT_TRUE(outer->error());
  EXPECT_EQ(outer->error()->domain(), net::URLError::Domain);
}

// A stop of the main loop (a termination signal) while a synchronous call waits for a server
// that does not answer ends the call as cancelled, and the run the stop was meant for returns
// too instead of going on once the call has timed out.
TEST_F(WebServiceBindingTest, AStopWhileASynchronousCallWaitsCancelsItAndEndsTheOuterRun) {
  auto gate = std::make_shared<venue::Gate>();
  m_server.setFault("/WebService.asmx", venue::Fault::heldBy(gate));
  m_binding->setDefaultTimeout(30);
  core::RunLoop& loop = core::RunLoop::main();
  auto keepAlive = core::Timer::create(3600, false, [](core::Timer&) {});
  loop.addTimer(keepAlive);

  Response response;
  loop.performAfterDelay({}, 0, [&] { response = m_binding->GetAllFilesUsingParameters(listOf("1001")); });
  std::mutex mutex;
  std::condition_variable changed;
  bool returned = false, arrived = false, late = false;
  std::thread stopper([&] {
    arrived = gate->waitForArrived(1, 10);
    loop.stop();
    std::unique_lock lock(mutex);
    if (changed.wait_for(lock, std::chrono::seconds(10), [&] { return returned; })) return;
    // Failure bound: the reply goes and the loop is stopped until the test can report.
    late = true;
    gate->open();
    while (!changed.wait_for(lock, std::chrono::milliseconds(20), [&] { return returned; })) loop.stop();
  });
  const core::RunLoop::RunResult result = loop.runInMode(core::RunLoop::DefaultMode, HUGE_VAL);
  {
    std::lock_guard lock(mutex);
    returned = true;
  }
  changed.notify_all();
  stopper.join();
  keepAlive->invalidate();

  EXPECT_TRUE(arrived) << "the request never reached the server";
  EXPECT_FALSE(late) << "the outer run went on after the stop";
  EXPECT_EQ(result, core::RunLoop::RunResult::Stopped);
  ASSERT_TRUE(response && response->error());
  EXPECT_EQ(response->error()->domain(), net::URLError::Domain);
  EXPECT_EQ(response->error()->code(), net::URLError::Cancelled);
  EXPECT_FALSE(response->bodyParts());
}

TEST_F(WebServiceBindingTest, LoggingWritesRequestAndReply) {
  std::vector<std::string> lines;
  core::LogSink previous = core::setLogSink([&](const std::string& line) { lines.push_back(line); });
  m_binding->setLogXMLInOut(true);
  m_binding->GetAllFilesUsingParameters(listOf("1001"));
  soap().setMode(SoapService::Mode::Html, 1);
  m_binding->GetAllFilesUsingParameters(listOf("1001"));
  core::setLogSink(previous);

  const std::vector<venue::RecordedRequest> requests = calls();
  ASSERT_EQ(requests.size(), 2u);
  auto has = [&](const std::string& text) { return std::find(lines.begin(), lines.end(), text) != lines.end(); };
  auto starts = [&](const std::string& head) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(head, 0) == 0; });
  };
  EXPECT_TRUE(has("OutputBody:\n" + requests[0].body));
  EXPECT_EQ(starts("OutputHeaders:\n"), 2);
  EXPECT_EQ(starts("ResponseStatus: 200\n"), 2);
  EXPECT_EQ(starts("ResponseHeaders:\n"), 2);
  EXPECT_EQ(starts("ResponseBody:\n<?xml"), 1);
  EXPECT_EQ(starts("ResponseError:\n"), 1);
}

// With logging on, the credentials a call carries reach the server but not the log: the Basic
// answer to a challenge, the cookies sent and those a reply sets.
TEST_F(WebServiceBindingTest, LoggingShowsNoCredentials) {
  soap().requireBasic(std::make_pair(std::string("staff"), std::string("s3cret")));
  m_binding->setAuthUsername("staff");
  m_binding->setAuthPassword("s3cret");
  m_binding->addCookie(net::HTTPCookie("session", "abc123", "127.0.0.1"));
  soap().setCookieOnNextReply("session=def456; Path=/; HttpOnly");
  m_binding->setLogXMLInOut(true);
  std::vector<std::string> lines;
  core::LogSink previous = core::setLogSink([&](const std::string& line) { lines.push_back(line); });
  EXPECT_EQ(namesIn(m_binding->GetAllFilesUsingParameters(listOf("1001"))),
            (std::vector<std::string>{"a.jpg", "b.png"}));
  core::setLogSink(previous);

  const std::vector<venue::RecordedRequest> requests = calls();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].header("Authorization"), "Basic c3RhZmY6czNjcmV0");
  EXPECT_EQ(requests[0].header("Cookie"), "session=abc123");
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    for (const char* secret : {"s3cret", "c3RhZmY6czNjcmV0", "abc123", "def456"})
      EXPECT_EQ(line.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
}  // namespace kt
