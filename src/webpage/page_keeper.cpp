#include "webpage/page_keeper.h"

#include <QTimer>
#include <QWebEnginePage>

#include <QWebEngineScript>
#include <QWebEngineView>
#include <utility>

#include "base/config/logging.h"
#include "base/gate/handler_gate.h"
#include "platform/system/process.h"
#include "webpage/browser.h"

namespace quarvel {
namespace {

QString TerminationText(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
  switch (status) {
    case QWebEnginePage::NormalTerminationStatus:
      return QStringLiteral("ended (status %1)").arg(exitCode);
    case QWebEnginePage::AbnormalTerminationStatus:
      return QStringLiteral("ended abnormally (status %1)").arg(exitCode);
    case QWebEnginePage::CrashedTerminationStatus:
      return QStringLiteral("crashed (status %1)").arg(exitCode);
    case QWebEnginePage::KilledTerminationStatus:
      return QStringLiteral("was killed (status %1)").arg(exitCode);
  }
  return QStringLiteral("ended");
}

}  // namespace

QString PageKeeper::StoppedAnswering() { return QStringLiteral("page stopped answering"); }
QString PageKeeper::Crashed() { return QStringLiteral("browser crashed"); }

PageKeeper::PageKeeper(QWebEngineView* view, PageFactory makePage)
    : QObject(view), view_(view), makePage_(std::move(makePage)), probeTimer_(new QTimer(this)) {
  setObjectName(QStringLiteral("PageKeeper"));
  probeTimer_->setSingleShot(true);
  ConnectTick(probeTimer_, this, [this] { OnProbeEnded(); });
  Watch();
}

PageKeeper::~PageKeeper() {
  for (const auto& connection : connections_) disconnect(connection);
}

PageKeeper* PageKeeper::Of(const QWebEngineView* view) {
  return view ? view->findChild<PageKeeper*>(QStringLiteral("PageKeeper"),
                                             Qt::FindDirectChildrenOnly)
              : nullptr;
}

void PageKeeper::NoteUnanswered(QWebEnginePage* page) {
  if (!page) return;
  PageKeeper* keeper = Of(qobject_cast<QWebEngineView*>(page->parent()));
  if (!keeper || keeper->watched_ != page || keeper->probe_ != 0 ||
      !keeper->pendingReason_.isEmpty())
    return;
  keeper->rounds_ = 0;
  keeper->busyMs_ = 0;
  keeper->Probe();
}

void PageKeeper::Watch() {
  for (const auto& connection : connections_) disconnect(connection);
  connections_.clear();
  probeTimer_->stop();
  probe_ = 0;
  watched_ = view_ ? view_->page() : nullptr;
  if (!watched_) return;
  QWebEnginePage* page = watched_;
  connections_.append(connect(
      page, &QWebEnginePage::renderProcessTerminated, this,
      [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
        qCInfo(lcWebPage).noquote() << (view_ ? view_->objectName() : QString()) << "render process"
                                    << TerminationText(status, exitCode);
        ScheduleReplacement(Crashed());
      }));
  const auto lifeSign = [this] { ++lifeSigns_; };
  loading_ = false;
  connections_.append(connect(page, &QWebEnginePage::loadStarted, this, [this] {
    loading_ = true;
    ++lifeSigns_;
  }));
  connections_.append(connect(page, &QWebEnginePage::loadFinished, this, [this] {
    loading_ = false;
    ++lifeSigns_;
  }));
  connections_.append(connect(page, &QWebEnginePage::renderProcessPidChanged, this, lifeSign));
}

// Asks the page for a sign of life in its own world; a page whose render
// process runs its scripts answers at once, a hung one never does.
void PageKeeper::Probe() {
  if (!watched_) return;
  if (watched_->renderProcessPid() <= 0) return;  // no render process: nothing to ask
  static quint64 probes = 0;
  probe_ = ++probes;
  answered_ = false;
  lifeSignsAtProbe_ = lifeSigns_;
  cpuAtProbe_ = system::ProcessCpuMilliseconds(watched_->renderProcessPid());
  ++rounds_;
  const QPointer<PageKeeper> self(this);
  const quint64 probe = probe_;
  watched_->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                          [self, probe](const QVariant&) {
                            if (self && self->probe_ == probe) self->answered_ = true;
                          });
  probeTimer_->start(kProbeMs);
}

