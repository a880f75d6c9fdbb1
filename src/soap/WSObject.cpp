#include "soap/WSObject.h"

#include "soap/WSAdditions.h"
#include "soap/WSBoolean.h"
#include "soap/WSElement.h"
#include "soap/WSGlobals.h"
#include "soap/WebServiceMessages.h"

#include <libxml/tree.h>

#include <array>
#include <cstring>

namespace kt {

namespace {

core::Value textOrNull(const std::optional<std::string>& text) { return text ? core::Value(*text) : core::Value(); }

WSObject readString(_xmlNode* node) { return textOrNull(deserializeString(node)); }
WSObject readNumber(_xmlNode* node) { return core::Value(deserializeNumber(node)); }

WSObject readDate(_xmlNode* node) {
  std::optional<core::Date> date = deserializeDate(node);
  return date ? core::Value(*date) : core::Value();
}

WSObject readData(_xmlNode* node) {
  std::optional<std::string> bytes = deserializeData(node);
  return bytes ? core::Value::data(*bytes) : core::Value();
}

WSObject readBoolean(_xmlNode* node) {
  std::optional<WSBoolean> box = WSBoolean::deserializeNode(node);
  return box ? core::Value(box->boolValue()) : core::Value();
}

// xsd:boolean also takes "1" and "0", around which white space is allowed.
WSObject readSchemaBoolean(_xmlNode* node) {
  std::optional<std::string> text = deserializeString(node);
  if (!text) return core::Value();
  const size_t begin = text->find_first_not_of(" \t\r\n");
  const size_t end = text->find_last_not_of(" \t\r\n");
  const std::string word = begin == std::string::npos ? "" : text->substr(begin, end - begin + 1);
  if (word == "true" || word == "1") return core::Value(true);
  if (word == "false" || word == "0") return core::Value(false);
  return core::Value();
}

const char* const kSchemaStrings[] = {"xsd_string", "xsd_normalizedString", "xsd_token", "xsd_anyURI",
                                      "xsd_language", "xsd_Name", "xsd_NCName"};
const char* const kSchemaNumbers[] = {
    "xsd_int",          "xsd_integer",         "xsd_long",            "xsd_short",           "xsd_byte",
    "xsd_decimal",      "xsd_double",          "xsd_float",           "xsd_unsignedInt",     "xsd_unsignedLong",
    "xsd_unsignedShort", "xsd_unsignedByte",   "xsd_nonNegativeInteger", "xsd_positiveInteger",
    "xsd_nonPositiveInteger", "xsd_negativeInteger"};
const char* const kSchemaDates[] = {"xsd_dateTime", "xsd_date"};

template <size_t N>
bool among(std::string_view name, const char* const (&names)[N]) {
  for (const char* entry : names) {
    if (name == entry) return true;
  }
  return false;
}

const WSClass kSchemaBooleanClass{"xsd_boolean", readSchemaBoolean};

const std::vector<WSClass>& elementClasses() {
  // Never destroyed: replies are read on other threads while the process exits.
  static const auto* classes = new std::vector<WSClass>{
      WebServiceArrayOfStringClass,
      wsElementClass<WebService_UploadFileBytes>("WebService_UploadFileBytes"),
      wsElementClass<WebService_UploadFileBytesResponse>("WebService_UploadFileBytesResponse"),
      wsElementClass<WebService_UploadFileChunkBytes>("WebService_UploadFileChunkBytes"),
      wsElementClass<WebService_UploadFileChunkBytesResponse>("WebService_UploadFileChunkBytesResponse"),
      wsElementClass<WebService_DownloadFileBytes>("WebService_DownloadFileBytes"),
      wsElementClass<WebService_DownloadFileBytesResponse>("WebService_DownloadFileBytesResponse"),
      wsElementClass<WebService_DeleteFile>("WebService_DeleteFile"),
      wsElementClass<WebService_DeleteFileResponse>("WebService_DeleteFileResponse"),
      wsElementClass<WebService_GetAllFiles>("WebService_GetAllFiles"),
      wsElementClass<WebService_GetAllFilesResponse>("WebService_GetAllFilesResponse"),
      wsElementClass<WebService_UpLoadMovieDB>("WebService_UpLoadMovieDB"),
      wsElementClass<WebService_UpLoadMovieDBResponse>("WebService_UpLoadMovieDBResponse"),
      wsElementClass<WebService_UpStoreWineImage>("WebService_UpStoreWineImage"),
      wsElementClass<WebService_UpStoreWineImageResponse>("WebService_UpStoreWineImageResponse"),
  };
  return *classes;
}

}  // namespace

// The leaf classes are not found by name (a reply names them through the "xsd" types).
const WSClass WSStringClass{"string", readString};
const WSClass WSNumberClass{"number", readNumber};
const WSClass WSDateClass{"date", readDate};
const WSClass WSDataClass{"data", readData};
const WSClass WSBooleanClass{"WSBoolean", readBoolean};

bool isNil(const WSObject& object) {
  if (const auto* value = std::get_if<core::Value>(&object)) return value->isNull();
  return std::get<std::shared_ptr<WSElement>>(object) == nullptr;
}

const WSClass* wsClassNamed(std::string_view name) {
  if (name == WSBooleanClass.name) return &WSBooleanClass;
  for (const WSClass& entry : elementClasses()) {
    if (name == entry.name) return &entry;
  }
  if (among(name, kSchemaStrings)) return &WSStringClass;
  if (among(name, kSchemaNumbers)) return &WSNumberClass;
  if (among(name, kSchemaDates)) return &WSDateClass;
  if (name == "xsd_base64Binary") return &WSDataClass;
  if (name == "xsd_boolean") return &kSchemaBooleanClass;
  return nullptr;
}

WSObject readTypedChild(_xmlNode* child, const WSClass& declared) {
  xmlChar* attribute = xmlGetNsProp(child, reinterpret_cast<const xmlChar*>("type"),
                                    reinterpret_cast<const xmlChar*>(wsns::XMLSchemaInstance));
  if (!attribute) return declared.deserializeNode(child);
  const std::string type(reinterpret_cast<const char*>(attribute));
  xmlFree(attribute);

  std::string className;
  bool schemaType = false;
  const size_t colon = type.find(':');
  if (colon != std::string::npos) {
    // "p:Local" (further pieces are not looked at): the namespace p is bound to at the child.
    const std::string prefix = type.substr(0, colon);
    const size_t next = type.find(':', colon + 1);
    const std::string local = type.substr(colon + 1, next == std::string::npos ? std::string::npos : next - colon - 1);
    xmlNsPtr ns = xmlSearchNs(child->doc, child, reinterpret_cast<const xmlChar*>(prefix.c_str()));
    if (!ns || !ns->href) return core::Value();
    const std::string uri(reinterpret_cast<const char*>(ns->href));
    std::optional<std::string> registered = WSGlobals::sharedInstance().prefixForNamespace(uri);
    if (!registered) return core::Value();
    className = *registered + "_" + local;
    schemaType = uri == wsns::XMLSchema;
  } else {
    className = type;
  }
  const WSClass* found = wsClassNamed(className);
  if (!found) return schemaType ? declared.deserializeNode(child) : WSObject(core::Value());
  return found->deserializeNode(child);
}

_xmlNode* xmlNodeForObject(_xmlDoc* doc, const WSObject& object, const std::string& name,
                           const std::optional<std::string>& prefix) {
  if (const auto* value = std::get_if<core::Value>(&object)) return xmlNodeForValue(doc, *value, name, prefix);
  const auto& element = std::get<std::shared_ptr<WSElement>>(object);
  return element ? element->xmlNodeForDoc(doc, name, prefix) : nullptr;
}

}  // namespace kt
