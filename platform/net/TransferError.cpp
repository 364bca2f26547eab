#include "platform/net/TransferError.h"

#include <string>

namespace platform::net {

namespace {

UrlError error(int code, const char* description, const std::string& detail) {
  return UrlError{code, description, detail};
}

}  // namespace

UrlError makeTransferError(CURLcode result, const char* transportDetail) {
  std::string detail = (transportDetail != nullptr && *transportDetail != '\0')
                           ? std::string(transportDetail)
                           : std::string(curl_easy_strerror(result));
  switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
      return error(UrlError::timedOut, "请求超时。", detail);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return error(UrlError::cannotFindHost, "未能找到使用指定主机名的服务器。", detail);
    case CURLE_COULDNT_CONNECT:
      return error(UrlError::cannotConnectToHost, "未能连接到服务器。", detail);
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
      return error(UrlError::networkConnectionLost, "网络连接已中断。", detail);
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return error(UrlError::unsupportedUrl, "不支持的URL。", detail);
    case CURLE_PEER_FAILED_VERIFICATION:
      return error(UrlError::serverCertificateUntrusted, "此服务器的证书无效，无法验证服务器身份。", detail);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return error(UrlError::secureConnectionFailed, "发生了SSL错误，无法建立与该服务器的安全连接。", detail);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_BAD_CONTENT_ENCODING:
      return error(UrlError::badServerResponse, "服务器的响应无效。", detail);
    case CURLE_ABORTED_BY_CALLBACK:
      return error(UrlError::cancelled, "已取消", detail);
    default:
      return error(UrlError::unknown, "发生了未知错误。", detail);
  }
}

}  // namespace platform::net
