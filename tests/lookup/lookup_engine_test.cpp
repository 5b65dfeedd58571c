// The lookup engine on fake pages and a recording view: every step of the
// two paths and the order in which the window would change, without a
// browser.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <vector>

#include "base/files/safe_file.h"
#include "base/gate/handler_gate.h"
#include "base/gate/timer_interval.h"
#include "lookup/comprehensive_site.h"
#include "lookup/lookup_engine.h"
#include "lookup/lookup_site.h"
#include "lookup/official_site.h"
#include "lookup/site_diagnostics.h"
#include "support/test_pictures.h"
#include "support/wait.h"

namespace quarvel {
namespace {

const char* Name(LookupControl control) {
  static const char* const kNames[] = {"图片框1", "图片框2",  "透明标签2", "透明标签3", "产品型号",
                                       "系列号",  "保修截止", "按钮3",     "按钮4",     "按钮5"};
  return kNames[static_cast<int>(control)];
}

// What the view was told, in order.
class RecordingView : public EntrySource, public LookupView {
 public:
  QString entry;
  bool official = false;
  QStringList log;

  QString EntryText() override { return entry; }
  std::optional<LookupPath> chosen;  // beyond the two radio buttons
  std::optional<LookupPath> ChosenPath() override {
    if (chosen) return chosen;
    return official ? LookupPath::Official : LookupPath::Comprehensive;
  }
  void Tell(Notice notice) override { log << "status " + NameOf(notice); }
  void Sound(Notice notice) override { log << "cue " + NameOf(notice); }
  static QString NameOf(Notice notice) {
    static const char* const kNames[] = {"Cleared",         "NothingEntered", "Querying",
                                         "EnterCorrectly",  "Found",          "PictureNotFetched",
                                         "PictureNotSaved", "NotFound",       "TimedOut"};
    const auto index = static_cast<size_t>(notice);
    return index < std::size(kNames) ? kNames[index] : "other";
  }
  void SetVisible(LookupControl control, bool visible) override {
    log << QString::fromUtf8(visible ? "show " : "hide ") + QString::fromUtf8(Name(control));
  }
  void SetCaption(LookupControl label, const QString& caption) override {
    log << QString::fromUtf8(Name(label)) + " " + caption;
  }
  void SetResultPicture(const QByteArray& bytes) override {
    log << (bytes.isEmpty() ? "picture none" : "picture");
  }
};

// A browser whose page is whatever the test says; it records what is done to it.
class FakeBrowser : public BrowserPort {
 public:
  PageRead page{true, QString()};
  QStringList actions;

  std::unique_ptr<PageVisit> Attach() override { return std::make_unique<Visit>(*this); }
  void Navigate(const QString& url) override { actions << "navigate " + url; }

 private:
  struct Visit : PageVisit {
    explicit Visit(FakeBrowser& browser) : browser(browser) {}
    PageRead Text() override { return browser.page; }
    PageRead Html() override { return browser.page; }
    bool FillTextInput(const QString& identifier, const QString& value) override {
      browser.actions << "fill " + identifier + " " + value;
      return true;
    }
    bool ClickElement(const QString& identifier) override {
      browser.actions << "click " + identifier;
      return true;
    }
    FakeBrowser& browser;
  };
};

class LookupEngineTest : public ::testing::Test {
 protected:
  LookupEngineTest() {
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    config.lookupHost = "look:1";
    config.portalHost = "portal:2";
    config.warrantyHost = "warranty:3";
    timings.pauseMs = 0;
    engine = std::make_unique<LookupEngine>(config, timings, view, &view, lookupBrowser,
                                            warrantyBrowser, [this](const QString& url, int) {
                                              fetched << url;
                                              return picture;
                                            });
    QObject::connect(engine.get(), &LookupEngine::Ended,
                     [this](const LookupEnd& end) { ends.push_back(end); });
  }
  // Runs a query on path to its deadline, the page read once by each tick
  // that comes before it (none when absent); the official form is sent first.
  const LookupEnd& RunToDeadline(bool official, std::optional<PageRead> read, bool sendForm) {
    view.official = official;
    view.entry = "F17ZP1QWN73D";
    engine->RunQuery();
    warrantyBrowser.page = {true, "请输入产品的序列号"};
    if (sendForm) Official().OnFormTick();
    (official ? warrantyBrowser : lookupBrowser).page = read.value_or(PageRead{});
    if (read && official) sendForm ? Official().OnResultTick() : Official().OnFormTick();
    if (read && !official) Comprehensive().OnTick();
    official ? Official().OnTimedOut() : Comprehensive().OnTimedOut();
    return ends.back();
  }
  QString Diagnostics() const { return data.path() + "/quarvel/" + kDiagnosticsFolder; }
  QStringList DiagnosticFiles() const { return QDir(Diagnostics()).entryList(QDir::Files); }
  QTimer* Timer(const char* name) { return engine->findChild<QTimer*>(QString::fromUtf8(name)); }
  ComprehensiveSite& Comprehensive() { return *engine->findChild<ComprehensiveSite*>(); }
  OfficialSite& Official() { return *engine->findChild<OfficialSite*>(); }

