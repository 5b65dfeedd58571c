#include "base/http_fetch.h"

#include <curl/curl.h>

#include <QHostAddress>
#include <QUrl>

#include <mutex>

#include "base/logging.h"

namespace quarvel {
namespace {

struct Body {
  QByteArray bytes;
  qsizetype limit;
  bool overflow = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  const size_t n = size * count;
  if (body->bytes.size() + static_cast<qsizetype>(n) > body->limit) {
    body->overflow = true;
    return 0;  // aborts the transfer
  }
  body->bytes.append(data, static_cast<qsizetype>(n));
  return n;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

bool IsLoopbackHost(const QString& host) {
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  QString bare = host;
  if (bare.startsWith('[') && bare.endsWith(']')) bare = bare.mid(1, bare.size() - 2);
  const QHostAddress address(bare);
  return !address.isNull() && address.isLoopback();
}

QByteArray HttpGetBytes(const QString& url, const FetchLimits& limits) {
  const QUrl parsed(url, QUrl::StrictMode);
  const QString scheme = parsed.scheme().toLower();
  if (!parsed.isValid() || (scheme != "http" && scheme != "https") || parsed.host().isEmpty()) {
    return {};
  }
  InitCurlOnce();
  CURL* curl = curl_easy_init();
  if (!curl) return {};

  Body body{{}, limits.maxBytes};
  const QByteArray encoded = parsed.toEncoded();
  curl_easy_setopt(curl, CURLOPT_URL, encoded.constData());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Quarvel/" QUARVEL_VERSION);
  if (IsLoopbackHost(parsed.host())) {
    // The bundled demo site serves HTTPS with a certificate made at its start.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  const CURLcode code = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  if (code != CURLE_OK || body.overflow) {
    qCWarning(lcFetch).noquote() << "fetch of" << url << "failed:"
                                 << (body.overflow ? "body too large" : curl_easy_strerror(code));
    return {};
  }
  return body.bytes;
}

}  // namespace quarvel
