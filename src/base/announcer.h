#pragma once

#include <QString>

namespace quarvel {

// How a handler tells the user what happened: the message of the status
// bar (panel 1, replacing the previous one) and a voice cue.
class Announcer {
 public:
  virtual ~Announcer() = default;
  virtual void SetStatus(const QString& text) = 0;
  // One cue given relative to the run directory, such as "\mp3\查询成功.mp3".
  virtual void PlayCue(const QString& cueLiteral) = 0;
};

}  // namespace quarvel