  QTemporaryDir data;
  Config config;
  LookupTimings timings;
  RecordingView view;
  FakeBrowser lookupBrowser, warrantyBrowser;
  QByteArray picture = testing::EncodedPicture("PNG", {4, 3});
  QStringList fetched;
  std::vector<LookupEnd> ends;
  std::unique_ptr<LookupEngine> engine;
};

TEST_F(LookupEngineTest, AComprehensiveQueryPollsThenShowsThePictureInTheOrderOfTheWindow) {
  view.entry = "  C39XK0ABHG7F  ";
  engine->RunQuery();
  EXPECT_EQ(lookupBrowser.actions,
            QStringList{"navigate http://look:1/index.php/iphone/%20%20C39XK0ABHG7F"});
  EXPECT_TRUE(Timer("时钟1")->isActive());
  EXPECT_EQ(Timer("时钟1")->interval(), 1000);
  EXPECT_EQ(view.log, (QStringList{"status Cleared", "cue Querying", "hide 图片框1", "show 图片框2",
                                   "show 透明标签2", "hide 产品型号", "hide 保修截止",
                                   "hide 系列号", "hide 按钮4", "hide 按钮5"}));

  // Still loading, then not readable: the timer goes on, nothing is said.
  view.log.clear();
  lookupBrowser.page = {true, "正在加载"};
  Comprehensive().OnTick();
  lookupBrowser.page = {false, QString()};
  Comprehensive().OnTick();
  EXPECT_TRUE(view.log.isEmpty());
  EXPECT_TRUE(Timer("时钟1")->isActive());

  lookupBrowser.page = {true, "查找结果"};
  Comprehensive().OnTick();
  EXPECT_FALSE(Timer("时钟1")->isActive());
  EXPECT_EQ(fetched, QStringList{"http://look:1/index.php/pic/iphone/%20%20C39XK0ABHG7F.png"});
  EXPECT_EQ(view.log,
            (QStringList{"picture", "status Found", "cue Found", "hide 图片框2", "hide 透明标签2",
                         "show 图片框1", "show 透明标签3", "show 按钮3"}));
  EXPECT_EQ(lookupBrowser.actions.last(), "navigate portal:2");
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].kind, OutcomeKind::Found);
  EXPECT_EQ(ends[0].entry, "  C39XK0ABHG7F");
  EXPECT_TRUE(ends[0].picture.endsWith("/quarvel/验证码.jpg"));
}

