#include "base/net/http_fetch.h"

#include <curl/curl.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/config/logging.h"
#include "base/gate/handler_gate.h"

namespace quarvel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kMaxRedirects = 5;
// How much longer than its total time-out a caller waits for a transfer.
constexpr milliseconds kWaitGrace{1000};

// One transfer. The worker thread and the waiting caller share it; the worker
// writes nothing else, so a caller that has gone leaves it nothing to break.
struct Job {
  std::string url;
  FetchLimits limits;
  std::vector<std::string> hostMap;
  std::atomic<bool> cancelled{false};

  std::mutex mutex;  // guards what follows
  bool finished = false;
  bool abandoned = false;  // the caller stopped waiting
  HttpReply result;
  std::function<void()> wake;  // ends the caller's wait; posted to the GUI thread
};

// The running workers, so that the process does not tear libcurl down under
// one of them at exit. Never destroyed: a worker may outlive static destruction.
struct Workers {
  std::mutex mutex;
  std::condition_variable idle;
  std::vector<std::weak_ptr<Job>> jobs;
  int running = 0;
};

Workers& RunningWorkers() {
  static Workers* workers = new Workers;
  return *workers;
}

// At exit: cancels what still runs and gives it a moment to stop.
void StopWorkersAtExit() {
  Workers& workers = RunningWorkers();
  std::unique_lock lock(workers.mutex);
  for (const auto& weak : workers.jobs)
    if (auto job = weak.lock()) job->cancelled = true;
  workers.idle.wait_for(lock, std::chrono::seconds(2), [&] { return workers.running == 0; });
}

std::mutex& HostMapMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<std::string>& HostMap() {
  static std::vector<std::string> entries;
  return entries;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    RunningWorkers();
    // Registered after libcurl's own clean-up, so it runs before it.
    std::atexit(StopWorkersAtExit);
  });
}

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

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Job*>(user)->cancelled.load() ? 1 : 0;  // non-zero aborts
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
template <typename T>
using CurlPtr = std::unique_ptr<T, CurlDeleter>;

std::string UrlPart(CURLU* url, CURLUPart part) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, 0) != CURLUE_OK || !text) return {};
  std::string value(text);
  curl_free(text);
  return value;
}

// Runs the GET, following redirects itself so that each hop's host is judged
// on its own. The URL is parsed once, by libcurl, and that parse is what is
// both judged and fetched.
// A failure of the connection rather than of the request: worth another try.
bool TransientCurlError(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SSL_CONNECT_ERROR:
      return true;
    default:
      return false;
  }
}

HttpReply Failed(int status = 0, bool transient = false) {
  HttpReply reply;
  reply.status = status;
  reply.transient = transient;
  return reply;
}

HttpReply Transfer(Job& job) {
  const Clock::time_point deadline = Clock::now() + job.limits.total;
  CurlPtr<curl_slist> resolve;
  for (const std::string& entry : job.hostMap)
    resolve.reset(curl_slist_append(resolve.release(), entry.c_str()));

  std::string url = job.url;
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || job.cancelled) return Failed(0, left.count() <= 0);
    CurlPtr<CURLU> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
      qCInfo(lcFetch) << "not a URL:" << QString::fromStdString(url).left(300);
      return Failed();
    }
    const QString scheme =
        QString::fromStdString(UrlPart(parsed.get(), CURLUPART_SCHEME)).toLower();
    const QString host = QString::fromStdString(UrlPart(parsed.get(), CURLUPART_HOST));
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) || host.isEmpty()) {
      qCInfo(lcFetch) << "refused: only http and https are fetched:" << QString::fromStdString(url);
      return Failed();
    }
    const bool loopback = IsLoopbackHost(host);

    CurlPtr<CURL> curl(curl_easy_init());
    if (!curl) return Failed();
    CURL* c = curl.get();
    Body body{{}, job.limits.maxBytes};
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_CURLU, parsed.get());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::min(job.limits.connect, left).count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &job);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Quarvel/" QUARVEL_VERSION);
    if (resolve) curl_easy_setopt(c, CURLOPT_RESOLVE, resolve.get());
    if (loopback) {
      // The bundled demo site serves HTTPS with a certificate made at its start.
      curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
      curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    const CURLcode code = curl_easy_perform(c);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_OK && status >= 400) {
      qCWarning(lcFetch).noquote()
          << "failed:" << QString::fromStdString(url).left(300) << "- HTTP" << status;
      HttpReply reply = Failed(static_cast<int>(status), status == 429 || status == 503);
      curl_header* header = nullptr;
      if (reply.transient &&
          curl_easy_header(c, "Retry-After", 0, CURLH_HEADER, -1, &header) == CURLHE_OK && header)
        reply.retryAfterSeconds =
            RetryAfterSeconds(QByteArray(header->value), QDateTime::currentDateTimeUtc());
      return reply;
    }
    if (code != CURLE_OK || body.overflow) {
      qCWarning(lcFetch).noquote() << "failed:" << QString::fromStdString(url).left(300) << "-"
                                   << (body.overflow ? QStringLiteral("body over the size limit")
                                       : *error      ? QString::fromUtf8(error)
                                                     : QString::fromUtf8(curl_easy_strerror(code)));
      return Failed(static_cast<int>(status), !body.overflow && TransientCurlError(code));
    }
    if (status < 300 || status >= 400) {
      HttpReply reply(std::move(body.bytes));
      reply.status = static_cast<int>(status);
      return reply;
    }
    char* next = nullptr;
    curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &next);
    if (!next)
      return Failed(static_cast<int>(status));  // a 3xx without a place to go holds no body we want
    qCDebug(lcFetch) << "redirected to" << next;
    url = next;
  }
  qCInfo(lcFetch) << "refused: more than" << kMaxRedirects << "redirects from"
                  << QString::fromStdString(job.url);
  return Failed();
}

