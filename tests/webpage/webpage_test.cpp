// Page automation on real browsers: attachment, page text and HTML, element
// search, filling and clicking, with the page's own listeners watching.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <memory>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/gate/handler_gate.h"
#include "base/text/text_between.h"
#include "support/browser.h"
#include "support/local_server.h"
#include "webpage/browser.h"
#include "webpage/legacy_html.h"
#include "webpage/page_automation.h"
#include "webpage/web_page_helper.h"
#include "webpage/window_layer.h"

namespace quarvel {
namespace {

using testing::EvalInPage;
using testing::LoadAndWait;

// Every event the page sees on its inputs, buttons, anchors, spans and list
// items is logged as "id:type" in window.log.
const char kLogger[] = R"(<script>
window.log = [];
for (const type of ['keyup', 'blur', 'change', 'click', 'focus'])
  document.addEventListener(type, (e) => {
    if (e.target && e.target.id) window.log.push(e.target.id + ':' + type);
  }, true);
document.addEventListener('submit', (e) => { e.preventDefault(); window.log.push('form:submit'); }, true);
</script>)";

std::string PageWith(const std::string& body) {
  return "<!DOCTYPE html><html><head><meta charset='utf-8'><title>t</title></head><body>" + body +
         kLogger + "</body></html>";
}

class WebPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = new testing::PageServer;
    view = CreateBrowser(nullptr, QStringLiteral("WebBrowser1"));
    view->resize(400, 300);
    view->show();
  }
  static void TearDownTestSuite() {
    delete view;
    delete server;
  }

  // Serves the body as a page, loads it and attaches a fresh helper.
  WebPageHelper Open(const std::string& body) { return OpenPage(PageWith(body)); }

  // The same for a whole page as given.
  WebPageHelper OpenPage(const std::string& html) {
    const std::string path = "page" + std::to_string(++pageCount);
    server->Add(path, html);
    EXPECT_TRUE(LoadAndWait(view, server->Url(path)));
    WebPageHelper helper;
    EXPECT_TRUE(helper.AttachToBrowserWindow(GetControlWindowHandle(view)));
    return helper;
  }

  QString Log() { return EvalInPage(view, "window.log.join(' ')").toString(); }
  QString Value(const char* id) {
    return EvalInPage(view, QStringLiteral("document.getElementById('%1').value").arg(id))
        .toString();
  }

  static inline testing::PageServer* server = nullptr;
  static inline QWebEngineView* view = nullptr;
  static inline int pageCount = 0;
};

TEST_F(WebPageTest, AttachFindsTheServerWindowBelowTheBrowserOrTakesItDirectly) {
  WebPageHelper helper = Open("<p>hello</p>");
  EXPECT_EQ(helper.windowHandle(), GetControlWindowHandle(view));
  EXPECT_FALSE(helper.document().IsEmpty());

  const qint64 server = helper.FindBrowserServerWindow(GetControlWindowHandle(view));
  ASSERT_NE(server, 0);
  EXPECT_EQ(WindowClassName(server), QStringLiteral("Internet Explorer_Server"));
  EXPECT_EQ(WidgetFromHandle(server), view->focusProxy());

  WebPageHelper direct;
  EXPECT_TRUE(direct.AttachToBrowserWindow(server));
  EXPECT_EQ(direct.windowHandle(), server);
  EXPECT_TRUE(direct.GetPageText().contains(QStringLiteral("hello")));
}

TEST_F(WebPageTest, InvalidOrStaleHandlesGiveFalseAndLeaveTheFields) {
  WebPageHelper helper;
  EXPECT_FALSE(helper.AttachToBrowserWindow(0));
  EXPECT_FALSE(helper.AttachToBrowserWindow(0x7fff0000));
  auto* gone = new QWidget;
  const qint64 stale = WindowHandleOf(gone);
  delete gone;
  EXPECT_FALSE(helper.AttachToBrowserWindow(stale));
  EXPECT_EQ(helper.windowHandle(), 0);
  EXPECT_TRUE(helper.document().IsEmpty());
  EXPECT_TRUE(helper.GetPageText().isEmpty());
  EXPECT_TRUE(helper.GetPageHtml().isEmpty());
  EXPECT_FALSE(helper.FillTextInput("1", "x"));

  // A valid window without any page below it: the handle is kept, no document.
  QWidget plain;
  EXPECT_FALSE(helper.AttachToBrowserWindow(WindowHandleOf(&plain)));
  EXPECT_EQ(helper.windowHandle(), WindowHandleOf(&plain));
  EXPECT_TRUE(helper.document().IsEmpty());
}

TEST(WindowSearch, PreOrderFirstMatchWinsAndClassNamesAreCaseSensitive) {
  QWidget root;
  auto* a = new QWidget(&root);
  auto* a1 = new QWidget(a);
  auto* a2 = new QWidget(a);
  auto* b = new QWidget(&root);
  a2->setProperty("windowClass", "Internet Explorer_Server");
  b->setProperty("windowClass", "Internet Explorer_Server");
  a1->setProperty("windowClass", "internet explorer_server");
  WebPageHelper helper;
  EXPECT_EQ(helper.FindBrowserServerWindow(WindowHandleOf(&root)), WindowHandleOf(a2));
  EXPECT_EQ(helper.FindBrowserServerWindow(WindowHandleOf(b)), 0);  // the parent is not tested
  EXPECT_EQ(FindChildWindow(WindowHandleOf(&root), 0), WindowHandleOf(a));
  EXPECT_EQ(FindChildWindow(WindowHandleOf(&root), WindowHandleOf(a)), WindowHandleOf(b));
  EXPECT_EQ(FindChildWindow(WindowHandleOf(&root), WindowHandleOf(b)), 0);

  // A server window with no page behind it: found, but no document.
  EXPECT_FALSE(helper.AttachToBrowserWindow(WindowHandleOf(&root)));
  EXPECT_EQ(helper.windowHandle(), WindowHandleOf(&root));

  QWidget longName;
  longName.setProperty("windowClass", QString(80, QLatin1Char('x')));
  EXPECT_EQ(WindowClassName(WindowHandleOf(&longName)).size(), 49);
}

