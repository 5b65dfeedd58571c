#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>

namespace quarvel {

struct FetchLimits {
  std::chrono::milliseconds connect{4000};  // time to establish each connection
  std::chrono::milliseconds total{10000};   // whole request, redirects included
  qsizetype maxBytes = 64 * 1024 * 1024;    // larger bodies count as a failure
};

// What a GET brought: the body of a success, or why there is none.
struct HttpReply {
  QByteArray body;  // only when ok
  bool ok = false;
  int status = 0;  // the last hop's HTTP status; 0 when no answer came
  // A failure that may well pass: no connection, a reset or a time-out, or
  // a site that asked to wait (HTTP 429 or 503).
  bool transient = false;
  // The wait a 429 or 503 asked for in its Retry-After, in seconds (see
  // RetryAfterSeconds); -1 when it named none (or one that could not be read).
  int retryAfterSeconds = -1;

  HttpReply() = default;
  // A body that came (as fakes give it): empty bytes count as a failure.
  HttpReply(QByteArray bytes) : body(std::move(bytes)), ok(!body.isEmpty()) {}  // NOLINT
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
// The same GET, telling how it failed.
HttpReply HttpGet(const QString& url, const FetchLimits& limits = {});

// The longest wait a site's Retry-After gets: a longer one counts as this.
constexpr int kLongestRetryAfterSeconds = 120;

// The seconds a Retry-After value asks for, at most kLongestRetryAfterSeconds:
// a number of seconds, or an HTTP date (in any of its three forms, counted
// from now); -1 when it is neither.
int RetryAfterSeconds(const QByteArray& value, const QDateTime& now);

// The wait reply asked for, in milliseconds (at most the longest); 0 when it
// named none.
int RetryAfterMs(const HttpReply& reply);

// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackHost(const QString& host);

// For tests: host names the fetch resolves itself, as "host:port:address"
// entries; only loopback addresses are taken. An empty list ends it.
void SetFetchHostMapForTesting(const QStringList& entries);

}  // namespace quarvel
