#include "webpage/web_page_helper.h"

#include <QCoreApplication>
#include <QWebEnginePage>

#include <cmath>
#include <cstdint>
#include <optional>

#include "base/gate/handler_gate.h"
#include "webpage/window_layer.h"

namespace quarvel {
namespace {

QString EventName(int code) {
  static const char* const kNames[] = {"onclick", "ondblclick", "onrowenter",
                                       "onblur",  "onkeyup",    "onchange"};
  return code >= 0 && code < 6 ? QString::fromLatin1(kNames[code]) : QString();
}

// The identifier read as a number: whole numbers for digit strings, 0 for text.
double ReadNumber(const QString& identifier) {
  bool ok = false;
  const double value = identifier.trimmed().toDouble(&ok);
  return ok && std::isfinite(value) ? value : 0;
}

}  // namespace

bool WebPageHelper::AttachToBrowserWindow(qint64 handle) {
  if (!IsWindowHandle(handle)) return false;
  windowHandle_ = handle;
  GetDocumentFromWindow(windowHandle_, document_);
  return !document_.IsEmpty();
}

void WebPageHelper::ReleaseDocument() {
  document_ = AutomationObject();
  unanswered_ = false;
}

qint64 WebPageHelper::FindBrowserServerWindow(qint64 parent) {
  qint64 child = FindChildWindow(parent, 0);
  while (static_cast<int32_t>(child) > 0) {
    if (WindowClassName(child) == QLatin1String(kBrowserServerClass)) return child;
    if (const qint64 found = FindBrowserServerWindow(child)) return found;
    child = FindChildWindow(parent, child);
    // The one place where other handlers may run inside a handler.
    HandlerGate::Open open;
    QCoreApplication::processEvents();
  }
  return 0;
}

bool WebPageHelper::GetDocumentFromWindow(qint64 handle, AutomationObject& document) {
  unanswered_ = false;
  qint64 target = handle;
  if (WindowClassName(target) != QLatin1String(kBrowserServerClass)) {
    target = FindBrowserServerWindow(target);
    if (target == 0) return false;
  }
  bool answered = true;
  auto session = RequestDocument(target, kDocumentRequestTimeoutMs, &answered);
  unanswered_ = !answered;
  if (!session) return false;
  document = AutomationObject::Document(std::move(session));
  return true;
}

QString WebPageHelper::GetPageText() { return TryGetPageText().value_or(QString()); }

QString WebPageHelper::GetPageHtml() { return TryGetPageHtml().value_or(QString()); }

std::optional<QString> WebPageHelper::TryGetPageText() {
  return ReadPage(QStringLiteral("innerText"));
}

std::optional<QString> WebPageHelper::TryGetPageHtml() {
  return ReadPage(QStringLiteral("outerHTML"));
}

// documentElement, then its property, in one request.
std::optional<QString> WebPageHelper::ReadPage(const QString& property) {
  if (document_.IsEmpty()) {
    if (unanswered_) return std::nullopt;  // the page did not answer in time
    return QString();
  }
  const Variant value = document_.GetPath({QStringLiteral("documentElement"), property});
  // No text yet (not even a root element) while the document, or the page's
  // next one, is loading.
  const QWebEnginePage* page = document_.page();
  const bool loading = value.loading || (page && page->isLoading());
  if (parsedOnly_ && value.loading) return std::nullopt;
  switch (value.kind) {
    case Variant::Kind::Text:
      if (value.text.isEmpty() && loading) return std::nullopt;
      return value.text;
    case Variant::Kind::Unanswered:
    case Variant::Kind::Error:
      return std::nullopt;
    default:  // no root element: an empty page, unless one is on its way
      if (loading) return std::nullopt;
      return QString();
  }
}

bool WebPageHelper::FireElementEvent(int eventCode, const AutomationObject& element) {
  if (element.IsEmpty()) return false;
  return element.FireEvent(EventName(eventCode));
}

// The search runs in the page, in one request: the agent visits, counts and
// compares the elements as described there and acts on the first one chosen.
bool WebPageHelper::FindElements(const QString& tagList, const QString& typeList,
                                 const QString& identifier, int operation, const QString& newValue,
                                 int focusOnly, int setDisplay, int displayShown, int returnElement,
                                 AutomationObject* elementOut, int skipCount) {
  FindRequest request;
  request.tagList = tagList;
  request.typeList = typeList;
  request.identifier = identifier;
  request.operation = operation;
  request.newValue = newValue;
  request.focusOnly = focusOnly != 0;
  request.setDisplay = setDisplay != 0;
  request.displayShown = displayShown != 0;
  request.returnElement = returnElement != 0;
  request.skipCount = skipCount;
  return FindElements(request, elementOut);
}

bool WebPageHelper::FindElements(const FindRequest& find, AutomationObject* elementOut) {
  const QString& tagList = find.tagList;
  const QString& typeList = find.typeList;
  const QStringList types = typeList.split(QLatin1Char('|'), Qt::SkipEmptyParts);
  const QStringList tags = tagList.split(QLatin1Char('|'), Qt::SkipEmptyParts);
  if (types.isEmpty() || document_.IsEmpty()) return false;

  // The whole tag list, lowercased, selects the span and list-item paths; the
  // whole type list "title" the titled-element path.
  const QString wholeTagList = tagList.toLower();
  const char* path = wholeTagList == QLatin1String("span") ? "span"
                     : wholeTagList == QLatin1String("ul") ? "ul"
                     : typeList == QLatin1String("title")  ? "title"
                                                           : "kind";
  AgentRequest request("find");
  request.Add("tags", tags)
      .Add("types", types)
      .Add("path", path)
      .Add("id", find.identifier)
      .Add("num", ReadNumber(find.identifier))
      .Add("operation", find.operation)
      .Add("value", find.newValue)
      .Add("focus", find.focusOnly)
      .Add("display", find.setDisplay)
      .Add("shown", find.displayShown)
      .Add("ret", find.returnElement)
      .Add("skip", find.skipCount);
  const AgentReply reply = document_.Send(std::move(request));
  if (reply.kind != AgentReply::Kind::Found) return false;
  if (reply.id > 0) {
    AutomationObject element = document_.Adopt(reply.id);
    if (elementOut) *elementOut = std::move(element);
  }
  return reply.boolean;
}

bool WebPageHelper::FillTextInput(const QString& identifier, const QString& newValue,
                                  int skipCount) {
  return FindElements({.tagList = QStringLiteral("input"),
                       .typeList = QStringLiteral("text|password|file"),
                       .identifier = identifier,
                       .operation = kSetValue,
                       .newValue = newValue,
                       .focusOnly = false,
                       .setDisplay = false,
                       .displayShown = false,
                       .returnElement = false,
                       .skipCount = skipCount});
}

bool WebPageHelper::ClickElement(const QString& identifier, int skipCount) {
  return FindElements({.tagList = QStringLiteral("input|button"),
                       .typeList = QStringLiteral("button|submit|reset"),
                       .identifier = identifier,
                       .operation = kClick,
                       .newValue = {},
                       .focusOnly = false,
                       .setDisplay = false,
                       .displayShown = false,
                       .returnElement = false,
                       .skipCount = skipCount});
}

}  // namespace quarvel
