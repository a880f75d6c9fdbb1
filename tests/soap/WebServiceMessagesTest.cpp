#include "soap/WebServiceMessages.h"

#include "soap/WebService.h"
#include "soap/WebServiceEnvelope.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <functional>
#include <string>

namespace kt {
namespace {

// The start of every envelope the client writes.
const std::string kHead =
    "<?xml version=\"1.0\"?>\n"
    "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:WebService=\"http://venue.ktv/WebService/\" "
    "xsl:version=\"1.0\"";

std::string envelopeWithBody(const std::string& body) {
  return kHead + ">\n  <soap:Body>\n" + body + "  </soap:Body>\n</soap:Envelope>\n";
}

std::string envelopeOf(const std::string& name, std::shared_ptr<WSElement> element) {
  return WebServiceEnvelope::sharedInstance().serializedFormUsingHeaderElements({}, {{name, WSObject(element)}});
}

// A reply element parsed from XML text.
template <class T>
std::shared_ptr<T> parsed(const std::string& xml) {
  xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, XML_PARSE_NONET);
  EXPECT_TRUE(doc);
  if (!doc) return nullptr;
  auto element = T::deserializeNode(xmlDocGetRootElement(doc));
  xmlFreeDoc(doc);
  return element;
}

class WebServiceMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { WebService::initialize(); }
};

// The envelope of each of the seven operations, byte for byte: fields in their order, names as
// the service spells them, bytes as Base64, numbers in decimal, text escaped once and every
// character outside ASCII as a character reference.
TEST_F(WebServiceMessagesTest, EachOperationHasItsExactEnvelope) {
  const std::string png("\x89PNG\r\n\x1a\n", 8);
  struct Case {
    std::string name;
    std::function<std::shared_ptr<WSElement>()> make;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"UploadFileBytes",
       [&] {
         auto r = std::make_shared<WebService_UploadFileBytes>();
         r->setBytes(png);
         r->setFileName("1001/舞台照.jpg");
         r->setFlag(1);
         return r;
       },
       "    <WebService:UploadFileBytes>\n"
       "      <WebService:Bytes>iVBORw0KGgo=</WebService:Bytes>\n"
       "      <WebService:FileName>1001/&#x821E;&#x53F0;&#x7167;.jpg</WebService:FileName>\n"
       "      <WebService:flag>1</WebService:flag>\n"
       "    </WebService:UploadFileBytes>\n"},
      {"UploadFileChunkBytes",
       [&] {
         auto r = std::make_shared<WebService_UploadFileChunkBytes>();
         r->setBytes(std::string("\x00\xff\x10", 3));
         r->setPosition(1048576);
         r->setFileName("a&b <c>.jpg");
         r->setFlag(0);
         return r;
       },
       "    <WebService:UploadFileChunkBytes>\n"
       "      <WebService:Bytes>AP8Q</WebService:Bytes>\n"
       "      <WebService:Position>1048576</WebService:Position>\n"
       "      <WebService:FileName>a&amp;b &lt;c&gt;.jpg</WebService:FileName>\n"
       "      <WebService:flag>0</WebService:flag>\n"
       "    </WebService:UploadFileChunkBytes>\n"},
      {"DownloadFileBytes",
       [&] {
         auto r = std::make_shared<WebService_DownloadFileBytes>();
         r->setFileName("1001/a.jpg");
         r->setFlag(2);
         return r;
       },
       "    <WebService:DownloadFileBytes>\n"
       "      <WebService:FileName>1001/a.jpg</WebService:FileName>\n"
       "      <WebService:flag>2</WebService:flag>\n"
       "    </WebService:DownloadFileBytes>\n"},
      {"DeleteFile",
       [&] {
         auto r = std::make_shared<WebService_DeleteFile>();
         r->setFileName("\"quoted\" 'name'");
         return r;
       },
       "    <WebService:DeleteFile>\n"
       "      <WebService:FileName>\"quoted\" 'name'</WebService:FileName>\n"
       "    </WebService:DeleteFile>\n"},
      {"GetAllFiles",
       [&] {
         auto r = std::make_shared<WebService_GetAllFiles>();
         r->setBianHao("1002");
         return r;
       },
       "    <WebService:GetAllFiles>\n"
       "      <WebService:bianHao>1002</WebService:bianHao>\n"
       "    </WebService:GetAllFiles>\n"},
      {"UpLoadMovieDB",
       [&] {
         auto r = std::make_shared<WebService_UpLoadMovieDB>();
         r->setBytes("SQLite format 3");
         r->setPosition(0);
         r->setFileName("movie.db");
         r->setLen(15);
         return r;
       },
       "    <WebService:UpLoadMovieDB>\n"
       "      <WebService:Bytes>U1FMaXRlIGZvcm1hdCAz</WebService:Bytes>\n"
       "      <WebService:Position>0</WebService:Position>\n"
       "      <WebService:FileName>movie.db</WebService:FileName>\n"
       "      <WebService:len>15</WebService:len>\n"
       "    </WebService:UpLoadMovieDB>\n"},
      {"UpStoreWineImage",
       [&] {
         auto r = std::make_shared<WebService_UpStoreWineImage>();
         r->setBytes("");
         r->setPosition(3);
         r->setFileName("wine/红酒.png");
         r->setLen(2.5);
         return r;
       },
       "    <WebService:UpStoreWineImage>\n"
       "      <WebService:Bytes/>\n"
       "      <WebService:Position>3</WebService:Position>\n"
       "      <WebService:FileName>wine/&#x7EA2;&#x9152;.png</WebService:FileName>\n"
       "      <WebService:len>2.5</WebService:len>\n"
       "    </WebService:UpStoreWineImage>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(envelopeOf(c.name, c.make()), envelopeWithBody(c.body));
  }
}