TEST_F(LookupEngineTest, EmptyNotFoundAndPictureFailuresEndTheComprehensivePath) {
  view.entry = "X";
  const auto endWith = [&](const QString& text) {
    view.log.clear();
    engine->RunQuery();
    view.log.clear();
    lookupBrowser.page = {true, text};
    Comprehensive().OnTick();
    EXPECT_FALSE(Timer("时钟1")->isActive()) << text.toStdString();
    return ends.back().kind;
  };
  EXPECT_EQ(endWith(QString()), OutcomeKind::BadInput);
  EXPECT_EQ(view.log.first(), "status EnterCorrectly");
  EXPECT_EQ(endWith("抱歉，没有找到"), OutcomeKind::NotFound);
  EXPECT_EQ(view.log, (QStringList{"status NotFound", "hide 图片框1", "hide 透明标签2",
                                   "hide 图片框2", "hide 透明标签3", "cue NotFound"}));
  picture = "<html>no picture</html>";
  lookupBrowser.actions.clear();
  EXPECT_EQ(endWith("查找结果"), OutcomeKind::PictureFailed);
  EXPECT_EQ(view.log.first(), "status PictureNotFetched");
  EXPECT_EQ(lookupBrowser.actions.last(), "navigate portal:2");
}

TEST_F(LookupEngineTest, TheOfficialPathFillsTheSecondInputClicksTheFirstButtonAndCutsTheResult) {
  view.official = true;
  view.entry = " F17ZP1QWN73D ";
  engine->RunQuery();
  EXPECT_EQ(view.log, (QStringList{"status Cleared", "cue Querying", "hide 按钮3", "show 图片框2",
                                   "show 透明标签2", "hide 图片框1", "hide 按钮4", "hide 按钮5",
                                   "hide 产品型号", "hide 保修截止", "hide 系列号"}));
  EXPECT_EQ(Timer("时钟3")->interval(), 10000);
  // No form on the page: the query sends the browser to it first.
  EXPECT_EQ(warrantyBrowser.actions, QStringList{"navigate " + config.WarrantyPageUrl()});
  warrantyBrowser.actions.clear();
  Official().OnFormTick();  // no form yet
  EXPECT_TRUE(Timer("时钟3")->isActive());
  warrantyBrowser.page = {true, "<P>请输入产品的序列号</P>"};
  view.entry = "F17ZP1QWN73D ";  // read when the tick acts, exactly as typed
  Official().OnFormTick();
  EXPECT_EQ(warrantyBrowser.actions, (QStringList{"fill 2 F17ZP1QWN73D ", "click 1"}));
  EXPECT_FALSE(Timer("时钟3")->isActive());
  EXPECT_EQ(Timer("时钟2")->interval(), 1000);

  view.log.clear();
  warrantyBrowser.page = {true,
                          "<SPAN id=productname>iPhone 13</SPAN></H2><SPAN>有限保修中的硬件维修和"
                          "服务。<BR>预计到期日：2026年12月30日<BR><A href=x>"};
  Official().OnResultTick();
  EXPECT_EQ(view.log,
            (QStringList{"产品型号 产品型号：iPhone 13", "系列号 系列号：F17ZP1QWN73D ",
                         "保修截止 保修截止：2026年12月30日", "show 产品型号", "show 保修截止",
                         "show 系列号", "status Found", "cue Found", "hide 图片框2",
                         "hide 透明标签2", "show 透明标签3", "show 按钮4", "show 按钮5"}));
  EXPECT_FALSE(Timer("时钟2")->isActive());
  EXPECT_EQ(warrantyBrowser.actions.last(), "navigate " + config.WarrantyPageUrl());
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].model, "iPhone 13");
  EXPECT_EQ(ends[0].warrantyEnd, "2026年12月30日");
}

