#include "soap/SOAPFault.h"
#include "soap/WebService.h"
#include "soap/WebServiceBindingOperation.h"
#include "soap/WebServiceBindingResponse.h"
#include "soap/WebServiceMessages.h"

#include <gtest/gtest.h>
#include <libxml/encoding.h>

#include <algorithm>
#include <cstring>

#include <string>

namespace kt {
namespace {

const std::string kSoap12Open =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap12:Envelope "
    "xmlns:soap12=\"http://www.w3.org/2003/05/soap-envelope\"><soap12:Body>";
const std::string kSoap12Close = "</soap12:Body></soap12:Envelope>";

WebServiceBindingResponse read(const std::string& bytes,
                               const WebServiceOperationInfo& info = WebServiceOperationInfo::UploadFileBytes,
                               const WebServiceBindingNames& names = WebServiceBindingNames::Soap) {
  WebServiceBindingResponse response;
  WebServiceBindingOperation::readReply(bytes, info, names, response);
  return response;
}

std::shared_ptr<SOAPFault> faultAt(const WebServiceBindingResponse& response, size_t index) {
  if (!response.bodyParts() || response.bodyParts()->size() <= index) return nullptr;
  const auto* fault = std::get_if<std::shared_ptr<SOAPFault>>(&(*response.bodyParts())[index]);
  return fault ? *fault : nullptr;
}

template <class T>
std::shared_ptr<T> elementAt(const WebServiceBindingResponse& response, size_t index) {
  if (!response.bodyParts() || response.bodyParts()->size() <= index) return nullptr;
  const auto* element = std::get_if<std::shared_ptr<WSElement>>(&(*response.bodyParts())[index]);
  return element ? std::dynamic_pointer_cast<T>(*element) : nullptr;
}

int passThrough(unsigned char* out, int* outLength, const unsigned char* in, int* inLength) {
  const int n = std::min(*outLength, *inLength);
  std::memcpy(out, in, static_cast<size_t>(n));
  *outLength = *inLength = n;
  return n;
}

class WebServiceReplyTest : public ::testing::Test {
 protected:
  void SetUp() override { WebService::initialize(); }
};

TEST_F(WebServiceReplyTest, TheReplyElementIsReadCompactOrIndented) {
  const std::string compact = kSoap12Open +
                              "<UploadFileBytesResponse xmlns=\"http://venue.ktv/WebService/\">"
                              "<UploadFileBytesResult>OK &amp;lt;1&gt;</UploadFileBytesResult>"
                              "</UploadFileBytesResponse>" +
                              kSoap12Close;
  const std::string indented =
      "<?xml version=\"1.0\"?>\n<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">\n  <s:Header/>\n"
      "  <s:Body>\n    <!-- note -->\n    <UploadFileBytesResponse>\n      "
      "<UploadFileBytesResult>OK &amp;lt;1&gt;</UploadFileBytesResult>\n    </UploadFileBytesResponse>\n"
      "  </s:Body>\n</s:Envelope>\n";
  for (const std::string& text : {compact, indented}) {
    WebServiceBindingResponse response = read(text);
    EXPECT_FALSE(response.error());
    ASSERT_TRUE(response.bodyParts());
    ASSERT_EQ(response.bodyParts()->size(), 1u);
    auto reply = elementAt<WebService_UploadFileBytesResponse>(response, 0);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->UploadFileBytesResult(), "OK &lt;1>");
    EXPECT_FALSE(response.headers());
  }
}

TEST_F(WebServiceReplyTest, BodiesWithoutTheReplyAndDocumentsWithoutABody) {
  WebServiceBindingResponse other = read(kSoap12Open + "<DeleteFileResponse/><Other/>" + kSoap12Close);
  EXPECT_FALSE(other.error());
  ASSERT_TRUE(other.bodyParts());
  EXPECT_TRUE(other.bodyParts()->empty());

  WebServiceBindingResponse noBody = read("<Envelope><Header/></Envelope>");
  EXPECT_FALSE(noBody.error());
  EXPECT_FALSE(noBody.bodyParts());

  WebServiceBindingResponse noResult = read(kSoap12Open + "<UploadFileBytesResponse/>" + kSoap12Close);
  auto reply = elementAt<WebService_UploadFileBytesResponse>(noResult, 0);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->UploadFileBytesResult(), std::nullopt);

  // A later Body replaces the parts of an earlier one.
  WebServiceBindingResponse twice = read(
      "<E><Body><UploadFileBytesResponse><UploadFileBytesResult>1</UploadFileBytesResult></UploadFileBytesResponse>"
      "</Body><Body><UploadFileBytesResponse><UploadFileBytesResult>2</UploadFileBytesResult>"
      "</UploadFileBytesResponse></Body></E>");
  ASSERT_EQ(twice.bodyParts()->size(), 1u);
  EXPECT_EQ(elementAt<WebService_UploadFileBytesResponse>(twice, 0)->UploadFileBytesResult(), "2");
}

TEST_F(WebServiceReplyTest, BytesThatAreNoXmlGiveTheXmlErrorOfTheFamily) {
  for (const std::string& text : {std::string("<soap12:Envelope><soap12:Body>"), std::string("not xml"),
                                 std::string("<a></b>"), std::string("\0\0\0", 3)}) {
    WebServiceBindingResponse response = read(text);
    ASSERT_TRUE(response.error());
    EXPECT_EQ(response.error()->domain(), "WebServiceSoapBindingResponseXML");
    EXPECT_EQ(response.error()->code(), 1);
    EXPECT_EQ(response.error()->localizedDescription(), "Errors while parsing returned XML");
    EXPECT_FALSE(response.bodyParts());
  }
  WebServiceBindingResponse twin =
      read("<broken", WebServiceOperationInfo::GetAllFiles, WebServiceBindingNames::Soap12);
  EXPECT_EQ(twin.error()->domain(), "WebServiceSoap12BindingResponseXML");
}

