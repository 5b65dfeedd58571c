#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

namespace quarvel {

struct FetchLimits {
  std::chrono::milliseconds connect{4000};  // time to establish the connection
  std::chrono::milliseconds total{10000};   // whole request, connection included
  qsizetype maxBytes = 64 * 1024 * 1024;    // larger bodies count as a failure
};

// Synchronous GET on the calling thread. Returns the response body, or empty
// bytes on any failure (bad URL, no connection, time-out, HTTP status >= 400).
// Self-signed certificates are accepted only from loopback hosts.
QByteArray HttpGetBytes(const QString& url, const FetchLimits& limits = {});

// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackHost(const QString& host);

}  // namespace quarvel