TEST_F(LookupEngineTest, ARejectionStaysOnItsPageAndADeadlineEndsAPathWithoutResult) {
  view.official = true;
  view.entry = "BAD";
  engine->RunQuery();
  warrantyBrowser.page = {true, "请输入产品的序列号"};
  Official().OnFormTick();
  warrantyBrowser.actions.clear();
  warrantyBrowser.page = {true, "请输入有效的序列号"};
  view.log.clear();
  Official().OnResultTick();
  EXPECT_EQ(view.log, (QStringList{"status EnterCorrectly", "cue EnterCorrectly", "hide 图片框1",
                                   "hide 透明标签2", "hide 图片框2", "hide 透明标签3",
                                   "hide 产品型号", "hide 保修截止", "hide 系列号"}));
  EXPECT_EQ(ends.back().kind, OutcomeKind::Rejected);
  EXPECT_TRUE(warrantyBrowser.actions.isEmpty());

  view.official = false;
  engine->RunQuery();
  view.log.clear();
  Comprehensive().OnTimedOut();
  EXPECT_EQ(view.log,
            (QStringList{"hide 图片框2", "hide 透明标签2", "status TimedOut", "cue TimedOut"}));
  EXPECT_EQ(ends.back().kind, OutcomeKind::TimedOut);
  EXPECT_FALSE(Timer("时钟1")->isActive());
  view.log.clear();
  Comprehensive().OnTimedOut();  // nothing pending any more: nothing happens
  EXPECT_TRUE(view.log.isEmpty());

  // A deadline's tick held while its query was replaced by the next one
  // leaves the next one running.
  engine->RunQuery();
  {
    HandlerGate::WaitScope busy;
    Timer("LookupDeadline")->start(0);
    ASSERT_TRUE(testing::WaitFor([] { return HandlerGate::Held() > 0; }));
    engine->RunQuery();
  }
  ASSERT_TRUE(testing::WaitFor([] { return HandlerGate::Held() == 0; }));
  EXPECT_TRUE(Timer("时钟1")->isActive());
  EXPECT_EQ(ends.back().kind, OutcomeKind::TimedOut);
  EXPECT_EQ(ends.size(), 2u);  // the first query, replaced, ends nothing
}

TEST_F(LookupEngineTest, AnEmptyEntryOnlySaysSo) {
  engine->RunQuery();
  EXPECT_EQ(view.log, (QStringList{"status Cleared", "status NothingEntered"}));
  ASSERT_EQ(ends.size(), 1u);  // ended like any other query, at once
  EXPECT_EQ(ends[0].kind, OutcomeKind::BadInput);
  EXPECT_FALSE(Timer("时钟1")->isActive());
  EXPECT_FALSE(Timer("时钟3")->isActive());
  engine->OnSerialKeyDown(13);
  EXPECT_EQ(view.log.size(), 4);
  engine->OnSerialKeyDown(65);
  EXPECT_EQ(view.log.size(), 4);
}

