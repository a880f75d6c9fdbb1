#include "http/HCCompoundResponseSerializer.h"
#include "http/HCHTTPResponseSerializer.h"
#include "http/HCImageResponseSerializer.h"
#include "http/HCJSONResponseSerializer.h"
#include "http/HCPropertyListResponseSerializer.h"
#include "http/HCXMLParser.h"
#include "http/HCXMLParserResponseSerializer.h"
#include "platform/core/Json.h"
#include "platform/core/PropertyList.h"
#include "platform/gfx/Image.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <typeinfo>

namespace kt {
namespace {

using core::Value;

net::HTTPURLResponse makeResponse(int status, const std::string& type, const std::string& url = "http://h/x") {
  net::HeaderFields headers;
  if (!type.empty()) headers.emplace_back("Content-Type", type);
  return net::HTTPURLResponse(url.empty() ? net::URL() : *net::URL::fromString(url), status, "HTTP/1.1", headers);
}

std::string png(int w, int h) {
  return *gfx::Image::fromPixels(w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, 0xFF336699u))->pngData();
}

TEST(ResponseValidation, StatusAndContentTypeRules) {
  HCHTTPResponseSerializer plain;
  auto notFound = makeResponse(404, "text/html");
  std::optional<core::Error> error;
  HCResponseObject object = plain.responseObjectForResponse(&notFound, std::string("<html/>"), &error);
  // The body comes back with the status error.
  ASSERT_TRUE(std::holds_alternative<Value>(object));
  EXPECT_EQ(*std::get<Value>(object).asData(), "<html/>");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), HCResponseSerializationErrorDomain);
  EXPECT_EQ(error->code(), -1011);
  EXPECT_EQ(error->localizedDescription(),
            "Request failed: " + net::HTTPURLResponse::localizedStringForStatusCode(404) + " (404)");
  EXPECT_EQ(error->userInfo()[net::URLError::FailingURLStringKey].stringValue(), "http://h/x");
  EXPECT_EQ(error->userInfo()[HCFailingURLResponseErrorKey]["statusCode"].intValue(), 404);
  EXPECT_EQ(*error->userInfo()[HCFailingURLResponseDataErrorKey].asData(), "<html/>");

  auto ok = makeResponse(200, "application/whatever");
  error.reset();
  EXPECT_TRUE(plain.validateResponse(&ok, std::string("x"), &error));
  EXPECT_TRUE(plain.validateResponse(nullptr, std::string("x"), &error));
  EXPECT_FALSE(error);

  HCHTTPResponseSerializer typed;
  typed.setAcceptableContentTypes(std::set<std::string>{"application/json"});
  auto untyped = makeResponse(200, "");
  EXPECT_TRUE(typed.validateResponse(&untyped, std::string(), &error));
  auto html = makeResponse(200, "text/html");
  error = core::Error("stale", 1);
  EXPECT_FALSE(typed.validateResponse(&html, std::string(), &error));
  EXPECT_FALSE(error);  // invalid, but no error object for an empty body
  EXPECT_FALSE(typed.validateResponse(&html, std::string("x"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1016);
  EXPECT_EQ(error->localizedDescription(), "Request failed: unacceptable content-type: text/html");

  // Both failures: the status error over the content-type error.
  auto both = makeResponse(500, "text/html");
  EXPECT_FALSE(typed.validateResponse(&both, std::string("x"), &error));
  ASSERT_TRUE(error && error->underlying());
  EXPECT_EQ(error->code(), -1011);
  EXPECT_EQ(error->underlying()->code(), -1016);
  EXPECT_TRUE(HCHTTPResponseSerializer::isContentTypeFailure(*error));
}

TEST(ResponseValidation, ErrorChaining) {
  core::Error a("a", 1), b("b", 2);
  EXPECT_EQ(HCHTTPResponseSerializer::errorWithUnderlyingError(std::nullopt, b), b);
  EXPECT_EQ(HCHTTPResponseSerializer::errorWithUnderlyingError(a, std::nullopt), a);
  auto chained = HCHTTPResponseSerializer::errorWithUnderlyingError(a, b);
  ASSERT_TRUE(chained && chained->underlying());
  EXPECT_EQ(*chained->underlying(), b);
  // An error that already has a cause keeps it.
  auto again = HCHTTPResponseSerializer::errorWithUnderlyingError(*chained, core::Error("c", 3));
  EXPECT_EQ(again->underlying()->domain(), "b");
}

TEST(JsonResponse, DecodingRules) {
  auto json = HCJSONResponseSerializer::serializer();
  auto ok = makeResponse(200, "application/json; charset=utf-8");
  std::optional<core::Error> error;
  auto object = json->responseObjectForResponse(&ok, std::string("{\"a\":null,\"b\":[{\"c\":null},null]}"), &error);
  ASSERT_TRUE(std::holds_alternative<Value>(object));
  EXPECT_TRUE(std::get<Value>(object)["a"].isNull());
  EXPECT_TRUE(std::get<Value>(object).contains("a"));
  EXPECT_FALSE(error);

  json->setRemovesKeysWithNullValues(true);
  object = json->responseObjectForResponse(&ok, std::string("{\"a\":null,\"b\":[{\"c\":null},null]}"), &error);
  EXPECT_EQ(std::get<Value>(object), *core::Json::parse("{\"b\":[{},null]}"));

  for (const char* empty : {"", " "}) {
    error.reset();
    EXPECT_FALSE(hasResponseObject(json->responseObjectForResponse(&ok, std::string(empty), &error)));
    EXPECT_FALSE(error);
  }
  error.reset();
  EXPECT_FALSE(hasResponseObject(json->responseObjectForResponse(&ok, std::string("{oops"), &error)));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), core::Error::CoreDomain);

  // A status failure still parses; a content-type failure does not.
  auto failed = makeResponse(500, "application/json");
  error.reset();
  object = json->responseObjectForResponse(&failed, std::string("[1]"), &error);
  EXPECT_TRUE(hasResponseObject(object));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1011);
  auto html = makeResponse(200, "text/html");
  EXPECT_FALSE(hasResponseObject(json->responseObjectForResponse(&html, std::string("[1]"), &error)));
  EXPECT_EQ(error->code(), -1016);
  // A bad body under a status failure: the parse error over the status error.
  object = json->responseObjectForResponse(&failed, std::string("{oops"), &error);
  ASSERT_TRUE(error && error->underlying());
  EXPECT_EQ(error->underlying()->code(), -1011);

  // Copies keep the settings, also the base ones.
  json->setAcceptableContentTypes(std::set<std::string>{"text/html"});
  auto copy = json->copy();
  EXPECT_EQ(copy->acceptableContentTypes(), json->acceptableContentTypes());
}

