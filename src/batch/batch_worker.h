#pragma once

// The lines between a batch and its worker processes. With more than one job
// each engine runs in a worker process of its own (`quarvel-cli
// batch-worker`), so that one engine's waits (the comprehensive path's pause)
// hold only that engine. The batch writes one request a line to the worker's
// standard input and reads one outcome a line from its standard output; both
// are compact JSON objects.
#include <QByteArray>
#include <QByteArrayView>

#include <optional>

#include "lookup/lookup_outcome.h"

namespace quarvel {

QByteArray EncodeWorkerRequest(const LookupRequest& request);
std::optional<LookupRequest> DecodeWorkerRequest(QByteArrayView line);

QByteArray EncodeWorkerOutcome(const LookupOutcome& outcome);
std::optional<LookupOutcome> DecodeWorkerOutcome(QByteArrayView line);

// Cuts a byte stream into lines ("\n", without it). A line longer than
// kMaxLine is no line of the protocol: the buffer then stays broken.
class LineBuffer {
 public:
  static constexpr qsizetype kMaxLine = 1 << 20;

  void Append(QByteArrayView bytes);
  // The next whole line, if one has come.
  std::optional<QByteArray> Next();
  bool Broken() const { return broken_; }

 private:
  void Scan();
  QByteArray pending_;
  qsizetype scanned_ = 0;   // bytes at the front known to hold no newline
  qsizetype newline_ = -1;  // where the first line ends, if it does
  bool broken_ = false;
};

}  // namespace quarvel