TEST_F(WebPageTest, ACopySharesTheDocumentAndOutlivesItsSource) {
  Open("<p>shared page</p>");
  auto source = std::make_unique<WebPageHelper>();
  ASSERT_TRUE(source->AttachToBrowserWindow(GetControlWindowHandle(view)));
  WebPageHelper copy(*source);
  EXPECT_EQ(copy.windowHandle(), source->windowHandle());
  source.reset();
  EXPECT_TRUE(copy.GetPageText().contains(QStringLiteral("shared page")));
  {
    WebPageHelper second = copy;
    copy.ReleaseDocument();
    EXPECT_TRUE(copy.GetPageText().isEmpty());
    EXPECT_TRUE(second.GetPageText().contains(QStringLiteral("shared page")));
  }
}

TEST_F(WebPageTest, ANavigatedPageInvalidatesOldReferencesCleanly) {
  WebPageHelper old = Open("<input type=text id=a>");
  AutomationObject element;
  ASSERT_TRUE(old.FindElements("input", "text", "a", 0, {}, 0, 0, 0, 1, &element));
  WebPageHelper next = Open("<p>another page</p>");
  EXPECT_TRUE(old.GetPageText().isEmpty());
  EXPECT_EQ(old.TryGetPageHtml(), std::nullopt);  // the document went away
  EXPECT_FALSE(old.FillTextInput("1", "x"));
  EXPECT_TRUE(element.Get("value").ToText().isEmpty());
  EXPECT_FALSE(element.Put("value", Variant::Text("x")));
  EXPECT_TRUE(next.GetPageText().contains(QStringLiteral("another page")));
}

TEST_F(WebPageTest, ReferencesAreReleasedWhenTheStepEnds) {
  Open("<input id=a><input id=b><span>s</span><ul><li>x</li></ul>");
  {
    WebPageHelper helper;
    ASSERT_TRUE(helper.AttachToBrowserWindow(GetControlWindowHandle(view)));
    helper.FillTextInput("2", "v");
    helper.ClickElement("1");
    helper.FindElements("span", "x", "1", 0);
    helper.GetPageHtml();
  }
  const auto session = PageSession::Open(view->page(), 1000);
  ASSERT_TRUE(session);
  EXPECT_TRUE(testing::WaitFor([&] { return session->Send(AgentRequest("count")).number == 0; }));
}

TEST_F(WebPageTest, PageHtmlIsSerialisedAsTheOldEngineWroteIt) {
  WebPageHelper helper = Open(
      "<div class=\"result\"><h2><span id=\"productname\">iPhone 14 Pro</span></h2>"
      "<span class=\"serial\">序列号：C39</span>\n"
      "<p>您的产品享有有限保修中的硬件维修和服务。<br>预计到期日：2027年3月18日<br>"
      "<a href=\"/pages/pod.jsp?r=x&amp;lang=cn\">again</a></p>"
      "<input type=\"text\" disabled=\"\" data-x=\"a b\" data-y=\"v-1_2.3\"><!-- note & stuff -->"
      "<p>1 &lt; 2 &amp; 3</p></div>");
  const QString html = helper.GetPageHtml();
  EXPECT_TRUE(html.startsWith(QStringLiteral("<HTML><HEAD>")));
  EXPECT_TRUE(html.contains(
      QStringLiteral("<H2><SPAN id=productname>iPhone 14 Pro</SPAN></H2><SPAN class=serial>")));
  EXPECT_TRUE(
      html.contains(QStringLiteral("有限保修中的硬件维修和服务。<BR>预计到期日：2027年3月18日<BR><"
                                   "A href=\"/pages/pod.jsp?r=x&amp;lang=cn\">")));
  EXPECT_TRUE(
      html.contains(QStringLiteral("<INPUT type=text disabled data-x=\"a b\" data-y=v-1_2.3>")));
  EXPECT_TRUE(html.contains(QStringLiteral("<!-- note & stuff -->")));
  EXPECT_TRUE(html.contains(QStringLiteral("<P>1 &lt; 2 &amp; 3</P>")));
  EXPECT_FALSE(html.contains(QStringLiteral("</BR>")));
  EXPECT_FALSE(html.contains(QStringLiteral("</INPUT>")));

  // The markers of the warranty result cut the values out of it.
  EXPECT_EQ(TextBetween(html, "id=productname>", "</SPAN></H2><SPAN"),
            QStringLiteral("iPhone 14 Pro"));
  EXPECT_EQ(TextBetween(html, "有限保修中的硬件维修和服务。<BR>预计到期日：", "<BR><A href="),
            QStringLiteral("2027年3月18日"));
  EXPECT_TRUE(helper.GetPageText().contains(QStringLiteral("预计到期日：2027年3月18日")));
}

