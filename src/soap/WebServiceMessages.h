#pragma once

#include "soap/WSElement.h"
#include "soap/WebService_ArrayOfString.h"

#include <memory>
#include <optional>
#include <string>

namespace kt {

// The request and reply elements of the venue web service's seven operations. Each field is
// one child element of the same name; bytes travel as Base64 text, numbers as decimal text.

// The request of UploadFileBytes.
class WebService_UploadFileBytes : public WSElement {
 public:
  WebService_UploadFileBytes();

  std::optional<std::string> Bytes() const { return dataAt(0); }
  void setBytes(const std::optional<std::string>& value) { setDataAt(0, value); }

  std::optional<std::string> FileName() const { return stringAt(1); }
  void setFileName(const std::optional<std::string>& value) { setStringAt(1, value); }

  std::optional<double> flag() const { return numberAt(2); }
  void setFlag(std::optional<double> value) { setNumberAt(2, value); }

  static std::shared_ptr<WebService_UploadFileBytes> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_UploadFileBytes>(node);
  }
};

// The reply of UploadFileBytes.
class WebService_UploadFileBytesResponse : public WSElement {
 public:
  WebService_UploadFileBytesResponse();

  std::optional<std::string> UploadFileBytesResult() const { return stringAt(0); }
  void setUploadFileBytesResult(const std::optional<std::string>& value) { setStringAt(0, value); }

  static std::shared_ptr<WebService_UploadFileBytesResponse> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_UploadFileBytesResponse>(node);
  }
};

// The request of UploadFileChunkBytes.
class WebService_UploadFileChunkBytes : public WSElement {
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

  static std::shared_ptr<WebService_UploadFileChunkBytes> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_UploadFileChunkBytes>(node);
  }
};

// The reply of UploadFileChunkBytes.
class WebService_UploadFileChunkBytesResponse : public WSElement {
 public:
  WebService_UploadFileChunkBytesResponse();

  std::optional<std::string> UploadFileChunkBytesResult() const { return stringAt(0); }
  void setUploadFileChunkBytesResult(const std::optional<std::string>& value) { setStringAt(0, value); }

  static std::shared_ptr<WebService_UploadFileChunkBytesResponse> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_UploadFileChunkBytesResponse>(node);
  }
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
class WebService_DownloadFileBytes : public WSFileRequest {
 public:
  WebService_DownloadFileBytes();

  static std::shared_ptr<WebService_DownloadFileBytes> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_DownloadFileBytes>(node);
  }
};

// The reply of DownloadFileBytes.
class WebService_DownloadFileBytesResponse : public WSElement {
 public:
  WebService_DownloadFileBytesResponse();

  std::optional<std::string> DownloadFileBytesResult() const { return dataAt(0); }
  void setDownloadFileBytesResult(const std::optional<std::string>& value) { setDataAt(0, value); }

  static std::shared_ptr<WebService_DownloadFileBytesResponse> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_DownloadFileBytesResponse>(node);
  }
};

// The request of DeleteFile.
class WebService_DeleteFile : public WSFileRequest {
 public:
  WebService_DeleteFile();

  static std::shared_ptr<WebService_DeleteFile> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_DeleteFile>(node);
  }
};

// The reply of DeleteFile.
class WebService_DeleteFileResponse : public WSElement {
 public:
  WebService_DeleteFileResponse();

  std::optional<std::string> DeleteFileResult() const { return stringAt(0); }
  void setDeleteFileResult(const std::optional<std::string>& value) { setStringAt(0, value); }

  static std::shared_ptr<WebService_DeleteFileResponse> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_DeleteFileResponse>(node);
  }
};

// The request of GetAllFiles.
class WebService_GetAllFiles : public WSElement {
 public:
  WebService_GetAllFiles();

  std::optional<std::string> bianHao() const { return stringAt(0); }
  void setBianHao(const std::optional<std::string>& value) { setStringAt(0, value); }

  static std::shared_ptr<WebService_GetAllFiles> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_GetAllFiles>(node);
  }
};

// The reply of GetAllFiles.
class WebService_GetAllFilesResponse : public WSElement {
 public:
  WebService_GetAllFilesResponse();

  std::shared_ptr<WebService_ArrayOfString> GetAllFilesResult() const;
  void setGetAllFilesResult(std::shared_ptr<WebService_ArrayOfString> value);

  static std::shared_ptr<WebService_GetAllFilesResponse> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_GetAllFilesResponse>(node);
  }
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
class WebService_UpLoadMovieDB : public WSFilePartRequest {
 public:
  WebService_UpLoadMovieDB();

  static std::shared_ptr<WebService_UpLoadMovieDB> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_UpLoadMovieDB>(node);
  }
};

// The reply of UpLoadMovieDB.
class WebService_UpLoadMovieDBResponse : public WSElement {
 public:
  WebService_UpLoadMovieDBResponse();

  std::optional<std::string> UpLoadMovieDBResult() const { return stringAt(0); }
  void setUpLoadMovieDBResult(const std::optional<std::string>& value) { setStringAt(0, value); }

  static std::shared_ptr<WebService_UpLoadMovieDBResponse> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_UpLoadMovieDBResponse>(node);
  }
};

// The request of UpStoreWineImage.
class WebService_UpStoreWineImage : public WSFilePartRequest {
 public:
  WebService_UpStoreWineImage();

  static std::shared_ptr<WebService_UpStoreWineImage> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_UpStoreWineImage>(node);
  }
};

// The reply of UpStoreWineImage.
class WebService_UpStoreWineImageResponse : public WSElement {
 public:
  WebService_UpStoreWineImageResponse();

  std::optional<std::string> UpStoreWineImageResult() const { return stringAt(0); }
  void setUpStoreWineImageResult(const std::optional<std::string>& value) { setStringAt(0, value); }

  static std::shared_ptr<WebService_UpStoreWineImageResponse> deserializeNode(_xmlNode* node) {
    return deserializeElement<WebService_UpStoreWineImageResponse>(node);
  }
};

}  // namespace kt