TEST(OtherResponses, XmlPropertyListAndCompound) {
  auto xml = HCXMLParserResponseSerializer::serializer();
  auto xmlResponse = makeResponse(200, "text/xml");
  std::optional<core::Error> error;
  auto object = xml->responseObjectForResponse(&xmlResponse, std::string("<a k=\"v\"><b>t</b></a>"), &error);
  ASSERT_TRUE(std::holds_alternative<std::shared_ptr<HCXMLParser>>(object));
  auto parser = std::get<std::shared_ptr<HCXMLParser>>(object);
  std::string events;
  parser->didStartElement = [&](const std::string& n, const HCXMLParser::Attributes& a) {
    events += "<" + n + (a.count("k") ? "=" + a.at("k") : "") + ">";
  };
  parser->foundCharacters = [&](const std::string& t) { events += t; };
  parser->didEndElement = [&](const std::string& n) { events += "</" + n + ">"; };
  EXPECT_TRUE(parser->parse());
  EXPECT_EQ(events, "<a=v><b>t</b></a>");
  HCXMLParser broken("<a><b></a>");
  EXPECT_FALSE(broken.parse());
  EXPECT_TRUE(broken.parserError());
  HCXMLParser entity("<!DOCTYPE a [<!ENTITY e \"boom\">]><a>&e;</a>");
  EXPECT_FALSE(entity.parse());

  auto plist = HCPropertyListResponseSerializer::serializer();
  auto plistResponse = makeResponse(200, "application/x-plist");
  std::string doc =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><integer>1</integer></dict></plist>";
  object = plist->responseObjectForResponse(&plistResponse, doc, &error);
  EXPECT_EQ(std::get<Value>(object)["a"].intValue(), 1);
  EXPECT_FALSE(hasResponseObject(plist->responseObjectForResponse(&plistResponse, std::string("nope"), &error)));
  EXPECT_TRUE(error);

  // JSON fails its type check on an image; the image member answers.
  auto compound = HCCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
      {HCJSONResponseSerializer::serializer(), HCImageResponseSerializer::serializer()});
  auto pngResponse = makeResponse(200, "image/png");
  error.reset();
  object = compound->responseObjectForResponse(&pngResponse, png(2, 2), &error);
  EXPECT_TRUE(std::holds_alternative<std::shared_ptr<gfx::Image>>(object));
  EXPECT_FALSE(error);
  // Nobody answers: the body bytes.
  auto text = makeResponse(200, "text/plain");
  object = compound->responseObjectForResponse(&text, std::string("hi"), &error);
  EXPECT_EQ(*std::get<Value>(object).asData(), "hi");
}