TEST_F(WebServiceReplyTest, ExternalEntitiesAreNotExpanded) {
  const std::string text =
      "<?xml version=\"1.0\"?><!DOCTYPE E [<!ENTITY x SYSTEM \"http://127.0.0.1:1/secret\">]>"
      "<E><Body><UploadFileBytesResponse><UploadFileBytesResult>&x;</UploadFileBytesResult>"
      "</UploadFileBytesResponse></Body></E>";
  WebServiceBindingResponse response = read(text);
  EXPECT_FALSE(response.error());
  auto reply = elementAt<WebService_UploadFileBytesResponse>(response, 0);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->UploadFileBytesResult(), std::nullopt);
}

TEST_F(WebServiceReplyTest, Soap12FaultsJoinTheirReasonTexts) {
  WebServiceBindingResponse one = read(kSoap12Open +
                                       "<soap12:Fault><soap12:Code><soap12:Value>soap12:Receiver</soap12:Value>"
                                       "<soap12:Subcode><soap12:Value>x:Sub</soap12:Value></soap12:Subcode>"
                                       "</soap12:Code><soap12:Reason><soap12:Text xml:lang=\"en\">Disk &amp;lt;full"
                                       "</soap12:Text></soap12:Reason><soap12:Node>http://node</soap12:Node>"
                                       "<soap12:Detail>d<i>nested</i></soap12:Detail></soap12:Fault>" +
                                       kSoap12Close);
  auto fault = faultAt(one, 0);
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->faultcode(), "soap12:Receiver");
  EXPECT_EQ(fault->faultstring(), "Disk &lt;full");
  EXPECT_EQ(fault->faultactor(), "http://node");
  EXPECT_EQ(fault->detail(), "d");

  WebServiceBindingResponse joined = read(kSoap12Open +
                                          "<soap12:Fault><soap12:Reason><soap12:Text>one</soap12:Text>"
                                          "<soap12:Text>two</soap12:Text></soap12:Reason></soap12:Fault>" +
                                          kSoap12Close);
  EXPECT_EQ(faultAt(joined, 0)->faultstring(), "onetwo");
}

TEST_F(WebServiceReplyTest, Soap11FaultsAndFaultsOfOtherNamespaces) {
  WebServiceBindingResponse soap11 = read(
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><soap:Fault>"
      "<faultcode>soap:Server</faultcode><faultstring>No &amp;amp; way</faultstring><detail>more</detail>"
      "</soap:Fault></soap:Body></soap:Envelope>");
  auto fault = faultAt(soap11, 0);
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->faultcode(), "soap:Server");
  EXPECT_EQ(fault->faultstring(), "No &amp; way");
  EXPECT_EQ(fault->detail(), "more");
  EXPECT_EQ(fault->faultactor(), std::nullopt);

  // A fault in another namespace is kept with nothing read; one without a namespace as well.
  for (const std::string& text :
       {std::string("<e:E xmlns:e=\"urn:x\"><e:Body><e:Fault><faultcode>c</faultcode></e:Fault></e:Body></e:E>"),
        std::string("<E><Body><Fault><faultcode>c</faultcode></Fault></Body></E>")}) {
    WebServiceBindingResponse other = read(text);
    fault = faultAt(other, 0);
    ASSERT_TRUE(fault);
    EXPECT_FALSE(fault->faultcode() || fault->faultstring() || fault->faultactor() || fault->detail());
  }
}

TEST_F(WebServiceReplyTest, AFaultUnderAnotherPrefixThanItsBodyIsNotRead) {
  WebServiceBindingResponse response = read(
      "<a:Envelope xmlns:a=\"http://www.w3.org/2003/05/soap-envelope\" "
      "xmlns:b=\"http://www.w3.org/2003/05/soap-envelope\"><a:Body><b:Fault><b:Reason><b:Text>x</b:Text></b:Reason>"
      "</b:Fault><a:Fault><a:Reason><a:Text>y</a:Text></a:Reason></a:Fault></a:Body></a:Envelope>");
  ASSERT_TRUE(response.bodyParts());
  ASSERT_EQ(response.bodyParts()->size(), 1u);
  EXPECT_EQ(faultAt(response, 0)->faultstring(), "y");
}

// Reading a reply leaves libxml2's process-wide state as it was: what other code registered
// with it (here an encoding) is still there after good and broken replies.
TEST_F(WebServiceReplyTest, LibxmlStateOutlivesEveryReply) {
  xmlCharEncodingHandlerPtr handler = xmlNewCharEncodingHandler("X-KT-PASS-THROUGH", passThrough, passThrough);
  ASSERT_TRUE(handler);
  read(kSoap12Open + "<UploadFileBytesResponse/>" + kSoap12Close);
  read("<broken");
  EXPECT_EQ(xmlFindCharEncodingHandler("X-KT-PASS-THROUGH"), handler);
}

TEST_F(WebServiceReplyTest, SimpleFaultStringDropsTheExceptionNameAndTheTrace) {
  SOAPFault fault;
  EXPECT_EQ(fault.simpleFaultString(), std::nullopt);
  fault.setFaultstring("System.Web.Services.Protocols.SoapException: Disk full\n   at A.B()\n   at C.D()");
  EXPECT_EQ(fault.simpleFaultString(), "Disk full");
  fault.setFaultstring("Plain message\n  at not a trace");
  EXPECT_EQ(fault.simpleFaultString(), "Plain message\n  at not a trace");
}

}  // namespace
}  // namespace kt
