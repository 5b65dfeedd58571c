#pragma once

#include <QSet>
#include <QString>
#include <QtGlobal>

#include <mutex>

namespace quarvel {

// The browser engine's default command line when QTWEBENGINE_CHROMIUM_FLAGS
// is not set: only fatal messages from the engine's own log (its certificate
// and GPU chatter is noise: the program reports real failures itself). Each
// browser keeps a render process of its own, so that a page that hangs or
// kills its renderer takes no other browser with it.
inline constexpr char kDefaultEngineFlags[] = "--disable-background-networking --log-level=3";

// Keeps a normal run's standard error empty: sets the engine flags above
// unless the user chose some, turns off the engine's context dump
// (qt.webenginecontext) and the console messages of the hidden pages (js),
// which QT_LOGGING_RULES can turn on again, and drops the toolkit's remarks
// about the environment (see IsToolkitNoise). Call before the application
// object is created.
void QuietToolkitOutput();

// Toolkit messages about how the program was started rather than about a
// problem: a missing XDG_RUNTIME_DIR (the toolkit falls back on its own), the
// engine's note that the user disabled its sandbox, and on the offscreen
// platform (headless runs) its lack of OpenGL and of window size hints.
bool IsToolkitNoise(QtMsgType type, const char* category, const QString& message,
                    const QString& platform);

// The media toolkit's messages say the same again for each sound it plays
// (no sound server, say): each is printed the first time only.
class ToolkitRepeats {
 public:
  // True for a message of a qt.multimedia category already let through.
  bool IsRepeat(const char* category, const QString& message);

 private:
  static constexpr qsizetype kMaxKept = 256;
  std::mutex mutex_;
  QSet<QString> seen_;
};

// The browser engine does not start as root with its sandbox on: it ends the
// process at once, and its own message is among those the flags above keep
// quiet. What to tell the user instead, or empty when the engine can start:
// root is the process's effective user, sandboxDisabled whether
// QTWEBENGINE_DISABLE_SANDBOX is set, engineFlags QTWEBENGINE_CHROMIUM_FLAGS.
QString RootSandboxProblem(bool root, bool sandboxDisabled, const QString& engineFlags);
// The same for this process and its environment.
QString EngineStartProblem();

}  // namespace quarvel
