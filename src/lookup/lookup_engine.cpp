#include "lookup/lookup_engine.h"

#include <QPointer>
#include <QTimer>

#include "base/handler_gate.h"

namespace quarvel {

LookupEngine::LookupEngine(Config config, LookupTimings timings, LookupView& view,
                           BrowserPort& lookupBrowser, BrowserPort& warrantyBrowser, Fetch fetch,
                           QObject* parent)
    : QObject(parent),
      config_(std::move(config)),
      timings_(timings),
      view_(view),
      lookupBrowser_(lookupBrowser),
      warrantyBrowser_(warrantyBrowser),
      fetch_(std::move(fetch)),
      lookupResultTimer_(new QTimer(this)),
      warrantyResultTimer_(new QTimer(this)),
      warrantyFormTimer_(new QTimer(this)),
      lookupDeadline_(new QTimer(this)),
      warrantyDeadline_(new QTimer(this)) {
  lookupResultTimer_->setObjectName(QStringLiteral("时钟1"));
  warrantyResultTimer_->setObjectName(QStringLiteral("时钟2"));
  warrantyFormTimer_->setObjectName(QStringLiteral("时钟3"));
  lookupDeadline_->setObjectName(QStringLiteral("LookupDeadline"));
  warrantyDeadline_->setObjectName(QStringLiteral("WarrantyDeadline"));
  lookupDeadline_->setSingleShot(true);
  warrantyDeadline_->setSingleShot(true);
  ConnectTick(lookupResultTimer_, this, [this] { OnLookupResultTick(); });
  ConnectTick(warrantyFormTimer_, this, [this] { OnWarrantyFormTick(); });
  ConnectTick(warrantyResultTimer_, this, [this] { OnWarrantyResultTick(); });
  ConnectTick(lookupDeadline_, this, [this] { OnLookupTimedOut(); });
  ConnectTick(warrantyDeadline_, this, [this] { OnWarrantyTimedOut(); });
  // A fresh page goes where start-up sent each browser.
  lookupBrowser_.SetHome(config_.portalHost);
  warrantyBrowser_.SetHome(config_.WarrantyPageUrl());
  // The browsers may outlive the engine, or go first.
  const QPointer<LookupEngine> self(this);
  lookupBrowser_.OnPageReplaced([self](const QString& reason) {
    if (self) self->OnLookupPageLost(reason);
  });
  warrantyBrowser_.OnPageReplaced([self](const QString& reason) {
    if (self) self->OnWarrantyPageLost(reason);
  });
}

void LookupEngine::End(LookupEnd end, const QElapsedTimer& since) {
  end.milliseconds = since.isValid() ? since.elapsed() : 0;
  emit Ended(end);
}

}  // namespace quarvel