// A text longer than a part: "<div id="t">" and then filler placed so that
// surrogate pairs straddle the first two part bounds of the body's innerHTML.
QString LongText() {
  const qsizetype part = PageSession::kPartUnits;
  const QString pair = QStringLiteral("\U0001F600");
  const qsizetype prefix = QStringLiteral("<div id=\"t\">").size();
  QString text = QString(part - 1 - prefix, QLatin1Char('x')) + pair;
  while (text.size() + prefix < 2 * part - 1) text += QStringLiteral("有限保修 ");
  text.truncate(2 * part - 1 - prefix);
  text += pair + QString(12345, QLatin1Char('y')) + QStringLiteral("到期日");
  return text;
}

TEST_F(WebPageTest, ALongTextComesOutWholeInPartsAndMatchesOneRead) {
  const QString text = LongText();
  WebPageHelper helper =
      OpenPage("<!DOCTYPE html><html><head><meta charset='utf-8'></head><body><div id=t>" +
               text.toStdString() + "</div></body></html>");
  const Variant inner =
      helper.document().GetPath({QStringLiteral("body"), QStringLiteral("innerHTML")});
  ASSERT_EQ(inner.kind, Variant::Kind::Text);
  EXPECT_GT(inner.text.size(), 2 * PageSession::kPartUnits);
  EXPECT_TRUE(inner.text == QStringLiteral("<div id=\"t\">") + text + QStringLiteral("</div>"));

  // The whole page through the rewrite, as one read in the page gives it.
  const QString html = helper.GetPageHtml();
  const QString whole = EvalInPage(view, "document.documentElement.outerHTML").toString();
  EXPECT_TRUE(html == ToLegacyHtml(whole));
  EXPECT_TRUE(helper.GetPageText().endsWith(QStringLiteral("y到期日")));
  // Read again: the agent keeps only the text being fetched.
  EXPECT_TRUE(helper.GetPageHtml() == html);
}

TEST_F(WebPageTest, ALongTextOfAPageThatReloadsItselfIsWholeOrNotReadable) {
  const QString text = LongText();
  OpenPage("<!DOCTYPE html><html><head><meta charset='utf-8'></head><body><div id=t>" +
           text.toStdString() + "</div><script>setTimeout(() => location.reload(), 20)</script>" +
           "</body></html>");
  const qsizetype whole = EvalInPage(view, "document.documentElement.outerHTML.length").toInt();
  int read = 0;
  for (int i = 0; i < 10; ++i) {
    WebPageHelper helper;
    if (!helper.AttachToBrowserWindow(GetControlWindowHandle(view))) continue;
    for (int k = 0; k < 3; ++k) {
      const Variant value = helper.document().GetPath(
          {QStringLiteral("documentElement"), QStringLiteral("outerHTML")});
      if (value.kind != Variant::Kind::Text) continue;
      ++read;
      // The rewrite shortens the page; a text put together from two
      // documents, or with a part missing, would not end as the page does.
      EXPECT_TRUE(value.text.endsWith(QStringLiteral("</BODY></HTML>")));
      EXPECT_TRUE(value.text.contains(QStringLiteral("y到期日</DIV>")));
      EXPECT_LT(value.text.size(), whole);
    }
  }
  EXPECT_GT(read, 0);
  // Away from the reloading page before the next test.
  server->Add("still", "<!DOCTYPE html><html><body>still</body></html>");
  Navigate(view, server->Url("still"));
  ASSERT_TRUE(testing::WaitFor([&] {
    return EvalInPage(view, "location.pathname").toString() == QStringLiteral("/still") &&
           !view->page()->isLoading();
  }));
}

TEST_F(WebPageTest, FillCountsOnlyTextLikeInputsAndFiresKeyupThenBlur) {
  WebPageHelper helper = Open(
      "<input type=hidden id=h><input id=t1><input type=password id=p><input type=TEXT id=t2>"
      "<input type=checkbox id=c><input type=radio id=r><input type=file id=f>");
  EXPECT_TRUE(helper.FillTextInput("2", "SERIAL"));
  EXPECT_EQ(Value("p"), QStringLiteral("SERIAL"));
  EXPECT_EQ(Log(), QStringLiteral("p:keyup p:blur"));
  EXPECT_TRUE(helper.FillTextInput("3", "  spaced  "));
  EXPECT_EQ(Value("t2"), QStringLiteral("  spaced  "));  // capital TYPE counts, value as given
  EXPECT_TRUE(helper.FillTextInput("1", "first"));
  EXPECT_EQ(Value("t1"), QStringLiteral("first"));  // no type attribute reads "text"

  // Type pieces are compared as given: "Text" never matches.
  EXPECT_FALSE(helper.FindElements("input", "Text", "1", 1, "x"));
  // Identifier 0 or text that is no number and no attribute: nothing.
  EXPECT_FALSE(helper.FillTextInput("0", "x"));
  EXPECT_FALSE(helper.FillTextInput("abc", "x"));
  EXPECT_FALSE(helper.FindElements("input", "", "1", 1, "x"));  // empty typeList
  EXPECT_EQ(Value("h"), QString());
  EXPECT_EQ(Log(), QStringLiteral("p:keyup p:blur t2:keyup t2:blur t1:keyup t1:blur"));
}

TEST_F(WebPageTest, AnEarlierNameMatchBeatsALaterOrdinalAndAddsOnchange) {
  WebPageHelper helper = Open("<input id=a name=2><input id=b><input id=c>");
  EXPECT_TRUE(helper.FillTextInput("2", "v"));
  EXPECT_EQ(Value("a"), QStringLiteral("v"));
  EXPECT_EQ(Value("b"), QString());
  EXPECT_EQ(Log(), QStringLiteral("a:keyup a:blur a:change"));
}

