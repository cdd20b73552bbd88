// A small HTTP(S) client for the endpoint tests, over libcurl, with a hard
// time limit on every request. Server certificates are not checked (the tests
// make their own self-signed one).
#pragma once

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>

namespace testsupport {

struct HttpResult {
  CURLcode code = CURLE_OK;  // CURLE_OK: a reply came
  std::string error;
  long status = 0;
  std::string content_type;
  std::string body;
};

struct HttpOptions {
  std::string method = "POST";
  std::optional<std::string> body;  // none: no body at all
  std::string content_type = "text/xml; charset=utf-8";
  // CURL_SSLVERSION_* pinning min and max; 0: what both sides agree on.
  long tls_version = 0;
  long timeout_ms = 10000;
};

inline HttpResult HttpCall(const std::string& url, const HttpOptions& options = {}) {
  HttpResult result;
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  char error[CURL_ERROR_SIZE] = {};
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, ("Content-Type: " + options.content_type).c_str());
  headers = curl_slist_append(headers, "Expect:");
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> header_list(headers, curl_slist_free_all);
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, options.timeout_ms);
  curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl.get(), CURLOPT_CUSTOMREQUEST, options.method.c_str());
  if (options.tls_version != 0) {
    curl_easy_setopt(curl.get(), CURLOPT_SSLVERSION,
                     options.tls_version | (options.tls_version << 16));
    // Old versions are off in OpenSSL's defaults: allow them, so that a
    // refusal comes from the server.
    curl_easy_setopt(curl.get(), CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");
  }
  if (options.body) {
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, options.body->data());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(options.body->size()));
  }
  curl_easy_setopt(
      curl.get(), CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t n, void* out) {
        static_cast<std::string*>(out)->append(data, size * n);
        return size * n;
      });
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &result.body);
  result.code = curl_easy_perform(curl.get());
  result.error = error;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.status);
  char* type = nullptr;
  curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_TYPE, &type);
  if (type != nullptr) result.content_type = type;
  return result;
}

}  // namespace testsupport
