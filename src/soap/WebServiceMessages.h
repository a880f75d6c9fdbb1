#pragma once

#include "soap/WSElement.h"
#include "soap/WebService_ArrayOfString.h"

#include <memory>
#include <optional>
#include <string>

namespace kt {

// The request and reply elements of the venue web service's seven operations. Each field is
// one child element of the same name; bytes travel as Base64 text, numbers as decimal text.

// A message element of class T over Base, read from a node by T::deserializeNode.
template <class T, class Base = WSElement>
class WSMessage : public Base {
 public:
  static std::shared_ptr<T> deserializeNode(_xmlNode* node) { return deserializeElement<T>(node); }

 protected:
  using Base::Base;
};

// The request of UploadFileBytes.
class WebService_UploadFileBytes : public WSMessage<WebService_UploadFileBytes> {
 public:
  WebService_UploadFileBytes();

  std::optional<std::string> Bytes() const { return dataAt(0); }
  void setBytes(const std::optional<std::string>& value) { setDataAt(0, value); }

  std::optional<std::string> FileName() const { return stringAt(1); }
  void setFileName(const std::optional<std::string>& value) { setStringAt(1, value); }

  std::optional<double> flag() const { return numberAt(2); }
  void setFlag(std::optional<double> value) { setNumberAt(2, value); }
};

// The reply of UploadFileBytes.
class WebService_UploadFileBytesResponse : public WSMessage<WebService_UploadFileBytesResponse> {
 public:
  WebService_UploadFileBytesResponse();

  std::optional<std::string> UploadFileBytesResult() const { return stringAt(0); }
  void setUploadFileBytesResult(const std::optional<std::string>& value) { setStringAt(0, value); }
};

// The request of UploadFileChunkBytes.
class WebService_UploadFileChunkBytes : public WSMessage<WebService_UploadFileChunkBytes> {
 public:
  WebService_UploadFileChunkBytes();

  std::optional<std::string> Bytes() const { return dataAt(0); }
  void setBytes(const std::optional<std::string>& value) { setDataAt(0, value); }

  std::optional<double> Position() const { return numberAt(1); }
  void setPosition(std::optional<double> value) { setNumberAt(1, value); }

  std::optional<std::string> FileName() const { return stringAt(2); }
  void setFileName(const std::optional<std::string>& value) { setStringAt(2, value); }

  std::optional<double> flag() const { return numberAt(3); }
  void setFlag(std::optional<double> value) { setNumberAt(3, value); }
};

// The reply of UploadFileChunkBytes.
class WebService_UploadFileChunkBytesResponse : public WSMessage<WebService_UploadFileChunkBytesResponse> {
 public:
  WebService_UploadFileChunkBytesResponse();

  std::optional<std::string> UploadFileChunkBytesResult() const { return stringAt(0); }
  void setUploadFileChunkBytesResult(const std::optional<std::string>& value) { setStringAt(0, value); }
};

// The fields of the requests that name a file: FileName and flag.
class WSFileRequest : public WSElement {
 public:
  std::optional<std::string> FileName() const { return stringAt(0); }
  void setFileName(const std::optional<std::string>& value) { setStringAt(0, value); }

  std::optional<double> flag() const { return numberAt(1); }
  void setFlag(std::optional<double> value) { setNumberAt(1, value); }

 protected:
  WSFileRequest();
};

// The request of DownloadFileBytes.
class WebService_DownloadFileBytes : public WSMessage<WebService_DownloadFileBytes, WSFileRequest> {
 public:
  WebService_DownloadFileBytes();
};

// The reply of DownloadFileBytes.
class WebService_DownloadFileBytesResponse : public WSMessage<WebService_DownloadFileBytesResponse> {
 public:
  WebService_DownloadFileBytesResponse();

  std::optional<std::string> DownloadFileBytesResult() const { return dataAt(0); }
  void setDownloadFileBytesResult(const std::optional<std::string>& value) { setDataAt(0, value); }
};

// The request of DeleteFile.
class WebService_DeleteFile : public WSMessage<WebService_DeleteFile, WSFileRequest> {
 public:
  WebService_DeleteFile();
};

// The reply of DeleteFile.
class WebService_DeleteFileResponse : public WSMessage<WebService_DeleteFileResponse> {
 public:
  WebService_DeleteFileResponse();

  std::optional<std::string> DeleteFileResult() const { return stringAt(0); }
  void setDeleteFileResult(const std::optional<std::string>& value) { setStringAt(0, value); }
};

// The request of GetAllFiles.
class WebService_GetAllFiles : public WSMessage<WebService_GetAllFiles> {
 public:
  WebService_GetAllFiles();

  std::optional<std::string> bianHao() const { return stringAt(0); }
  void setBianHao(const std::optional<std::string>& value) { setStringAt(0, value); }
};

// The reply of GetAllFiles.
class WebService_GetAllFilesResponse : public WSMessage<WebService_GetAllFilesResponse> {
 public:
  WebService_GetAllFilesResponse();

  std::shared_ptr<WebService_ArrayOfString> GetAllFilesResult() const;
  void setGetAllFilesResult(std::shared_ptr<WebService_ArrayOfString> value);
};

// The fields of the uploads in parts of a file of a given length: Bytes, Position, FileName and len.
class WSFilePartRequest : public WSElement {
 public:
  std::optional<std::string> Bytes() const { return dataAt(0); }
  void setBytes(const std::optional<std::string>& value) { setDataAt(0, value); }

  std::optional<double> Position() const { return numberAt(1); }
  void setPosition(std::optional<double> value) { setNumberAt(1, value); }

  std::optional<std::string> FileName() const { return stringAt(2); }
  void setFileName(const std::optional<std::string>& value) { setStringAt(2, value); }

  std::optional<double> len() const { return numberAt(3); }
  void setLen(std::optional<double> value) { setNumberAt(3, value); }

 protected:
  WSFilePartRequest();
};

// The request of UpLoadMovieDB.
class WebService_UpLoadMovieDB : public WSMessage<WebService_UpLoadMovieDB, WSFilePartRequest> {
 public:
  WebService_UpLoadMovieDB();
};

// The reply of UpLoadMovieDB.
class WebService_UpLoadMovieDBResponse : public WSMessage<WebService_UpLoadMovieDBResponse> {
 public:
  WebService_UpLoadMovieDBResponse();

  std::optional<std::string> UpLoadMovieDBResult() const { return stringAt(0); }
  void setUpLoadMovieDBResult(const std::optional<std::string>& value) { setStringAt(0, value); }
};

// The request of UpStoreWineImage.
class WebService_UpStoreWineImage : public WSMessage<WebService_UpStoreWineImage, WSFilePartRequest> {
 public:
  WebService_UpStoreWineImage();
};

// The reply of UpStoreWineImage.
class WebService_UpStoreWineImageResponse : public WSMessage<WebService_UpStoreWineImageResponse> {
 public:
  WebService_UpStoreWineImageResponse();

  std::optional<std::string> UpStoreWineImageResult() const { return stringAt(0); }
  void setUpStoreWineImageResult(const std::optional<std::string>& value) { setStringAt(0, value); }
};

}  // namespace kt