TEST_F(WebPageTest, SkipCountPassesOverAttributeMatchesButNeverAnOrdinal) {
  WebPageHelper helper = Open("<input id=a name=q><input id=b name=q><input id=c name=q>");
  EXPECT_TRUE(helper.FillTextInput("q", "second", 1));
  EXPECT_EQ(Value("b"), QStringLiteral("second"));
  EXPECT_EQ(Value("a"), QString());
  EXPECT_TRUE(helper.FillTextInput("1", "first", 5));  // the ordinal is never skipped
  EXPECT_EQ(Value("a"), QStringLiteral("first"));
  EXPECT_FALSE(helper.FillTextInput("q", "none", 3));  // all three passed over
}

TEST_F(WebPageTest, AnEmptyIdentifierActsOnTheFirstCountedElementWithAnEmptyAttribute) {
  WebPageHelper helper = Open("<input type=hidden id=h><input id=a value=x><input id=b>");
  EXPECT_TRUE(helper.FillTextInput("", "filled"));
  EXPECT_EQ(Value("a"), QStringLiteral("filled"));  // its name is empty
}

TEST_F(WebPageTest, ClickCountsInputsFirstThenButtonsAcrossTagPieces) {
  WebPageHelper helper = Open(
      "<form id=form action=/nowhere><input type=text id=t><input type=button id=b1 value=one>"
      "<button type=button id=x>x</button><input type=reset id=b2>"
      "<input type=image id=img></form>");
  EXPECT_TRUE(helper.ClickElement("3"));
  EXPECT_EQ(Log(), QStringLiteral("x:click"));
  EXPECT_TRUE(helper.ClickElement("one"));  // by value
  EXPECT_TRUE(helper.ClickElement("1"));
  EXPECT_EQ(Log(), QStringLiteral("x:click b1:click b1:click"));
  EXPECT_FALSE(helper.ClickElement("4"));
}

TEST_F(WebPageTest, ClickSubmitsAFormThePageWatches) {
  WebPageHelper helper = Open("<form id=form><input id=sn><button id=go>go</button></form>");
  EXPECT_TRUE(helper.FillTextInput("1", "C39"));
  EXPECT_TRUE(helper.ClickElement("1"));  // a button element's type is "submit"
  EXPECT_EQ(Log(), QStringLiteral("sn:keyup sn:blur go:click form:submit"));
}

TEST_F(WebPageTest, EventsFollowHowTheElementWasChosenAndOtherOperationsFireTheirOwn) {
  WebPageHelper helper = Open(
      "<a id=l href='/target' title=tip>link</a><input type=checkbox id=c>"
      "<div id=d>text</div>");
  const QString href = server->Url("target");
  // Found by href: operations 0 to 3 fire nothing.
  EXPECT_TRUE(helper.FindElements("a", "a", href, 3, "renamed"));
  EXPECT_EQ(Log(), QString());
  EXPECT_TRUE(EvalInPage(view, "!!document.getElementById('renamed')").toBool());
  // Checked := 1 by ordinal, then := 0: each followed by onclick.
  EXPECT_TRUE(helper.FindElements("input", "checkbox", "1", 4));
  EXPECT_TRUE(EvalInPage(view, "document.getElementById('c').checked").toBool());
  EXPECT_TRUE(helper.FindElements("input", "checkbox", "c", 5));
  EXPECT_FALSE(EvalInPage(view, "document.getElementById('c').checked").toBool());
  EXPECT_EQ(Log(), QStringLiteral("c:click c:click"));
  // innertext of a div found by tag name kind.
  EXPECT_TRUE(helper.FindElements("div", "div", "1", 0, "changed"));
  EXPECT_EQ(EvalInPage(view, "document.getElementById('d').innerText").toString(), "changed");
  // An operation code out of range acts on nothing.
  EXPECT_FALSE(helper.FindElements("input", "checkbox", "1", 9));
  EXPECT_FALSE(helper.FindElements("input", "checkbox", "1", -1));
}

TEST_F(WebPageTest, FlagsComeBeforeTheOperationInTheirOrder) {
  WebPageHelper helper = Open("<input id=a name=n><input id=b>");
  EXPECT_TRUE(helper.FindElements("input", "text", "2", 1, "x", /*focusOnly=*/1, 1, 1, 1));
  EXPECT_EQ(EvalInPage(view, "document.activeElement.id").toString(), "b");
  EXPECT_EQ(Value("b"), QString());
  EXPECT_TRUE(helper.FindElements("input", "text", "n", 1, "x", 0, /*setDisplay=*/1, 0, 1));
  EXPECT_EQ(EvalInPage(view, "document.getElementById('a').style.display").toString(), "none");
  AutomationObject out;
  EXPECT_TRUE(
      helper.FindElements("input", "text", "1", 1, "x", 0, 0, 0, /*returnElement=*/1, &out));
  EXPECT_EQ(out.Get("id").ToText(), QStringLiteral("a"));
  EXPECT_EQ(out.Get("ID").ToText(), QStringLiteral("a"));  // any letter case
  EXPECT_EQ(Value("a"), QString());
  // FireElementEvent with an element: the page sees the event.
  EXPECT_TRUE(helper.FireElementEvent(WebPageHelper::kOnChange, out));
  EXPECT_FALSE(helper.FireElementEvent(42, out));  // no such event
  EXPECT_FALSE(helper.FireElementEvent(0, AutomationObject()));
}

