#pragma once

#include "http/HCURLResponseSerialization.h"
#include "http/HCStringEncoding.h"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace kt {

// Checks a response's status code and MIME type and gives its body bytes unchanged (also when
// the check fails; the error then says why). The base of the decoding serializers.
class HCHTTPResponseSerializer : public HCURLResponseSerialization {
 public:
  HCHTTPResponseSerializer();
  ~HCHTTPResponseSerializer() override = default;
  static std::shared_ptr<HCHTTPResponseSerializer> serializer() { return std::make_shared<HCHTTPResponseSerializer>(); }
  virtual const char* className() const { return "HCHTTPResponseSerializer"; }
  // A serializer of the same class with the same settings.
  virtual std::shared_ptr<HCHTTPResponseSerializer> copy() const;

  // Archiving: a dictionary naming the class, with "acceptableStatusCodes" (an array of
  // integers) and "acceptableContentTypes" (an array of strings), each absent when unset;
  // subclasses add their own settings.
  static bool supportsSecureCoding() { return true; }
  virtual core::Value encodeWithCoder() const;
  // A serializer of the archived class with its defaults, then the archived settings (an absent
  // set is unset; entries of the wrong type are left out). Null for an archive of a class that
  // is not a response serializer.
  static std::shared_ptr<HCHTTPResponseSerializer> initWithCoder(const core::Value& coder);

  uint64_t stringEncoding() const { return m_stringEncoding; }
  void setStringEncoding(uint64_t encoding) { m_stringEncoding = encoding; }
  // Nothing: every code is accepted. Default 200 to 299.
  const std::optional<std::set<int>>& acceptableStatusCodes() const { return m_acceptableStatusCodes; }
  void setAcceptableStatusCodes(std::optional<std::set<int>> codes) { m_acceptableStatusCodes = std::move(codes); }
  // Nothing: every MIME type is accepted (the default here).
  const std::optional<std::set<std::string>>& acceptableContentTypes() const { return m_acceptableContentTypes; }
  void setAcceptableContentTypes(std::optional<std::set<std::string>> types) {
    m_acceptableContentTypes = std::move(types);
  }

  // Whether the response passes; when not, *error (when given) receives the reason, which may be
  // nothing (an unacceptable type with an empty body or no URL).
  bool validateResponse(const net::HTTPURLResponse* response, const std::optional<std::string>& data,
                        std::optional<core::Error>* error) const;

  HCResponseObject responseObjectForResponse(const net::HTTPURLResponse* response,
                                             const std::optional<std::string>& data,
                                             std::optional<core::Error>* error) const override;

  // `error` with `underlying` as its cause (see the implementation for the cases).
  static std::optional<core::Error> errorWithUnderlyingError(const std::optional<core::Error>& error,
                                                             const std::optional<core::Error>& underlying);
  // Whether the error, or one under it, is an unacceptable-content-type failure.
  static bool isContentTypeFailure(const core::Error& error);

 protected:
  // The step every decoding serializer takes first: false when the body must not be decoded
  // (a content-type failure, or a failure the caller did not ask to hear about).
  bool validateForDecoding(const net::HTTPURLResponse* response, const std::optional<std::string>& data,
                           std::optional<core::Error>* error) const;
  void copySettingsInto(HCHTTPResponseSerializer& other) const;
  // Reads the archived settings of this class (a subclass reads the base part first).
  virtual void decodeWithCoder(const core::Value& coder);

 private:
  uint64_t m_stringEncoding = HCStringEncodingUTF8;
  std::optional<std::set<int>> m_acceptableStatusCodes;
  std::optional<std::set<std::string>> m_acceptableContentTypes;
};

}  // namespace kt