TEST(OtherResponses, AThrowingXmlHandlerStopsTheParseWithAnError) {
  // Each handler in turn throws, a standard exception or any other; the parse stops there.
  for (int where = 0; where < 3; ++where) {
    HCXMLParser parser("<a><b>text</b><c/></a>");
    std::string events;
    parser.didStartElement = [&](const std::string& n, const HCXMLParser::Attributes&) {
      if (where == 0 && n == "b") throw std::runtime_error("start");
      events += "<" + n + ">";
    };
    parser.foundCharacters = [&](const std::string& t) {
      if (where == 1) throw 1;
      events += t;
    };
    parser.didEndElement = [&](const std::string& n) {
      if (where == 2) throw std::length_error("end");
      events += "</" + n + ">";
    };
    EXPECT_FALSE(parser.parse()) << where;
    ASSERT_TRUE(parser.parserError()) << where;
    EXPECT_NE(parser.parserError()->localizedDescription().find("handler"), std::string::npos)
        << parser.parserError()->localizedDescription();
    const char* before[] = {"<a>", "<a><b>", "<a><b>text"};
    EXPECT_EQ(events, before[where]);

    // The parser is usable again once its handlers behave.
    parser.didStartElement = nullptr;
    parser.foundCharacters = nullptr;
    parser.didEndElement = nullptr;
    EXPECT_TRUE(parser.parse()) << where;
    EXPECT_FALSE(parser.parserError());
  }
}

TEST(ImageResponse, ScaleInflationAndAnimation) {
  auto images = HCImageResponseSerializer::serializer();
  images->setImageScale(2);
  auto response = makeResponse(200, "image/png");
  std::optional<core::Error> error;
  for (int side : {1024, 2048}) {
    auto object = images->responseObjectForResponse(&response, png(side, side), &error);
    auto image = std::get<std::shared_ptr<gfx::Image>>(object);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), side);
    EXPECT_EQ(image->scale(), 2);
    EXPECT_EQ(image->pixelAt(0, 0), 0xFF336699u);
  }
  EXPECT_FALSE(hasResponseObject(images->responseObjectForResponse(&response, std::string("not an image"), &error)));
  EXPECT_FALSE(hasResponseObject(images->responseObjectForResponse(&response, std::string(), &error)));
  images->setAutomaticallyInflatesResponseImage(false);
  auto plain = std::get<std::shared_ptr<gfx::Image>>(images->responseObjectForResponse(&response, png(3, 3), &error));
  EXPECT_EQ(plain->scale(), 2);
  auto html = makeResponse(200, "text/html");
  EXPECT_FALSE(hasResponseObject(images->responseObjectForResponse(&html, png(3, 3), &error)));
}

// Every setting a serializer of one of the library's kinds holds, as text.
std::string settingsOf(const HCHTTPResponseSerializer& serializer) {
  std::string text = serializer.className();
  auto codes = serializer.acceptableStatusCodes();
  text += codes ? " codes " + std::to_string(codes->size()) + " from " + std::to_string(*codes->begin()) : " any code";
  if (auto types = serializer.acceptableContentTypes()) {
    for (const auto& type : *types) text += " " + type;
  } else {
    text += " any type";
  }
  if (auto* json = dynamic_cast<const HCJSONResponseSerializer*>(&serializer)) {
    text += " options " + std::to_string(json->readingOptions()) + (json->removesKeysWithNullValues() ? " no nulls" : "");
  } else if (auto* plist = dynamic_cast<const HCPropertyListResponseSerializer*>(&serializer)) {
    text += " format " + std::to_string(plist->format()) + " options " + std::to_string(plist->readOptions());
  } else if (auto* image = dynamic_cast<const HCImageResponseSerializer*>(&serializer)) {
    text += " scale " + std::to_string(image->imageScale()) + (image->automaticallyInflatesResponseImage() ? " inflates" : "");
  } else if (auto* compound = dynamic_cast<const HCCompoundResponseSerializer*>(&serializer)) {
    for (const auto& member : compound->responseSerializers()) text += " [" + settingsOf(*member) + "]";
  }
  return text;
}