TEST_F(WebPageTest, TitledSpanAndListItemPaths) {
  WebPageHelper helper = Open(
      "<a id=a0 href=#>none</a><a id=a1 title=one href=#>1</a><a id=a2 title=two href=#>2</a>"
      "<span id=s1>alpha</span><span id=s2>beta</span>"
      "<ul><li id=i1>red</li><li id=i2>green</li></ul>");
  EXPECT_TRUE(helper.FindElements("a", "title", "2", 0));  // untitled anchors are not counted
  EXPECT_TRUE(helper.FindElements("a", "title", "one", 0));
  EXPECT_TRUE(helper.FindElements("SPAN", "x", "2", 0));
  EXPECT_TRUE(helper.FindElements("span", "x", "alpha", 0));
  EXPECT_TRUE(helper.FindElements("ul", "x", "green", 0));
  EXPECT_TRUE(helper.FindElements("ul", "x", "1", 0));
  EXPECT_FALSE(helper.FindElements("span", "x", "alpha", 0, {}, 0, 0, 0, 0, nullptr, 1));
  EXPECT_EQ(Log(), QStringLiteral("a2:click a1:click s2:click s1:click i2:click i1:click"));
}

TEST_F(WebPageTest, ABrowserThatDoesNotAnswerGivesFalseWithinAboutASecond) {
  // A browser of its own, with a render process of its own: the page it
  // keeps busy goes with it, and the next test's page does not wait.
  const std::unique_ptr<QWebEngineView> busy(CreateBrowser(nullptr, QStringLiteral("WebBrowser1")));
  busy->resize(400, 300);
  busy->show();
  server->Add("busy", PageWith("<p>busy</p>"));
  ASSERT_TRUE(LoadAndWait(busy.get(), server->Url("busy")));
  // The page's own script holds its thread for a few seconds.
  busy->page()->runJavaScript("const end = Date.now() + 3000; while (Date.now() < end) {}");
  QTest::qWait(100);
  QElapsedTimer clock;
  clock.start();
  WebPageHelper helper;
  EXPECT_FALSE(helper.AttachToBrowserWindow(GetControlWindowHandle(busy.get())));
  EXPECT_LT(clock.elapsed(), 1800);
  EXPECT_GE(clock.elapsed(), 900);
  EXPECT_EQ(helper.windowHandle(), GetControlWindowHandle(busy.get()));
  // Not an empty page: a page not readable yet.
  EXPECT_EQ(helper.TryGetPageText(), std::nullopt);
  EXPECT_EQ(helper.TryGetPageHtml(), std::nullopt);
  EXPECT_EQ(helper.GetPageText(), QString());
}

// A page written as modern sites are: an HTML5 doctype, indented markup, a
// site search box first, input types the old engine did not know, and
// listeners on the document that record, for every event, its target, its
// class and whether it bubbles.
std::string ModernPage(const std::string& main) {
  return R"(<!DOCTYPE html>
<html lang="zh-CN">
  <head>
    <meta charset="utf-8">
    <meta name="viewport" content="width=device-width, initial-scale=1">
    <title>支持</title>
  </head>
  <body>
    <header class="site">
      <form class="search" role="search" action="/search">
        <input type="search" id="q" name="q" placeholder="搜索支持">
      </form>
    </header>
    <main>
)" + main +
         R"(
    </main>
    <script>
      window.events = [];
      for (const type of ['keyup', 'blur', 'focus', 'change', 'click', 'dblclick'])
        document.addEventListener(type, (e) => {
          window.events.push([e.target.id, type, e.constructor.name, e.bubbles].join(':'));
        }, true);
      window.bubbled = [];
      for (const type of ['keyup', 'blur', 'focus', 'change', 'click'])
        document.addEventListener(type, (e) => window.bubbled.push(e.target.id + ':' + type));
    </script>
  </body>
</html>
)";
}

