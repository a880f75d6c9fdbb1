// Web service replies: the input's first byte picks the operation and the binding family, the
// rest is the reply body. Reading never fails silently: a body that is not XML gives the XML
// error and no parts, any other gives parts (or none for a reply without a Body) and no error;
// every part is a reply element of the operation or a fault.

#include <string>

#include "FuzzCheck.h"
#include "soap/SOAPFault.h"
#include "soap/WebService.h"
#include "soap/WebServiceBindingOperation.h"
#include "soap/WebServiceBindingResponse.h"
#include "soap/WebServiceMessages.h"

namespace {

using kt::WebServiceOperationInfo;

const WebServiceOperationInfo* const kOperations[] = {
    &WebServiceOperationInfo::UploadFileBytes, &WebServiceOperationInfo::UploadFileChunkBytes,
    &WebServiceOperationInfo::DownloadFileBytes, &WebServiceOperationInfo::DeleteFile,
    &WebServiceOperationInfo::GetAllFiles,      &WebServiceOperationInfo::UpLoadMovieDB,
    &WebServiceOperationInfo::UpStoreWineImage};

void touch(const kt::WebServiceBodyPart& part) {
  if (const auto* fault = std::get_if<std::shared_ptr<kt::SOAPFault>>(&part)) {
    KT_FUZZ_CHECK(*fault);
    const auto simple = (*fault)->simpleFaultString();
    KT_FUZZ_CHECK(simple.has_value() == (*fault)->faultstring().has_value());
    if (simple) KT_FUZZ_CHECK(simple->size() <= (*fault)->faultstring()->size());
    return;
  }
  const auto& element = std::get<std::shared_ptr<kt::WSElement>>(part);
  KT_FUZZ_CHECK(element);
  if (auto list = std::dynamic_pointer_cast<kt::WebService_GetAllFilesResponse>(element)) {
    if (auto names = list->GetAllFilesResult()) KT_FUZZ_CHECK(names->string().size() < (1u << 24));
  }
  for (size_t i = 0; i < element->fields().size(); ++i) element->valueAt(i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  kt::WebService::initialize();
  const WebServiceOperationInfo& info = *kOperations[data[0] % 7];
  const kt::WebServiceBindingNames& names =
      (data[0] & 0x80) ? kt::WebServiceBindingNames::Soap12 : kt::WebServiceBindingNames::Soap;
  kt::WebServiceBindingResponse response;
  kt::WebServiceBindingOperation::readReply(fuzz::bytes(data + 1, size - 1), info, names, response);
  if (response.error()) {
    KT_FUZZ_CHECK(response.error()->domain() == names.xmlErrorDomain && response.error()->code() == 1);
    KT_FUZZ_CHECK(!response.bodyParts());
    return 0;
  }
  if (response.bodyParts()) {
    for (const auto& part : *response.bodyParts()) touch(part);
  }
  return 0;
}
