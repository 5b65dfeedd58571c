#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "lookup/announcer.h"
#include "lookup/lookup_outcome.h"

namespace quarvel {

// The narrow interfaces through which the lookup engine works: the pages of
// the two hidden browsers, and the view that shows the lookup's states.

// One read of a page. A page that did not answer in time, or was navigating
// away, is not readable yet: that is not the same as a page with no text.
struct PageRead {
  bool readable = false;
  QString text;
};

// One handler's attachment to the page a browser shows (a fresh page helper,
// dropped at the end of the handler).
class PageVisit {
 public:
  virtual ~PageVisit() = default;
  virtual PageRead Text() = 0;
  virtual PageRead Html() = 0;
  // The second text-like input gets value; the first button-like element is clicked.
  virtual bool FillTextInput(const QString& identifier, const QString& value) = 0;
  virtual bool ClickElement(const QString& identifier) = 0;
};

// A hidden browser.
class BrowserPort {
 public:
  virtual ~BrowserPort() = default;
  virtual std::unique_ptr<PageVisit> Attach() = 0;
  // Starts loading url and returns at once; a bare host is taken as http.
  virtual void Navigate(const QString& url) = 0;
  // Where the browser's page goes when it is replaced by a fresh one.
  virtual void SetHome(const QString& /*url*/) {}
  // handler(reason) runs, as a handler of its own, each time the browser's
  // page was replaced because it stopped answering or its render process
  // ended: whatever that page was doing is lost.
  using Replaced = std::function<void(const QString& reason)>;
  virtual void OnPageReplaced(Replaced /*handler*/) {}
  // How the load of the page since the last Navigate failed: the HTTP status
  // (400 or more) the site answered with, kNoAnswer when none came (no
  // connection, a reset, a time-out); 0 when it loaded or is still loading.
  static constexpr int kNoAnswer = -1;
  virtual int LoadFailure() { return 0; }
  // Why the load since the last Navigate (or the load a click started)
  // never reached its site: "connection refused: 127.0.0.1:18080" and the
  // like; empty when it did, or is still loading.
  virtual QString Unreachable() { return {}; }
  // handler runs, as a handler of its own, each time the browser's page has
  // finished a load (whichever page it is); with failuresOnly, only when the
  // load failed.
  using Loaded = std::function<void()>;
  virtual void OnLoaded(Loaded /*handler*/, bool /*failuresOnly*/ = false) {}
};

// The controls the lookups show and hide, by role (layout name in comments).
enum class LookupControl {
  ResultPicture,     // 图片框1
  BusyAnimation,     // 图片框2
  BusyLabel,         // 透明标签2
  WatermarkLabel,    // 透明标签3
  ModelLabel,        // 产品型号
  SerialLabel,       // 系列号
  WarrantyEndLabel,  // 保修截止
  ScreenshotButton,  // 按钮3
  MonthTableButton,  // 按钮4
  CopyButton,        // 按钮5
};

// Where a query's entry comes from: the window's entry box and radio
// buttons, or a batch's entry. Read each time a handler acts.
class EntrySource {
 public:
  virtual ~EntrySource() = default;
  // The entry box 编辑框1, as typed.
  virtual QString EntryText() = 0;
  // The path the radio buttons choose (单选框1 "综合查询", then 单选框2
  // "官网查询"), or none.
  virtual std::optional<LookupPath> ChosenPath() = 0;
};

// What the lookups show on the window. A batch has none.
class LookupView {
 public:
  virtual ~LookupView() = default;
  // The status text of notice, replacing the status panel's message.
  virtual void Tell(Notice notice) = 0;
  // The voice cue of notice.
  virtual void Sound(Notice notice) = 0;
  virtual void SetVisible(LookupControl control, bool visible) = 0;
  // The result labels' captions.
  virtual void SetCaption(LookupControl label, const QString& caption) = 0;
  // The picture of 图片框1: encoded image bytes; empty bytes clear it.
  virtual void SetResultPicture(const QByteArray& bytes) = 0;
};

}  // namespace quarvel
