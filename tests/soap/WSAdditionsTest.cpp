#include "soap/WSAdditions.h"

#include "soap/WSBoolean.h"
#include "soap/WSGlobals.h"
#include "soap/WSObject.h"
#include "soap/WebService.h"
#include "soap/WebServiceMessages.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <string>

namespace kt {
namespace {

// A parsed document whose root's first element child is the node under test.
class Doc {
 public:
  explicit Doc(const std::string& inner)
      : m_text(wrap(inner)),
        m_doc(xmlReadMemory(m_text.data(), static_cast<int>(m_text.size()), nullptr, nullptr, XML_PARSE_NONET)) {}
  ~Doc() { xmlFreeDoc(m_doc); }
  Doc(const Doc&) = delete;
  Doc& operator=(const Doc&) = delete;

  xmlNodePtr node() const {
    for (xmlNodePtr n = xmlDocGetRootElement(m_doc)->children; n; n = n->next) {
      if (n->type == XML_ELEMENT_NODE) return n;
    }
    return nullptr;
  }

 private:
  static std::string wrap(const std::string& inner) {
    return "<r xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:q=\"http://venue.ktv/WebService/\" xmlns:o=\"urn:other\">" +
           inner + "</r>";
  }
  std::string m_text;
  xmlDocPtr m_doc;
};

// The text an element is written as, in a document of its own.
std::string written(const core::Value& value, const std::optional<std::string>& prefix = "WebService") {
  xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  xmlNodePtr node = xmlNodeForValue(doc, value, "flag", prefix);
  std::string out = "(none)";
  if (node) {
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlNodeDump(buffer, doc, node, 0, 0);
    out = reinterpret_cast<const char*>(xmlBufferContent(buffer));
    xmlBufferFree(buffer);
    xmlFreeNode(node);
  }
  xmlFreeDoc(doc);
  return out;
}

// Writes the value as an element, parses that back and reads it as the class.
WSObject roundTrip(const core::Value& value, const WSClass& type) {
  const std::string text = written(value, std::nullopt);
  Doc doc(text);
  return type.deserializeNode(doc.node());
}

core::Value leaf(const WSObject& object) { return std::get<core::Value>(object); }

class WSAdditionsTest : public ::testing::Test {
 protected:
  void SetUp() override { WebService::initialize(); }
};

TEST_F(WSAdditionsTest, EscapingReplacesAmpersandFirstAndUnescapingUndoesIt) {
  EXPECT_EQ(stringByEscapingXML("a<b&c"), "a&lt;b&amp;c");
  EXPECT_EQ(stringByEscapingXML("\""), "&quot;");
  EXPECT_EQ(stringByEscapingXML("'>"), "&apos;&gt;");
  EXPECT_EQ(stringByUnescapingXML("&amp;lt;"), "&lt;");
  EXPECT_EQ(stringByUnescapingXML("&lt;"), "<");
  for (const std::string text : {"a<b&c", "&amp;", "\"'<>&", "&quot;&apos;", "plain"}) {
    EXPECT_EQ(stringByUnescapingXML(stringByEscapingXML(text)), text);
  }
}

TEST_F(WSAdditionsTest, LeavesAreWrittenOnceEscapedUnderTheirPrefixedName) {
  EXPECT_EQ(written(core::Value(5)), "<WebService:flag>5</WebService:flag>");
  EXPECT_EQ(written(core::Value(5), std::nullopt), "<flag>5</flag>");
  EXPECT_EQ(written(core::Value(5), std::string()), "<flag>5</flag>");
  EXPECT_EQ(written(core::Value(2.5)), "<WebService:flag>2.5</WebService:flag>");
  EXPECT_EQ(written(core::Value("a<b")), "<WebService:flag>a&lt;b</WebService:flag>");
  EXPECT_EQ(written(core::Value("&lt;")), "<WebService:flag>&amp;lt;</WebService:flag>");
  EXPECT_EQ(written(core::Value(true)), "<WebService:flag>true</WebService:flag>");
  EXPECT_EQ(WSBoolean(false).stringValue(), "false");
  EXPECT_EQ(written(core::Value::data(std::string("\x00\xff\x10", 3))), "<WebService:flag>AP8Q</WebService:flag>");
  EXPECT_EQ(written(core::Value()), "(none)");
  EXPECT_EQ(written(core::Value(core::Value::Array{core::Value(1)})), "(none)");
}

TEST_F(WSAdditionsTest, EveryKindOfValueReadsBackAsWritten) {
  EXPECT_EQ(leaf(roundTrip(core::Value("舞台 a<b & \"c\" 'd'"), WSStringClass)), core::Value("舞台 a<b & \"c\" 'd'"));
  EXPECT_EQ(leaf(roundTrip(core::Value(4096), WSNumberClass)), core::Value(4096.0));
  EXPECT_EQ(leaf(roundTrip(core::Value(-0.25), WSNumberClass)), core::Value(-0.25));
  EXPECT_EQ(leaf(roundTrip(core::Value(true), WSBooleanClass)), core::Value(true));
  EXPECT_EQ(leaf(roundTrip(core::Value(false), WSBooleanClass)), core::Value(false));
  const std::string bytes("\x89PNG\r\n\x1a\n\x00\x01", 10);
  EXPECT_EQ(leaf(roundTrip(core::Value::data(bytes), WSDataClass)), core::Value::data(bytes));
  const core::Date date = core::Date::fromTimeIntervalSince1970(1714557600);  // 2024-05-01 10:00:00 UTC
  EXPECT_EQ(leaf(roundTrip(core::Value(date), WSDateClass)), core::Value(date));
}

TEST_F(WSAdditionsTest, EmptyAndUnreadableLeaves) {
  Doc empty("<e/>");
  EXPECT_EQ(leaf(WSStringClass.deserializeNode(empty.node())), core::Value());
  EXPECT_EQ(leaf(WSNumberClass.deserializeNode(empty.node())), core::Value(0.0));
  EXPECT_EQ(leaf(WSDateClass.deserializeNode(empty.node())), core::Value());
  EXPECT_EQ(leaf(WSDataClass.deserializeNode(empty.node())), core::Value());
  EXPECT_EQ(leaf(WSBooleanClass.deserializeNode(empty.node())), core::Value());

  Doc one("<e>1</e>");
  EXPECT_EQ(leaf(WSBooleanClass.deserializeNode(one.node())), core::Value());
  EXPECT_FALSE(WSBoolean::deserializeNode(one.node()));
  Doc number("<e>  12.5kg</e>");
  EXPECT_EQ(leaf(WSNumberClass.deserializeNode(number.node())), core::Value(12.5));
  Doc notBase64("<e>#not base64#</e>");
  EXPECT_EQ(leaf(WSDataClass.deserializeNode(notBase64.node())), core::Value());
  // Only the text directly inside the element.
  Doc nested("<e>a<i>b</i>c</e>");
  EXPECT_EQ(deserializeString(nested.node()), "ac");
}

TEST_F(WSAdditionsTest, TextDecodedByTheParserIsNotUnescapedAgain) {
  Doc doc("<e>&amp;lt; &lt;b&gt; &amp;amp;</e>");
  EXPECT_EQ(deserializeString(doc.node()), "&lt; <b> &amp;");
  Doc cdata("<e><![CDATA[&lt;x>]]></e>");
  EXPECT_EQ(deserializeString(cdata.node()), "&lt;x>");
}

TEST_F(WSAdditionsTest, TypedChildrenFollowTheirSchemaType) {
  // A built-in type is read as that type whatever the field declares.
  Doc str("<e xsi:type=\"xsd:string\">007</e>");
  EXPECT_EQ(leaf(readTypedChild(str.node(), WSNumberClass)), core::Value("007"));
  Doc num("<e xsi:type=\"xsd:int\">42</e>");
  EXPECT_EQ(leaf(readTypedChild(num.node(), WSStringClass)), core::Value(42.0));
  Doc dbl("<e xsi:type=\"xsd:double\">2.5</e>");
  EXPECT_EQ(leaf(readTypedChild(dbl.node(), WSStringClass)), core::Value(2.5));
  Doc yes("<e xsi:type=\"xsd:boolean\"> 1 </e>");
  EXPECT_EQ(leaf(readTypedChild(yes.node(), WSStringClass)), core::Value(true));
  Doc data("<e xsi:type=\"xsd:base64Binary\">AP8Q</e>");
  EXPECT_EQ(leaf(readTypedChild(data.node(), WSStringClass)), core::Value::data(std::string("\x00\xff\x10", 3)));
  // A schema type without a class of its own keeps the declared class.
  Doc any("<e xsi:type=\"xsd:anyType\">text</e>");
  EXPECT_EQ(leaf(readTypedChild(any.node(), WSStringClass)), core::Value("text"));
  // The prefix is resolved where the child stands, not by its spelling.
  Doc renamed("<e xmlns:s=\"http://www.w3.org/2001/XMLSchema\" xsi:type=\"s:int\">7</e>");
  EXPECT_EQ(leaf(readTypedChild(renamed.node(), WSStringClass)), core::Value(7.0));
}

TEST_F(WSAdditionsTest, TypedChildrenNamingNoClassAreNil) {
  for (const std::string type : {"x:string", "o:string", "q:NoSuchElement", "Unknown", ":string"}) {
    SCOPED_TRACE(type);
    Doc doc("<e xsi:type=\"" + type + "\">text</e>");
    EXPECT_TRUE(isNil(readTypedChild(doc.node(), WSStringClass)));
  }
  Doc box("<e xsi:type=\"WSBoolean\">true</e>");
  EXPECT_EQ(leaf(readTypedChild(box.node(), WSStringClass)), core::Value(true));
}

TEST_F(WSAdditionsTest, ServiceTypesSelectTheirElementClass) {
  Doc doc("<e xsi:type=\"q:ArrayOfString\"><string>a</string><q:string/><o:string>b</o:string><x>c</x></e>");
  WSObject value = readTypedChild(doc.node(), WSStringClass);
  auto element = std::get<std::shared_ptr<WSElement>>(value);
  auto list = std::dynamic_pointer_cast<WebService_ArrayOfString>(element);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->string(), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace kt