TEST_F(WebPageTest, InputTypesTheOldEngineDidNotKnowReadAsText) {
  WebPageHelper helper = OpenPage(ModernPage(R"(
      <form id="f">
        <input type="email" id="mail">
        <input type="tel" id="tel">
        <input type="hidden" id="h">
        <input type="NUMBER" id="num">
        <input type="txet" id="typo">
        <input type="checkbox" id="c">
        <input type="date" id="d"><input type="range" id="r"><input type="color" id="col">
        <input type="url" id="u">
        <input type="text" id="sn">
        <input type="image" id="img">
        <button id="go">继续</button>
      </form>)"));
  // search, email, tel, number, the misspelt one, date, range, color and url
  // all count as text inputs: the serial field is the tenth.
  EXPECT_TRUE(helper.FillTextInput("10", "C39"));
  EXPECT_EQ(Value("sn"), QStringLiteral("C39"));
  EXPECT_TRUE(helper.FillTextInput("1", "site"));
  EXPECT_EQ(Value("q"), QStringLiteral("site"));

  // A type read through the late-bound layer gives the same.
  const auto typeOf = [&](const char* id) {
    AutomationObject element;
    EXPECT_TRUE(helper.FindElements("input|button", "text|hidden|checkbox|image|submit", id, 0, {},
                                    0, 0, 0, 1, &element));
    return element.Get("type").ToText();
  };
  EXPECT_EQ(typeOf("q"), QStringLiteral("text"));
  EXPECT_EQ(typeOf("num"), QStringLiteral("text"));
  EXPECT_EQ(typeOf("typo"), QStringLiteral("text"));
  EXPECT_EQ(typeOf("h"), QStringLiteral("hidden"));
  EXPECT_EQ(typeOf("c"), QStringLiteral("checkbox"));
  EXPECT_EQ(typeOf("img"), QStringLiteral("image"));
  // A <button> without a type submits its form here, and says so.
  EXPECT_EQ(typeOf("go"), QStringLiteral("submit"));
  EXPECT_TRUE(helper.ClickElement("1"));
  EXPECT_EQ(
      EvalInPage(view, "window.events.filter(e => e.includes(':click:')).join(' ')").toString(),
      QStringLiteral("go:click:PointerEvent:true"));
}

TEST_F(WebPageTest, TheWriteEveryEventAndTheElementHandedBackStayOnTheChosenElement) {
  // Validation while typing: keyup puts a counter in front of the field, or
  // takes the hint in front away.
  WebPageHelper helper = OpenPage(ModernPage(R"(
      <form>
        <p class="hint"><input type="text" id="hint" value="例：C39XK0ABHG7F" readonly></p>
        <p>
          <input type="text" id="sn" name="sn" onkeyup="
            if (!document.getElementById('count')) {
              const count = document.createElement('input');
              count.id = 'count';
              this.before(count);
            }
            document.getElementById('count').value = this.value.length;">
        </p>
        <p>
          <input type="text" id="imei" name="imei"
                 onkeyup="const hint = document.getElementById('hint'); if (hint) hint.remove();">
        </p>
      </form>)"));
  EXPECT_TRUE(helper.FillTextInput("3", "C39XK0ABHG7F"));
  EXPECT_EQ(Value("sn"), QStringLiteral("C39XK0ABHG7F"));
  EXPECT_EQ(Value("count"), QStringLiteral("12"));
  EXPECT_EQ(EvalInPage(view, "window.events.join(' ')").toString(),
            QStringLiteral("sn:keyup:KeyboardEvent:true sn:blur:FocusEvent:false"));

  // Chosen by name: keyup removes the input in front; blur and change follow
  // on the field all the same.
  EvalInPage(view, "window.events = []");
  EXPECT_TRUE(helper.FillTextInput("imei", "356789104523671"));
  EXPECT_EQ(Value("imei"), QStringLiteral("356789104523671"));
  EXPECT_EQ(EvalInPage(view, "window.events.join(' ')").toString(),
            QStringLiteral("imei:keyup:KeyboardEvent:true imei:blur:FocusEvent:false "
                           "imei:change:Event:true"));

  // The element handed back is the element, not a place in a collection.
  AutomationObject element;
  ASSERT_TRUE(helper.FindElements("input", "text", "3", 0, {}, 0, 0, 0, 1, &element));
  EXPECT_EQ(element.Get("id").ToText(), QStringLiteral("sn"));
  EvalInPage(view, "document.querySelector('form').prepend(document.createElement('input'))");
  EXPECT_EQ(element.Get("id").ToText(), QStringLiteral("sn"));
  EXPECT_TRUE(helper.FireElementEvent(WebPageHelper::kOnKeyUp, element));
  EXPECT_EQ(Value("count"), QStringLiteral("12"));
}

TEST_F(WebPageTest, FiredEventsBubbleAndCarryTheirClassesAsTheOldEngineRaisedThem) {
  WebPageHelper helper = OpenPage(ModernPage(R"(
      <p>
        <a id="away" href="/elsewhere">离开</a>
        <a id="kept" href="/elsewhere" onclick="return false">留下</a>
        <input type="checkbox" id="box">
        <span id="s" name="pick">选择</span>
      </p>)"));
  AutomationObject away, kept, box;
  ASSERT_TRUE(helper.FindElements("a", "a", "away", 0, {}, 0, 0, 0, 1, &away));
  ASSERT_TRUE(helper.FindElements("a", "a", "kept", 0, {}, 0, 0, 0, 1, &kept));
  ASSERT_TRUE(helper.FindElements("input", "checkbox", "box", 0, {}, 0, 0, 0, 1, &box));
  const QUrl before = view->url();
  // A fired onclick runs the listeners but follows no link; a listener that
  // cancels it makes FireEvent false.
  EXPECT_TRUE(helper.FireElementEvent(WebPageHelper::kOnClick, away));
  EXPECT_FALSE(helper.FireElementEvent(WebPageHelper::kOnClick, kept));
  EXPECT_TRUE(helper.FireElementEvent(WebPageHelper::kOnDblClick, away));
  // Nor does it turn the box over.
  EXPECT_TRUE(helper.FireElementEvent(WebPageHelper::kOnClick, box));
  EXPECT_FALSE(EvalInPage(view, "document.getElementById('box').checked").toBool());
  EXPECT_TRUE(away.FireEvent("onfocus"));
  EXPECT_TRUE(helper.FireElementEvent(WebPageHelper::kOnBlur, away));
  EXPECT_TRUE(helper.FireElementEvent(WebPageHelper::kOnChange, box));
  // The span path reads a span's name as its attribute.
  EXPECT_TRUE(helper.FindElements("span", "x", "pick", 0));
  QTest::qWait(200);  // a navigation would have started by now
  EXPECT_EQ(view->url(), before);
  EXPECT_EQ(EvalInPage(view, "window.events.join(' ')").toString(),
            QStringLiteral("away:click:MouseEvent:true kept:click:MouseEvent:true "
                           "away:dblclick:MouseEvent:true box:click:MouseEvent:true "
                           "away:focus:FocusEvent:false away:blur:FocusEvent:false "
                           "box:change:Event:true s:click:PointerEvent:true"));
  // On the document, past the target: everything but focus and blur.
  EXPECT_EQ(EvalInPage(view, "window.bubbled.join(' ')").toString(),
            QStringLiteral("away:click kept:click box:click box:change s:click"));
}

TEST_F(WebPageTest, NoOtherHandlerOfTheProgramRunsInsideAPageOperation) {
  WebPageHelper helper = OpenPage(ModernPage(R"(
      <form onsubmit="return false">
        <input type="text" id="sn"><input type="submit" id="go">
      </form>)"));
  QObject context;
  QTimer timer;
  timer.setInterval(0);
  bool inside = false;
  int ticks = 0, ticksInside = 0;
  ConnectTick(&timer, &context, [&] {
    ++ticks;
    if (inside) ++ticksInside;
  });
  HandlerGate::Deliver(nullptr, [&] {
    timer.start();
    inside = true;
    EXPECT_TRUE(helper.FillTextInput("2", "C39"));
    EXPECT_TRUE(helper.GetPageText().contains(QStringLiteral("支持")) ||
                helper.GetPageHtml().contains(QStringLiteral("<INPUT")));
    EXPECT_TRUE(helper.GetPageHtml().contains(QStringLiteral("<INPUT type=text id=sn>")));
    EXPECT_TRUE(helper.ClickElement("1"));
    inside = false;
  });
  EXPECT_EQ(ticksInside, 0);
  EXPECT_TRUE(testing::WaitFor([&] { return ticks > 0; }));  // and after it, at once
  timer.stop();
}

// A page whose response stops halfway for a while: its document exists but
// is still loading.
class StalledPage {
 public:
  StalledPage() {
    server_.server().Get("/stalled", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider(
          "text/html; charset=utf-8", [this](size_t, httplib::DataSink& sink) {
            const std::string head = "<!DOCTYPE html><html><body>";
            sink.write(head.data(), head.size());
            while (!release_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const std::string rest = "<p>done</p></body></html>";
            sink.write(rest.data(), rest.size());
            sink.done();
            return true;
          });
    });
    server_.Start();
  }
  ~StalledPage() { release_ = true; }
  QString Url() const { return server_.Base() + "/stalled"; }
  void Release() { release_ = true; }

 private:
  std::atomic<bool> release_{false};
  testing::LocalServer server_;
};

TEST_F(WebPageTest, AReadTellsAPageNotReadableYetFromAnEmptyPage) {
  WebPageHelper empty = OpenPage("<!DOCTYPE html><html><body></body></html>");
  EXPECT_EQ(empty.TryGetPageText(), std::optional<QString>(QString()));
  EXPECT_TRUE(empty.TryGetPageHtml().value_or("").startsWith("<HTML><HEAD></HEAD><BODY>"));

  // A page that navigates away: reads through the old document are not
  // readable; the empty text of the next, still loading, is not either.
  StalledPage stalled;
  Navigate(view, stalled.Url());
  ASSERT_TRUE(testing::WaitFor([&] {
    return EvalInPage(view, "location.pathname").toString() == QStringLiteral("/stalled");
  }));
  EXPECT_EQ(empty.TryGetPageText(), std::nullopt);
  EXPECT_EQ(empty.GetPageText(), QString());
  WebPageHelper loading;
  ASSERT_TRUE(loading.AttachToBrowserWindow(GetControlWindowHandle(view)));
  EXPECT_EQ(loading.TryGetPageText(), std::nullopt);
  stalled.Release();
  ASSERT_TRUE(testing::WaitFor([&] { return !view->page()->isLoading(); }));
  WebPageHelper loaded;
  ASSERT_TRUE(loaded.AttachToBrowserWindow(GetControlWindowHandle(view)));
  EXPECT_EQ(loaded.TryGetPageText(), std::optional<QString>(QStringLiteral("done")));
}

}  // namespace
}  // namespace quarvel

namespace quarvel {
namespace {

TEST(AgentReply, ALongTextHeaderIsCheckedBeforeAnyPartIsAskedFor) {
  AgentReply reply =
      DecodeAgentReply(QStringView(u"{\"t\":\"long\",\"id\":3,\"v\":600000,\"loading\":true}"));
  EXPECT_EQ(reply.kind, AgentReply::Kind::LongText);
  EXPECT_EQ(reply.id, 3);
  EXPECT_EQ(reply.number, 600000);
  EXPECT_TRUE(reply.loading);
  reply = DecodeAgentReply(QStringView(u"{\"t\":\"long\",\"id\":3,\"v\":600000}"));
  EXPECT_EQ(reply.kind, AgentReply::Kind::LongText);
  EXPECT_FALSE(reply.loading);
  // A length no string has, no id, or a loading flag that is no flag.
  for (const char16_t* bad :
       {u"{\"t\":\"long\",\"id\":3,\"v\":-1}", u"{\"t\":\"long\",\"id\":3,\"v\":1.5}",
        u"{\"t\":\"long\",\"id\":3,\"v\":4294967296}", u"{\"t\":\"long\",\"v\":10}",
        u"{\"t\":\"long\",\"id\":0,\"v\":10}", u"{\"t\":\"long\",\"id\":3,\"v\":\"10\"}",
        u"{\"t\":\"long\",\"id\":3,\"v\":10,\"loading\":1}"})
    EXPECT_EQ(DecodeAgentReply(QStringView(bad)).kind, AgentReply::Kind::Malformed)
        << QString::fromUtf16(bad).toStdString();
}

TEST(LegacyHtml, RewritesTagsAndAttributesButLeavesTextCommentsAndRawTextAlone) {
  EXPECT_EQ(
      ToLegacyHtml(QStringLiteral(
          "<html><head><title>a &lt; b</title></head><body class=\"x y\" id=\"main\">"
          "<h2><span id=\"productname\">M</span></h2><br><input disabled=\"\" value=\"1.5_a-b\">"
          "<a href=\"/p?a=1&amp;b=&quot;2&quot;\">go</a><!-- <b>kept</b> -->"
          "<script>if (a < b && c > d) document.write('<p class=\"q\">')</script>"
          "<svg viewBox=\"0 0 1 1\"><foreignObject></foreignObject></svg></body></html>")),
      QStringLiteral(
          "<HTML><HEAD><TITLE>a &lt; b</TITLE></HEAD><BODY class=\"x y\" id=main>"
          "<H2><SPAN id=productname>M</SPAN></H2><BR><INPUT disabled value=1.5_a-b>"
          "<A href=\"/p?a=1&amp;b=&quot;2&quot;\">go</A><!-- <b>kept</b> -->"
          "<SCRIPT>if (a < b && c > d) document.write('<p class=\"q\">')</SCRIPT>"
          "<SVG viewBox=\"0 0 1 1\"><FOREIGNOBJECT></FOREIGNOBJECT></SVG></BODY></HTML>"));
  EXPECT_EQ(ToLegacyHtml(QStringLiteral("plain 1 < 2 text")), QStringLiteral("plain 1 < 2 text"));
  EXPECT_EQ(ToLegacyHtml(QString()), QString());
  EXPECT_EQ(ToLegacyHtml(QStringLiteral("<p title=\"")), QStringLiteral("<P title>"));  // cut short
  EXPECT_EQ(ToLegacyHtml(QStringLiteral("<a/b/b c = 'd e' f=g>")),
            QStringLiteral("<A b b c='d e' f=g>"));
}

// An indented page as a modern site writes it, serialised by a modern engine,
// against what the old engine's document gave: no whitespace text where a
// block, table, list or head element starts or ends, or at a line break; the
// result page's cut markers then find the values.
TEST(LegacyHtml, WhitespaceOnlyTextGoesWhereTheOldEngineHadNone) {
  const QString modern = QStringLiteral(
      "<html lang=\"zh-CN\"><head>\n    <meta charset=\"utf-8\">\n    <title>保修</title>\n"
      "    <style> p { } </style>\n  </head>\n  <body>\n    <main>\n      <div class=\"result\">\n"
      "        <h2>\n          <span id=\"productname\">iPhone 14 Pro</span>\n        </h2>\n"
      "        <span class=\"serial\">序列号：C39</span>\n        <p>\n"
      "          您的产品享有有限保修中的硬件维修和服务。<br>预计到期日：2027年3月18日<br>\n"
      "          <a href=\"/again\">再查询一个</a>\n        </p>\n      </div>\n"
      "      <table>\n        <tbody><tr>\n          <td> </td>\n        </tr>\n      "
      "</tbody></table>\n"
      "      <ul>\n        <li><b>a</b> <i>b</i></li>\n      </ul>\n"
      "      <pre>\n  kept <b>x</b>\n</pre>\n      <textarea>\n  kept\n</textarea>\n"
      "      <p><span>x</span> <!-- c -->\n</p>\n"
      "    </main>\n  \n</body></html>");
  const QString legacy = ToLegacyHtml(modern);
  EXPECT_EQ(
      legacy,
      QStringLiteral(
          "<HTML lang=zh-CN><HEAD><META charset=utf-8><TITLE>保修</TITLE>"
          "<STYLE> p { } </STYLE></HEAD><BODY><MAIN><DIV class=result>"
          "<H2><SPAN id=productname>iPhone 14 Pro</SPAN></H2>"
          "<SPAN class=serial>序列号：C39</SPAN><P>\n"
          "          您的产品享有有限保修中的硬件维修和服务。<BR>预计到期日：2027年3月18日<BR>"
          "<A href=\"/again\">再查询一个</A></P></DIV>"
          "<TABLE><TBODY><TR><TD></TD></TR></TBODY></TABLE>"
          "<UL><LI><B>a</B> <I>b</I></LI></UL>"
          "<PRE>\n  kept <B>x</B>\n</PRE><TEXTAREA>\n  kept\n</TEXTAREA>"
          "<P><SPAN>x</SPAN> <!-- c --></P></MAIN></BODY></HTML>"));
  EXPECT_EQ(TextBetween(legacy, "id=productname>", "</SPAN></H2><SPAN"),
            QStringLiteral("iPhone 14 Pro"));
  EXPECT_EQ(TextBetween(legacy, "有限保修中的硬件维修和服务。<BR>预计到期日：", "<BR><A href="),
            QStringLiteral("2027年3月18日"));
}

TEST(LegacyHtml, HostileInputGrowsTheOutputSafelyAndTakesLinearTime) {
  // Tag-like raw text: every "/b" becomes an attribute " b", longer than it was.
  const QString tagLike =
      QStringLiteral("<plaintext></plaintext><a") + QStringLiteral("/b").repeated(100000);
  const QString legacy = ToLegacyHtml(tagLike);
  EXPECT_TRUE(legacy.startsWith(QStringLiteral("<PLAINTEXT></PLAINTEXT><A b b ")));
  EXPECT_EQ(legacy.size(), 23 + 2 + 2 * 100000 + 1);
  // Once a rescan for every '<' (seconds at this size).
  const QString lt = QStringLiteral("<script>") + QString(160000, QLatin1Char('<'));
  EXPECT_EQ(ToLegacyHtml(lt), QStringLiteral("<SCRIPT>") + QString(160000, QLatin1Char('<')));
  const QString blanks = QStringLiteral(" <br>").repeated(50000) + QStringLiteral("<!--");
  EXPECT_EQ(ToLegacyHtml(blanks), QStringLiteral("<BR>").repeated(50000) + QStringLiteral("<!--"));
  const QString unclosed = QStringLiteral("<a href=\"") + QString(100000, QLatin1Char('<'));
  EXPECT_EQ(ToLegacyHtml(unclosed).size(), unclosed.size() + 2);
}

}  // namespace
}  // namespace quarvel