void PageKeeper::OnProbeEnded() {
  if (probe_ == 0) return;
  const bool answered = answered_;
  probe_ = 0;
  if (answered || !watched_) return;
  // A page that was navigating may have dropped the question with its old
  // document: ask the new one, a few times at most.
  if (lifeSigns_ != lifeSignsAtProbe_ && rounds_ < kProbeRounds) {
    Probe();
    return;
  }
  // A page that is still loading and whose render process works on it is
  // given longer; one that spins after its load, or does nothing at all, is
  // not.
  if (loading_ && busyMs_ < kBusyGraceMs && Working()) {
    busyMs_ += kProbeMs;
    --rounds_;
    Probe();
    return;
  }
  qCInfo(lcWebPage).noquote() << (view_ ? view_->objectName() : QString())
                              << "page gave no sign of life in" << kProbeMs * rounds_ + busyMs_
                              << "ms";
  ScheduleReplacement(StoppedAnswering());
}

void PageKeeper::CheckAlive(int waitMs, std::function<void()> then) {
  if (!watched_ || !pendingReason_.isEmpty() || watched_->renderProcessPid() <= 0) {
    HandlerGate::Deliver(nullptr, then);
    return;
  }
  struct Check {
    bool over = false;
    std::function<void()> then;
  };
  auto check = std::make_shared<Check>(Check{false, std::move(then)});
  const QPointer<QWebEnginePage> page = watched_;
  const qint64 cpuBefore = system::ProcessCpuMilliseconds(page->renderProcessPid());
  page->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                      [check](const QVariant&) {
                        if (std::exchange(check->over, true)) return;
                        HandlerGate::Deliver(nullptr, check->then);
                      });
  QTimer::singleShot(waitMs, this, [this, check, page, cpuBefore, waitMs] {
    if (std::exchange(check->over, true)) return;
    HandlerGate::Deliver(
        nullptr, [self = QPointer<PageKeeper>(this), check, page, cpuBefore, waitMs] {
          if (self && page && page == self->watched_ && self->pendingReason_.isEmpty()) {
            self->cpuAtProbe_ = cpuBefore;
            if (!(self->loading_ && self->Working())) {  // slow, not dead: its next request tells
              qCInfo(lcWebPage).noquote()
                  << (self->view_ ? self->view_->objectName() : QString())
                  << "page gave no sign of life after its lookup in" << waitMs << "ms";
              self->ScheduleReplacement(StoppedAnswering());
            }
          }
          check->then();
        });
  });
}

bool PageKeeper::Working() const {
  if (!watched_ || cpuAtProbe_ < 0) return false;
  const qint64 now = system::ProcessCpuMilliseconds(watched_->renderProcessPid());
  return now >= 0 && now - cpuAtProbe_ >= kWorkingCpuMs;
}

void PageKeeper::ScheduleReplacement(const QString& reason) {
  if (!pendingReason_.isEmpty()) return;
  pendingReason_ = reason;
  probeTimer_->stop();
  probe_ = 0;
  // Never inside the signal of the page being replaced, nor inside another
  // handler: after the event loop has come round, through the gate.
  // The keeper may be gone (its browser deleted) before a held delivery runs.
  QTimer::singleShot(0, this, [this] {
    HandlerGate::Deliver(this, [self = QPointer<PageKeeper>(this)] {
      if (self) self->Replace();
    });
  });
}

void PageKeeper::Replace() {
  const QString reason = pendingReason_;
  if (reason.isEmpty() || !view_) return;
  const QPointer<QWebEnginePage> old = view_->page();
  for (const auto& connection : connections_) disconnect(connection);
  connections_.clear();
  // A page that is gone takes its render process with it once no other page
  // uses that process: the engine ends it, hung or not.
  QWebEnginePage* fresh = makePage_(view_);
  view_->setPage(fresh);  // the old page, a child of the view, is deleted with it
  if (old) delete old.data();
  ++replacements_;
  pendingReason_.clear();
  qCWarning(lcWebPage).noquote() << view_->objectName() << "page replaced:" << reason;
  Watch();
  if (!home_.isEmpty()) Navigate(view_, home_);
  emit PageReplaced(reason);
}

}  // namespace quarvel
