#include "venue/SoapService.h"

#include "venue/WebServer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <string>

using namespace venue;

namespace {

const std::string kSoap11Request =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
    "<soap:Body><GetAllFiles xmlns=\"http://venue.ktv/WebService/\"><bianHao>1001</bianHao></GetAllFiles>"
    "</soap:Body></soap:Envelope>";

std::string soap12Request(const std::string& operation, const std::string& params) {
  return "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
         "xmlns:w=\"http://venue.ktv/WebService/\"><s:Body><w:" +
         operation + ">" + params + "</w:" + operation + "></s:Body></s:Envelope>";
}

class SoapServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.start()); }

  httplib::Result post(const std::string& body, const std::string& type = "application/soap+xml; charset=utf-8") {
    httplib::Client client("127.0.0.1", m_server.port());
    return client.Post("/WebService.asmx", body, type.c_str());
  }

  WebServer m_server;
};

TEST_F(SoapServiceTest, AnswersInTheVersionOfTheRequest) {
  httplib::Result soap11 = post(kSoap11Request, "text/xml; charset=utf-8");
  ASSERT_TRUE(soap11);
  EXPECT_EQ(soap11->status, 200);
  EXPECT_EQ(soap11->get_header_value("Content-Type"), "text/xml; charset=utf-8");
  EXPECT_NE(soap11->body.find("<soap:Body><GetAllFilesResponse xmlns=\"http://venue.ktv/WebService/\">"
                              "<GetAllFilesResult><string>a.jpg</string><string>b.png</string>"),
            std::string::npos);

  httplib::Result soap12 = post(soap12Request("DeleteFile", "<w:FileName>nothing</w:FileName>"));
  ASSERT_TRUE(soap12);
  EXPECT_EQ(soap12->get_header_value("Content-Type"), "application/soap+xml; charset=utf-8");
  EXPECT_NE(soap12->body.find("<DeleteFileResult>NotFound</DeleteFileResult>"), std::string::npos);

  httplib::Result unknown = post(soap12Request("Format", ""));
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 500);
  EXPECT_NE(unknown->body.find("<soap12:Value>soap12:Sender</soap12:Value>"), std::string::npos);
  EXPECT_EQ(m_server.requestsTo("/WebService.asmx")[1].body,
            soap12Request("DeleteFile", "<w:FileName>nothing</w:FileName>"));
}

TEST_F(SoapServiceTest, ChunkedUploadsAssembleTheFile) {
  const std::string first = SoapService::base64("SQLite");
  const std::string second = SoapService::base64(" format 3");
  ASSERT_TRUE(post(soap12Request("UpLoadMovieDB", "<w:Bytes>" + first +
                                                      "</w:Bytes><w:Position>0</w:Position><w:FileName>m.db"
                                                      "</w:FileName><w:len>15</w:len>")));
  httplib::Result last = post(soap12Request(
      "UpLoadMovieDB",
      "<w:Bytes>" + second + "</w:Bytes><w:Position>6</w:Position><w:FileName>m.db</w:FileName><w:len>15</w:len>"));
  ASSERT_TRUE(last);
  EXPECT_NE(last->body.find("<UpLoadMovieDBResult>OK:15</UpLoadMovieDBResult>"), std::string::npos);
  EXPECT_EQ(m_server.soap().files()["movie/m.db"], "SQLite format 3");
  EXPECT_EQ(SoapService::unbase64(first), "SQLite");
  EXPECT_EQ(SoapService::unbase64("#"), std::nullopt);
}

TEST_F(SoapServiceTest, SwitchesApplyForTheirCount) {
  m_server.soap().setMode(SoapService::Mode::Chunked, 1);
  m_server.soap().setCookieOnNextReply("session=1");
  httplib::Result chunked = post(kSoap11Request, "text/xml");
  ASSERT_TRUE(chunked);
  EXPECT_EQ(chunked->get_header_value("Transfer-Encoding"), "chunked");
  EXPECT_EQ(chunked->get_header_value("Set-Cookie"), "session=1");
  httplib::Result plain = post(kSoap11Request, "text/xml");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->body, chunked->body);
  EXPECT_FALSE(plain->has_header("Transfer-Encoding"));
  EXPECT_FALSE(plain->has_header("Set-Cookie"));

  m_server.soap().requireBasic(std::make_pair(std::string("u"), std::string("p")));
  httplib::Result challenged = post(kSoap11Request, "text/xml");
  ASSERT_TRUE(challenged);
  EXPECT_EQ(challenged->status, 401);
  EXPECT_EQ(challenged->get_header_value("WWW-Authenticate"), "Basic realm=\"WebService\"");
}

}  // namespace
