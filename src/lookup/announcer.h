#pragma once

#include <QString>

namespace quarvel {

// What the program tells the user. Each notice is a status text, a voice cue
// or both; the texts and cues are the window's (gui/shell/notices), so that
// the lookups and batches deal in these names only.
enum class Notice {
  Cleared,            // the status panel is emptied
  NothingEntered,     // an empty entry
  Querying,           // a query starts
  EnterCorrectly,     // an empty lookup page, a rejected serial
  Found,              // a result is shown
  PictureNotFetched,  // a result page, but no picture came
  PictureNotSaved,    // the picture is shown but could not be stored
  NotFound,           // the lookup site found nothing
  TimedOut,           // a path without result in its time
  Unreachable,        // the site could not be reached
  Copied,             // the result is on the clipboard
  VoiceOff,
  VoiceOn,
  CaptureRefused,  // the desktop does not let the program take a picture
  ScreenshotSaved,
  ScreenshotAbandoned,
  Welcome,
  Instructions,
};

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