TEST_F(LookupEngineTest, ADeadlineNamesTheDecisionThatFailedOnTheLastPageAndKeepsThatPage) {
  // A changed result page: the model's marker is gone, the date's is renamed.
  const QString changed = "<H2>iPhone 13</H2>有限保修中的硬件维修和服务。<BR>保修到期：2026年<BR>";
  const LookupEnd& end = RunToDeadline(true, PageRead{true, changed}, true);
  EXPECT_EQ(end.kind, OutcomeKind::TimedOut);
  EXPECT_EQ(end.reason, kResultWithoutModelAndDateMarkers);
  EXPECT_EQ(view.log.mid(view.log.size() - 2), (QStringList{"status TimedOut", "cue TimedOut"}));
  ASSERT_EQ(DiagnosticFiles().size(), 1);
  const QString file = Diagnostics() + "/" + DiagnosticFiles()[0];
  EXPECT_TRUE(file.endsWith("Z-official.html")) << file.toStdString();
  EXPECT_EQ(ReadRegularFile(file), changed.toUtf8());
  EXPECT_EQ(QFileInfo(file).permissions(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
  EXPECT_EQ(QFileInfo(Diagnostics()).permissions() & QFile::ReadGroup, 0);

  const struct {
    bool official, sendForm;
    std::optional<PageRead> read;
    const char* reason;
    const char* kept;  // the new file's ending; none when nothing is kept
  } kCases[] = {
      {false, false, PageRead{true, "正在加载"}, kNoResult, "-comprehensive.txt"},
      {false, false, PageRead{false, "x"}, kNoPageAtAll, nullptr},
      {true, false, PageRead{true, "<P>维护中</P>"}, kNoSerialForm, "-official.html"},
      {true, false, std::nullopt, kNoPageAtAll, nullptr},
      {true, true, PageRead{true, "<P>请稍候</P>"}, kNoResult, "-official.html"},
      {true, true, PageRead{true, ""}, kNoPageAtAll, nullptr},
      {true, true, PageRead{true, "<SPAN id=productname>X</SPAN>"}, kResultWithoutDateMarker,
       "-official.html"},
  };
  for (const auto& c : kCases) {
    const QStringList before = DiagnosticFiles();
    EXPECT_EQ(RunToDeadline(c.official, c.read, c.sendForm).reason, c.reason);
    QStringList added = DiagnosticFiles();
    for (const QString& name : before) added.removeOne(name);
    EXPECT_EQ(added.size(), c.kept ? 1 : 0) << c.reason;
    if (c.kept && !added.isEmpty()) {
      EXPECT_TRUE(added[0].endsWith(c.kept)) << c.reason;
    }
  }
}

TEST_F(LookupEngineTest, TwentyPagesAreKeptTheOldestGoFirstAndNoneThroughALink) {
  for (int i = 0; i < 21; ++i) RunToDeadline(false, PageRead{true, QString::number(i)}, false);
  const QStringList files = DiagnosticFiles();
  ASSERT_EQ(files.size(), 20);
  EXPECT_EQ(ReadRegularFile(Diagnostics() + "/" + files.first()), "1");
  EXPECT_EQ(ReadRegularFile(Diagnostics() + "/" + files.last()), "20");

  // Pages planted with times to come are no newer than a fresh one.
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(ReplaceFile(Diagnostics() + QStringLiteral("/2999%1.txt").arg(i), "planted"));
  RunToDeadline(false, PageRead{true, "fresh"}, false);
  ASSERT_EQ(DiagnosticFiles().size(), 20);
  EXPECT_EQ(ReadRegularFile(Diagnostics() + "/" + DiagnosticFiles().last()), "fresh");

  QTemporaryDir elsewhere;
  ASSERT_TRUE(QDir().rename(Diagnostics(), Diagnostics() + ".old"));
  ASSERT_TRUE(QFile::link(elsewhere.path(), Diagnostics()));
  EXPECT_EQ(RunToDeadline(false, PageRead{true, "x"}, false).reason, kNoResult);
  EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
}

// A third site, of the tests' own: its page says "yes" or keeps loading.
class ThirdSite : public LookupSite {
 public:
  static constexpr auto kPath = static_cast<LookupPath>(2);
  ThirdSite(const SiteContext& context, BrowserPort& browser)
      : LookupSite(kPath, EntryRule::AsTyped, context, browser, nullptr), timer_(new QTimer(this)) {
    timer_->setObjectName(QStringLiteral("时钟4"));
    ConnectTick(timer_, this, [this] { OnTick(); });
  }
  void Start(const LookupQuery&) override {
    StartClock();
    browser_.Navigate("third:" + Entry());
    SetTimerInterval(timer_, 10);
  }
  void Stop() override { SetTimerInterval(timer_, 0); }
  bool Running() const override { return timer_->isActive(); }
  void OnTick() {
    if (browser_.Attach()->Text().text != QLatin1String("yes")) return;
    Stop();
    LookupEnd end;
    end.entry = Entry();
    end.kind = OutcomeKind::Found;
    End(end);
  }

 private:
  QTimer* timer_;
};

TEST_F(LookupEngineTest, AThirdSiteRunsThroughTheEngineLikeTheTwo) {
  FakeBrowser thirdBrowser;
  engine->AddSite(new ThirdSite(engine->context(), thirdBrowser));
  view.chosen = ThirdSite::kPath;
  view.entry = " X1 ";
  engine->RunQuery();
  EXPECT_EQ(thirdBrowser.actions, QStringList{"navigate third: X1 "});
  EXPECT_FALSE(Timer("时钟1")->isActive());
  thirdBrowser.page = {true, "yes"};
  ASSERT_TRUE(testing::WaitFor([&] { return !ends.empty(); }, 2000));
  EXPECT_EQ(ends[0].path, ThirdSite::kPath);
  EXPECT_EQ(ends[0].entry, " X1 ");
  EXPECT_EQ(PathName(ends[0].path), "site2");  // not taken for another site
  engine->StopAll();
  EXPECT_FALSE(Timer("时钟4")->isActive());
}

}  // namespace
}  // namespace quarvel
