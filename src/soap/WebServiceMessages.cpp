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

WebService_UploadFileBytes::WebService_UploadFileBytes() : WSElement(kUploadFileBytesFields) {}
WebService_UploadFileBytesResponse::WebService_UploadFileBytesResponse() : WSElement(kUploadFileBytesResponseFields) {}
WebService_UploadFileChunkBytes::WebService_UploadFileChunkBytes() : WSElement(kUploadFileChunkBytesFields) {}
WebService_UploadFileChunkBytesResponse::WebService_UploadFileChunkBytesResponse()
    : WSElement(kUploadFileChunkBytesResponseFields) {}
WebService_DownloadFileBytes::WebService_DownloadFileBytes() = default;
WebService_DownloadFileBytesResponse::WebService_DownloadFileBytesResponse()
    : WSElement(kDownloadFileBytesResponseFields) {}
WebService_DeleteFile::WebService_DeleteFile() = default;
WebService_DeleteFileResponse::WebService_DeleteFileResponse() : WSElement(kDeleteFileResponseFields) {}
WebService_GetAllFiles::WebService_GetAllFiles() : WSElement(kGetAllFilesFields) {}
WebService_GetAllFilesResponse::WebService_GetAllFilesResponse() : WSElement(kGetAllFilesResponseFields) {}
WebService_UpLoadMovieDB::WebService_UpLoadMovieDB() = default;
WebService_UpLoadMovieDBResponse::WebService_UpLoadMovieDBResponse() : WSElement(kUpLoadMovieDBResponseFields) {}
WebService_UpStoreWineImage::WebService_UpStoreWineImage() = default;
WebService_UpStoreWineImageResponse::WebService_UpStoreWineImageResponse()
    : WSElement(kUpStoreWineImageResponseFields) {}

std::shared_ptr<WebService_ArrayOfString> WebService_GetAllFilesResponse::GetAllFilesResult() const {
  const auto* element = std::get_if<std::shared_ptr<WSElement>>(&valueAt(0));
  return element ? std::dynamic_pointer_cast<WebService_ArrayOfString>(*element) : nullptr;
}

void WebService_GetAllFilesResponse::setGetAllFilesResult(std::shared_ptr<WebService_ArrayOfString> value) {
  setValueAt(0, value ? WSObject(std::shared_ptr<WSElement>(std::move(value))) : WSObject(core::Value()));
}

}  // namespace kt
