#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QTimer;
class QWebEnginePage;
class QWebEngineView;

namespace quarvel {

// Keeps a hidden browser's page alive. A page whose render process died, or
// that stops answering (a script that never yields, a loop of new windows),
// would take every later lookup in that browser with it: the keeper notices
// and puts a fresh page, made as the first one was, in its place.
//
// The page's own requests tell it when to look: a request that went
// unanswered for its whole deadline (NoteUnanswered) makes the keeper ask the
// page for a sign of life, without waiting for it; a page that gives none in
// kProbeMs is replaced. A render process that ends is replaced at once.
// Replacements run as handlers of their own (never inside another handler),
// end the old render process, log the reason under quarvel.webpage and send
// the fresh page to the browser's home address.
class PageKeeper : public QObject {
  Q_OBJECT
 public:
  using PageFactory = std::function<QWebEnginePage*(QWebEngineView* view)>;

  // Watches view's page from now on; makePage builds each fresh page (its
  // parent is the view).
  PageKeeper(QWebEngineView* view, PageFactory makePage);
  ~PageKeeper() override;

  // The keeper of a browser made by CreateBrowser, or nullptr.
  static PageKeeper* Of(const QWebEngineView* view);

  // A request to page went unanswered for its whole deadline.
  static void NoteUnanswered(QWebEnginePage* page);

  // Asks the page for a sign of life without waiting for it; then runs, as a
  // handler of its own, once the page answered or waitMs passed. A page that
  // gave none by then (unless it is still loading and its render process
  // works) is to be replaced first: a page that hangs after its lookup ended
  // costs that lookup, not the next, and the others' handlers run meanwhile.
  void CheckAlive(int waitMs, std::function<void()> then);

  // Where a fresh page goes (empty: it stays blank).
  void SetHome(const QString& url) { home_ = url; }
  const QString& home() const { return home_; }

  // The page is to be replaced: it is not to be read any more.
  bool ReplacementPending() const { return !pendingReason_.isEmpty(); }

  // How many times the page was replaced.
  int Replacements() const { return replacements_; }

  static constexpr int kProbeMs = 2500;
  static constexpr int kProbeRounds = 3;
  // A page still loading whose render process keeps working (a huge
  // document being parsed and laid out, on a machine busy with other work)
  // is slow, not dead: it is asked again for up to this long.
  static constexpr int kBusyGraceMs = 30000;
  // Processor time the render process must have used during a probe to
  // count as working.
  static constexpr int kWorkingCpuMs = 100;

  // Reasons, as the lookups record them.
  static QString StoppedAnswering();
  static QString Crashed();

 signals:
  // The page was replaced; the fresh page is on its way home.
  void PageReplaced(const QString& reason);

 private:
  void Watch();
  void Probe();
  // The render process used processor time since the probe began.
  bool Working() const;
  void OnProbeEnded();
  void ScheduleReplacement(const QString& reason);
  void Replace();

  QPointer<QWebEngineView> view_;
  PageFactory makePage_;
  QPointer<QWebEnginePage> watched_;
  QList<QMetaObject::Connection> connections_;
  QTimer* probeTimer_;
  QString home_;
  QString pendingReason_;
  quint64 probe_ = 0;      // the probe in flight; 0 for none
  bool answered_ = false;  // the probe in flight was answered
  int lifeSigns_ = 0;      // loads and process changes seen (a navigating page)
  int lifeSignsAtProbe_ = 0;
  int rounds_ = 0;
  int replacements_ = 0;
  bool loading_ = false;
  qint64 cpuAtProbe_ = -1;  // the render process's processor time then
  int busyMs_ = 0;          // grace given so far to a working page
};

}  // namespace quarvel