TEST_F(WebServiceMessagesTest, EnvelopesWithoutEntriesHaveNoBodyOrHeader) {
  const std::string bare = kHead + "/>\n";
  EXPECT_EQ(WebServiceEnvelope::sharedInstance().serializedFormUsingHeaderElements({}, {}), bare);
  auto empty = std::make_shared<WebService_DeleteFile>();
  EXPECT_EQ(envelopeOf("DeleteFile", empty), envelopeWithBody("    <WebService:DeleteFile/>\n"));
  const std::string withHeader = WebServiceEnvelope::sharedInstance().serializedFormUsingHeaderElements(
      {{"Token", WSObject(core::Value("t"))}}, {});
  EXPECT_EQ(withHeader, kHead + ">\n  <soap:Header>\n    <Token>t</Token>\n  </soap:Header>\n</soap:Envelope>\n");
}

TEST_F(WebServiceMessagesTest, AnElementTakesTheGivenPrefixItsFieldsKeepTheirs) {
  auto r = std::make_shared<WebService_DeleteFile>();
  r->setFileName("x");
  xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  xmlNodePtr node = r->xmlNodeForDoc(doc, "DeleteFile", std::string("tns"));
  xmlBufferPtr buffer = xmlBufferCreate();
  xmlNodeDump(buffer, doc, node, 0, 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
               "<tns:DeleteFile><WebService:FileName>x</WebService:FileName></tns:DeleteFile>");
  xmlBufferFree(buffer);
  xmlFreeNode(node);
  xmlFreeDoc(doc);
}

TEST_F(WebServiceMessagesTest, ReplyElementsAreReadByLocalName) {
  auto list = parsed<WebService_GetAllFilesResponse>(
      "<GetAllFilesResponse xmlns=\"http://venue.ktv/WebService/\"><GetAllFilesResult>"
      "<string>a.jpg</string><string></string><string>b.png</string></GetAllFilesResult></GetAllFilesResponse>");
  ASSERT_TRUE(list && list->GetAllFilesResult());
  EXPECT_EQ(list->GetAllFilesResult()->string(), (std::vector<std::string>{"a.jpg", "b.png"}));

  auto other = parsed<WebService_UploadFileBytesResponse>(
      "<x:UploadFileBytesResponse xmlns:x=\"urn:anything\"><y:UploadFileBytesResult xmlns:y=\"urn:else\">OK"
      "</y:UploadFileBytesResult><Unknown>z</Unknown></x:UploadFileBytesResponse>");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->UploadFileBytesResult(), "OK");

  auto missing =
      parsed<WebService_UploadFileBytesResponse>("<UploadFileBytesResponse><Other/></UploadFileBytesResponse>");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->UploadFileBytesResult(), std::nullopt);

  auto repeated = parsed<WebService_DeleteFileResponse>(
      "<DeleteFileResponse><DeleteFileResult>first</DeleteFileResult><DeleteFileResult>last</DeleteFileResult>"
      "</DeleteFileResponse>");
  EXPECT_EQ(repeated->DeleteFileResult(), "last");

  auto download = parsed<WebService_DownloadFileBytesResponse>(
      "<DownloadFileBytesResponse><DownloadFileBytesResult>\n  iVBORw0K\n  Ggo=\n</DownloadFileBytesResult>"
      "</DownloadFileBytesResponse>");
  EXPECT_EQ(download->DownloadFileBytesResult(), std::string("\x89PNG\r\n\x1a\n", 8));

  // Request elements read back with their numbers as reals.
  auto chunk = parsed<WebService_UploadFileChunkBytes>(
      "<UploadFileChunkBytes><Position>4096</Position><flag>x</flag><FileName>f</FileName></UploadFileChunkBytes>");
  EXPECT_EQ(chunk->Position(), 4096.0);
  EXPECT_EQ(chunk->flag(), 0.0);
  EXPECT_EQ(chunk->FileName(), "f");
  EXPECT_EQ(chunk->Bytes(), std::nullopt);
}

}  // namespace
}  // namespace kt