void RunWorker(std::shared_ptr<Job> job) {
  HttpReply result = Transfer(*job);
  {
    std::lock_guard lock(job->mutex);
    job->result = std::move(result);
    job->finished = true;
    // While the caller still waits, the application exists.
    if (!job->abandoned)
      QMetaObject::invokeMethod(QCoreApplication::instance(), job->wake, Qt::QueuedConnection);
  }
  Workers& workers = RunningWorkers();
  std::lock_guard lock(workers.mutex);
  --workers.running;
  std::erase_if(workers.jobs, [&](const std::weak_ptr<Job>& weak) {
    const auto other = weak.lock();
    return !other || other == job;
  });
  workers.idle.notify_all();
}

bool StartWorker(const std::shared_ptr<Job>& job) {
  Workers& workers = RunningWorkers();
  std::lock_guard lock(workers.mutex);
  try {
    std::thread(RunWorker, job).detach();
  } catch (const std::system_error&) {
    return false;
  }
  ++workers.running;
  workers.jobs.push_back(job);
  return true;
}

}  // namespace

bool IsLoopbackHost(const QString& host) {
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  QString bare = host;
  if (bare.startsWith('[') && bare.endsWith(']')) bare = bare.mid(1, bare.size() - 2);
  const QHostAddress address(bare);
  return !address.isNull() && address.isLoopback();
}

void SetFetchHostMapForTesting(const QStringList& entries) {
  std::vector<std::string> accepted;
  for (const QString& entry : entries) {
    const QString address = entry.section(QLatin1Char(':'), 2);
    if (IsLoopbackHost(address) && address.compare("localhost", Qt::CaseInsensitive) != 0)
      accepted.push_back(entry.toStdString());
  }
  std::lock_guard lock(HostMapMutex());
  HostMap() = std::move(accepted);
}

int RetryAfterSeconds(const QByteArray& value, const QDateTime& now) {
  const QByteArray text = value.trimmed();
  if (!text.isEmpty() &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    // However many digits: the sum stays at the cap, so it cannot overflow.
    int seconds = 0;
    for (const char c : text)
      seconds = std::min(seconds * 10 + (c - '0'), kLongestRetryAfterSeconds);
    return seconds;
  }
  // An HTTP date: "Sun, 06 Nov 1994 08:49:37 GMT", or one of the two older
  // forms, "Sunday, 06-Nov-94 08:49:37 GMT" and "Sun Nov  6 08:49:37 1994".
  // The RFC 2822 reading takes the last one as it is, and the others once
  // "GMT" is an offset and the older form's day is written as the newer's.
  QString date = QString::fromLatin1(text).simplified();
  if (date.endsWith(QLatin1String(" GMT"))) date = date.chopped(4) + QLatin1String(" +0000");
  static const QRegularExpression kOldForm(
      QStringLiteral("^[A-Za-z]+, (\\d\\d)-([A-Za-z]{3})-(\\d\\d) "));
  if (const QRegularExpressionMatch old = kOldForm.match(date); old.hasMatch()) {
    // A two-digit year is the one of this century unless that lies more than
    // 50 years ahead.
    int year = now.date().year() / 100 * 100 + old.captured(3).toInt();
    if (year > now.date().year() + 50) year -= 100;
    date = QStringLiteral("%1 %2 %3 ").arg(old.captured(1), old.captured(2)).arg(year) +
           date.mid(old.capturedLength());
  }
  // Without an offset (the asctime form) the time is read as UTC.
  const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
  if (!when.isValid()) return -1;
  return static_cast<int>(std::clamp<qint64>(now.secsTo(when), 0, kLongestRetryAfterSeconds));
}

int RetryAfterMs(const HttpReply& reply) {
  return std::clamp(reply.retryAfterSeconds, 0, kLongestRetryAfterSeconds) * 1000;
}

QByteArray HttpGetBytes(const QString& url, const FetchLimits& limits) {
  HttpReply reply = HttpGet(url, limits);
  return reply.ok ? std::move(reply.body) : QByteArray();
}

HttpReply HttpGet(const QString& url, const FetchLimits& limits) {
  InitCurlOnce();
  auto job = std::make_shared<Job>();
  job->url = url.toStdString();
  job->limits = limits;
  {
    std::lock_guard lock(HostMapMutex());
    job->hostMap = HostMap();
  }
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) return Transfer(*job);

  Waiter waiter;
  job->wake = waiter.DoneCallback();
  if (!StartWorker(job)) return Failed(0, true);
  waiter.Wait(static_cast<int>((limits.total + kWaitGrace).count()));
  std::lock_guard lock(job->mutex);
  if (!job->finished) {
    job->abandoned = true;
    job->cancelled = true;
    qCWarning(lcFetch) << "gave up waiting for" << url.left(300);
    return Failed(0, true);
  }
  return std::move(job->result);
}

}  // namespace quarvel