TEST(ResponseSerializerArchiving, CopiesAndArchivesKeepTheKindAndSettings) {
  auto http = HCHTTPResponseSerializer::serializer();
  http->setAcceptableStatusCodes(std::nullopt);
  auto json = HCJSONResponseSerializer::serializerWithReadingOptions(HCJSONResponseSerializer::MutableContainers);
  json->setRemovesKeysWithNullValues(true);
  auto types = *json->acceptableContentTypes();
  types.insert("text/html");
  json->setAcceptableContentTypes(types);
  auto xml = HCXMLParserResponseSerializer::serializer();
  xml->setAcceptableStatusCodes(std::set<int>{});
  auto plist = HCPropertyListResponseSerializer::serializerWithFormat(200, 2);
  auto image = HCImageResponseSerializer::serializer();
  image->setImageScale(3);
  image->setAutomaticallyInflatesResponseImage(false);
  auto compound = HCCompoundResponseSerializer::compoundSerializerWithResponseSerializers({json, image});
  compound->setAcceptableStatusCodes(std::set<int>{304});

  for (const std::shared_ptr<HCHTTPResponseSerializer>& original :
       std::vector<std::shared_ptr<HCHTTPResponseSerializer>>{http, json, xml, plist, image, compound}) {
    const Value archive = original->encodeWithCoder();
    auto bytes = core::PropertyList::serialize(archive);
    ASSERT_TRUE(bytes) << original->className();
    for (const auto& other : {original->copy(), HCHTTPResponseSerializer::initWithCoder(archive),
                              HCHTTPResponseSerializer::initWithCoder(*core::PropertyList::parse(*bytes))}) {
      ASSERT_TRUE(other);
      EXPECT_EQ(typeid(*other), typeid(*original));
      EXPECT_EQ(settingsOf(*other), settingsOf(*original));
    }
  }
  // A decoded compound's members are serializers of their own kinds that work as such.
  auto decoded = std::dynamic_pointer_cast<HCCompoundResponseSerializer>(
      HCHTTPResponseSerializer::initWithCoder(compound->encodeWithCoder()));
  ASSERT_TRUE(decoded);
  auto pngResponse = makeResponse(304, "image/png");
  std::optional<core::Error> error;
  EXPECT_TRUE(std::holds_alternative<std::shared_ptr<gfx::Image>>(
      decoded->responseObjectForResponse(&pngResponse, png(2, 2), &error)));
}

TEST(ResponseSerializerArchiving, DecodingLeavesOutWhatDoesNotBelong) {
  Value archive = HCImageResponseSerializer::serializer()->encodeWithCoder();
  archive.set("imageScale", -2.0);
  archive.set("automaticallyInflatesResponseImage", "no");
  archive.set("acceptableStatusCodes", Value(Value::Array{200, "201", -5}));
  archive.erase("acceptableContentTypes");
  auto image = std::dynamic_pointer_cast<HCImageResponseSerializer>(HCHTTPResponseSerializer::initWithCoder(archive));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->imageScale(), HCImageResponseSerializer().imageScale());
  EXPECT_TRUE(image->automaticallyInflatesResponseImage());
  EXPECT_EQ(image->acceptableStatusCodes(), (std::set<int>{200}));
  EXPECT_FALSE(image->acceptableContentTypes());  // absent: any type
  archive.set("$class", "HCJSONRequestSerializer");
  EXPECT_FALSE(HCHTTPResponseSerializer::initWithCoder(archive));

  // Compounds nested beyond any sensible depth are cut off rather than decoded ever deeper.
  Value nested = HCHTTPResponseSerializer::serializer()->encodeWithCoder();
  for (int i = 0; i < 40; ++i) {
    Value outer = HCCompoundResponseSerializer().encodeWithCoder();
    outer.set("responseSerializers", Value(Value::Array{nested}));
    nested = std::move(outer);
  }
  auto level = HCHTTPResponseSerializer::initWithCoder(nested);
  int depth = 0;
  while (auto* inner = dynamic_cast<HCCompoundResponseSerializer*>(level.get())) {
    if (inner->responseSerializers().empty()) break;
    level = inner->responseSerializers()[0];
    ++depth;
  }
  EXPECT_GT(depth, 0);
  EXPECT_LT(depth, 40);
}

}  // namespace
}  // namespace kt
