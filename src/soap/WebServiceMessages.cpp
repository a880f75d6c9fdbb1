#include "soap/WebServiceMessages.h"

#include "soap/WSObject.h"

namespace kt {

namespace {

constexpr WSElement::Field kFileFields[] = {
    {"FileName", &WSStringClass},
    {"flag", &WSNumberClass},
};

constexpr WSElement::Field kFilePartFields[] = {
    {"Bytes", &WSDataClass},
    {"Position", &WSNumberClass},
    {"FileName", &WSStringClass},
    {"len", &WSNumberClass},
};

constexpr WSElement::Field kUploadFileBytesFields[] = {
    {"Bytes", &WSDataClass},
    {"FileName", &WSStringClass},
    {"flag", &WSNumberClass},
};

constexpr WSElement::Field kUploadFileBytesResponseFields[] = {
    {"UploadFileBytesResult", &WSStringClass},
};

constexpr WSElement::Field kUploadFileChunkBytesFields[] = {
    {"Bytes", &WSDataClass},
    {"Position", &WSNumberClass},
    {"FileName", &WSStringClass},
    {"flag", &WSNumberClass},
};

constexpr WSElement::Field kUploadFileChunkBytesResponseFields[] = {
    {"UploadFileChunkBytesResult", &WSStringClass},
};

constexpr WSElement::Field kDownloadFileBytesResponseFields[] = {
    {"DownloadFileBytesResult", &WSDataClass},
};

constexpr WSElement::Field kDeleteFileResponseFields[] = {
    {"DeleteFileResult", &WSStringClass},
};

constexpr WSElement::Field kGetAllFilesFields[] = {
    {"bianHao", &WSStringClass},
};

constexpr WSElement::Field kGetAllFilesResponseFields[] = {
    {"GetAllFilesResult", &WebServiceArrayOfStringClass},
};

constexpr WSElement::Field kUpLoadMovieDBResponseFields[] = {
    {"UpLoadMovieDBResult", &WSStringClass},
};

constexpr WSElement::Field kUpStoreWineImageResponseFields[] = {
    {"UpStoreWineImageResult", &WSStringClass},
};

}  // namespace

WSFileRequest::WSFileRequest() : WSElement(kFileFields) {}
WSFilePartRequest::WSFilePartRequest() : WSElement(kFilePartFields) {}

WebService_UploadFileBytes::WebService_UploadFileBytes() : WSMessage(kUploadFileBytesFields) {}
WebService_UploadFileBytesResponse::WebService_UploadFileBytesResponse() : WSMessage(kUploadFileBytesResponseFields) {}
WebService_UploadFileChunkBytes::WebService_UploadFileChunkBytes() : WSMessage(kUploadFileChunkBytesFields) {}
WebService_UploadFileChunkBytesResponse::WebService_UploadFileChunkBytesResponse()
    : WSMessage(kUploadFileChunkBytesResponseFields) {}
WebService_DownloadFileBytes::WebService_DownloadFileBytes() = default;
WebService_DownloadFileBytesResponse::WebService_DownloadFileBytesResponse()
    : WSMessage(kDownloadFileBytesResponseFields) {}
WebService_DeleteFile::WebService_DeleteFile() = default;
WebService_DeleteFileResponse::WebService_DeleteFileResponse() : WSMessage(kDeleteFileResponseFields) {}
WebService_GetAllFiles::WebService_GetAllFiles() : WSMessage(kGetAllFilesFields) {}
WebService_GetAllFilesResponse::WebService_GetAllFilesResponse() : WSMessage(kGetAllFilesResponseFields) {}
WebService_UpLoadMovieDB::WebService_UpLoadMovieDB() = default;
WebService_UpLoadMovieDBResponse::WebService_UpLoadMovieDBResponse() : WSMessage(kUpLoadMovieDBResponseFields) {}
WebService_UpStoreWineImage::WebService_UpStoreWineImage() = default;
WebService_UpStoreWineImageResponse::WebService_UpStoreWineImageResponse()
    : WSMessage(kUpStoreWineImageResponseFields) {}

std::shared_ptr<WebService_ArrayOfString> WebService_GetAllFilesResponse::GetAllFilesResult() const {
  const auto* element = std::get_if<std::shared_ptr<WSElement>>(&valueAt(0));
  return element ? std::dynamic_pointer_cast<WebService_ArrayOfString>(*element) : nullptr;
}

void WebService_GetAllFilesResponse::setGetAllFilesResult(std::shared_ptr<WebService_ArrayOfString> value) {
  setValueAt(0, value ? WSObject(std::shared_ptr<WSElement>(std::move(value))) : WSObject(core::Value()));
}

}  // namespace kt
