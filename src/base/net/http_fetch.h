#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

namespace quarvel {

struct FetchLimits {
  std::chrono::milliseconds connect{4000};  // time to establish each connection
  std::chrono::milliseconds total{10000};   // whole request, redirects included
  qsizetype maxBytes = 64 * 1024 * 1024;    // larger bodies count as a failure
};

// A GET that returns the response body, or empty bytes on any failure (bad
// URL, no connection, time-out, HTTP status >= 400, too many redirects).
//
// Called on the GUI thread, the transfer runs on a worker thread while the
// caller waits as a Waiter does (handler_gate.h): the windows keep painting,
// user input and the program's other handlers wait until it returns. The wait
// never outlasts the total time-out by more than a second; a transfer still
// running then is abandoned and stops on its own.
//
// Redirects are followed hop by hop, at most five, on http and https only.
// A self-signed or otherwise invalid certificate is accepted only on a hop
// whose host is a loopback literal (see IsLoopbackHost).
QByteArray HttpGetBytes(const QString& url, const FetchLimits& limits = {});

// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackHost(const QString& host);

// For tests: host names the fetch resolves itself, as "host:port:address"
// entries; only loopback addresses are taken. An empty list ends it.
void SetFetchHostMapForTesting(const QStringList& entries);

}  // namespace quarvel
