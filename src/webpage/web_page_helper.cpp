#include "webpage/web_page_helper.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdint>
#include <optional>

#include "base/handler_gate.h"
#include "webpage/window_layer.h"

namespace quarvel {
namespace {

QString EventName(int code) {
  static const char* const kNames[] = {"onclick", "ondblclick", "onrowenter",
                                       "onblur",  "onkeyup",    "onchange"};
  return code >= 0 && code < 6 ? QString::fromLatin1(kNames[code]) : QString();
}

// How an element was chosen: by its ordinal or by one of its attributes,
// which are compared in this order.
enum class MatchedBy { Ordinal, Name, Id, Value, InnerText, Title, Href };
const QStringList kAttributes = {QStringLiteral("name"),  QStringLiteral("ID"),
                                 QStringLiteral("value"), QStringLiteral("innertext"),
                                 QStringLiteral("title"), QStringLiteral("href")};

// The identifier read as a number: whole numbers for digit strings, 0 for text.
double ReadNumber(const QString& identifier) {
  bool ok = false;
  const double value = identifier.trimmed().toDouble(&ok);
  return ok && std::isfinite(value) ? value : 0;
}

bool Equal(const QString& cell, const QString& identifier) {
  return !cell.isNull() && cell == identifier;
}

// One FindElements call: its arguments and its running counters.
class Search {
 public:
  Search(WebPageHelper& helper, const QString& identifier, int operation, const QString& newValue,
         int focusOnly, int setDisplay, int displayShown, int returnElement,
         AutomationObject* elementOut, int skipCount)
      : helper_(helper),
        identifier_(identifier),
        number_(ReadNumber(identifier)),
        operation_(operation),
        newValue_(newValue),
        focusOnly_(focusOnly),
        setDisplay_(setDisplay),
        displayShown_(displayShown),
        returnElement_(returnElement),
        elementOut_(elementOut),
        skipCount_(skipCount) {}

  // Counts an element; true when its ordinal is the identifier.
  bool CountAndMatchOrdinal() {
    ++counter_;
    return std::fabs(number_ - counter_) <= 1e-7;
  }

  // An attribute match: passed over while skipCount lasts.
  bool TakeAttributeMatch() {
    if (skipCount_ > 0) {
      --skipCount_;
      return false;
    }
    return true;
  }

  // The matching step for an element whose kind equals a type piece.
  // nullopt: go on searching.
  std::optional<bool> Match(const AutomationObject& element, const QStringList& row) {
    if (CountAndMatchOrdinal()) return Act(element, MatchedBy::Ordinal);
    for (int a = 0; a < kAttributes.size(); ++a) {
      if (!Equal(row.value(1 + a), identifier_)) continue;
      if (!TakeAttributeMatch()) return std::nullopt;
      return Act(element, static_cast<MatchedBy>(1 + a));
    }
    return std::nullopt;
  }

  // The titled-element step; row holds title and href.
  std::optional<bool> MatchTitled(const AutomationObject& element, const QStringList& row) {
    if (row.value(0).isEmpty()) return std::nullopt;  // neither counted nor matched
    if (CountAndMatchOrdinal()) return ActTitled(element);
    if (Equal(row.value(0), identifier_) || Equal(row.value(1), identifier_)) {
      if (TakeAttributeMatch()) return ActTitled(element);
    }
    return std::nullopt;
  }

  // The span path; row holds name, ID, innerText and title.
  bool MatchSpan(const AutomationObject& item, const QStringList& row) {
    bool chosen = CountAndMatchOrdinal();
    for (int a = 0; !chosen && a < row.size(); ++a) {
      if (!Equal(row[a], identifier_)) continue;
      if (!TakeAttributeMatch()) return false;
      chosen = true;
    }
    if (chosen) item.Call(QStringLiteral("click"));
    return chosen;
  }

  // The list-item path; row holds innerText and ID.
  bool MatchListItem(const AutomationObject& item, const QStringList& row) {
    bool chosen = CountAndMatchOrdinal();
    if (!chosen && (Equal(row.value(0), identifier_) || Equal(row.value(1), identifier_))) {
      if (!TakeAttributeMatch()) return false;
      chosen = true;
    }
    if (!chosen) return false;
    item.Put(QStringLiteral("value"), Variant());
    helper_.FireElementEvent(0, 0, WebPageHelper::kOnClick, item);
    return true;
  }

 private:
  // Flags first, in the order focus, display, return; then the operation.
  std::optional<bool> ActOnFlags(const AutomationObject& element) {
    if (focusOnly_) {
      element.Call(QStringLiteral("focus"));
      return true;
    }
    if (setDisplay_) {
      const AutomationObject style = element.Get(QStringLiteral("style")).ToObject();
      return style.Put(
          QStringLiteral("display"),
          Variant::Text(displayShown_ ? QStringLiteral("block") : QStringLiteral("none")));
    }
    if (returnElement_) {
      if (elementOut_) *elementOut_ = element;
      return true;
    }
    return std::nullopt;
  }

  std::optional<bool> Act(const AutomationObject& element, MatchedBy by) {
    if (auto flagged = ActOnFlags(element)) return flagged;
    static const char* const kWritten[] = {"innertext", "value", "name", "ID"};
    QStringList events;
    QString property;
    Variant value;
    switch (operation_) {
      case 0:
      case 1:
      case 2:
      case 3:
        property = QString::fromLatin1(kWritten[operation_]);
        value = Variant::Text(newValue_);
        if (by != MatchedBy::Href) {
          events = {EventName(WebPageHelper::kOnKeyUp), EventName(WebPageHelper::kOnBlur)};
          if (operation_ == 1 && by == MatchedBy::Name)
            events << EventName(WebPageHelper::kOnChange);
        }
        break;
      case 4:
      case 5:
        property = QStringLiteral("checked");
        value = Variant::Number(operation_ == 4 ? 1 : 0);
        events = {EventName(WebPageHelper::kOnClick)};
        break;
      case 6:
        element.Call(QStringLiteral("click"));
        return true;
      default:
        return std::nullopt;  // not matched: the search goes on
    }
    // The write, then each event through FireEvent, in one request.
    return element.PutThenFire(property, value, events);
  }

  std::optional<bool> ActTitled(const AutomationObject& element) {
    if (auto flagged = ActOnFlags(element)) return flagged;
    element.Call(QStringLiteral("click"));
    return true;
  }

  WebPageHelper& helper_;
  const QString identifier_;
  const double number_;
  const int operation_;
  const QString newValue_;
  const int focusOnly_, setDisplay_, displayShown_, returnElement_;
  AutomationObject* elementOut_;
  int skipCount_;
  int counter_ = 0;
};

// document.body.all.tags(tag)
AutomationObject TaggedDescendantsOfBody(const AutomationObject& document, const QString& tag) {
  const AutomationObject all =
      document.Get(QStringLiteral("body")).ToObject().Get(QStringLiteral("all")).ToObject();
  if (all.IsEmpty()) return {};
  return all.Call(QStringLiteral("tags"), {Variant::Text(tag)}).ToObject();
}

}  // namespace

bool WebPageHelper::AttachToBrowserWindow(qint64 handle) {
  if (!IsWindowHandle(handle)) return false;
  windowHandle_ = handle;
  GetDocumentFromWindow(windowHandle_, document_);
  return !document_.IsEmpty();
}

void WebPageHelper::ReleaseDocument() { document_ = AutomationObject(); }

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
  qint64 target = handle;
  if (WindowClassName(target) != QLatin1String(kBrowserServerClass)) {
    target = FindBrowserServerWindow(target);
    if (target == 0) return false;
  }
  auto session = RequestDocument(target, kDocumentRequestTimeoutMs);
  if (!session) return false;
  document = AutomationObject::Document(std::move(session));
  return true;
}

QString WebPageHelper::GetPageText() {
  if (document_.IsEmpty()) return {};
  const AutomationObject root = document_.Get(QStringLiteral("documentElement")).ToObject();
  return root.IsEmpty() ? QString() : root.Get(QStringLiteral("innerText")).ToText();
}

QString WebPageHelper::GetPageHtml() {
  if (document_.IsEmpty()) return {};
  const AutomationObject root = document_.Get(QStringLiteral("documentElement")).ToObject();
  return root.IsEmpty() ? QString() : root.Get(QStringLiteral("outerHTML")).ToText();
}

bool WebPageHelper::FireElementEvent(int /*kind*/, int /*ordinal*/, int eventCode,
                                     const AutomationObject& element) {
  // Looking an element up by kind and ordinal is not needed by any caller.
  if (element.IsEmpty()) return false;
  return element.FireEvent(EventName(eventCode));
}

bool WebPageHelper::FindElements(const QString& tagList, const QString& typeList,
                                 const QString& identifier, int operation, const QString& newValue,
                                 int focusOnly, int setDisplay, int displayShown, int returnElement,
                                 AutomationObject* elementOut, int skipCount) {
  const QStringList types = typeList.split(QLatin1Char('|'), Qt::SkipEmptyParts);
  const QStringList tags = tagList.split(QLatin1Char('|'), Qt::SkipEmptyParts);
  if (types.isEmpty() || document_.IsEmpty()) return false;

  Search search(*this, identifier, operation, newValue, focusOnly, setDisplay, displayShown,
                returnElement, elementOut, skipCount);
  const QString wholeTagList = tagList.toLower();
  const bool titled = typeList == QLatin1String("title");
  const int textLength = static_cast<int>(identifier.size());

  for (const QString& tag : tags) {
    if (wholeTagList == QLatin1String("span") || wholeTagList == QLatin1String("ul")) {
      const bool spans = wholeTagList == QLatin1String("span");
      const AutomationObject items =
          TaggedDescendantsOfBody(document_, spans ? QStringLiteral("span") : QStringLiteral("li"));
      SnapshotQuery query;
      query.properties =
          spans ? QStringList{"name", "ID", "innerText", "title"} : QStringList{"innerText", "ID"};
      query.textLength = textLength;
      auto snapshot = items.IsEmpty() ? std::nullopt : items.ReadAll(query);
      if (!snapshot) continue;
      for (int i = 0;; ++i) {
        const QStringList* row = snapshot->Row(i);
        if (!row) break;
        const AutomationObject item = AutomationObject::Item(*snapshot, i);
        if (spans ? search.MatchSpan(item, *row) : search.MatchListItem(item, *row)) return true;
      }
      continue;
    }

    static const QStringList kKindByTagName = {"a", "cite", "img", "div"};
    SnapshotQuery query;
    if (titled) {
      query.properties = {QStringLiteral("title"), QStringLiteral("href")};
    } else {
      query.properties = QStringList{kKindByTagName.contains(tag) ? QStringLiteral("tagName")
                                                                  : QStringLiteral("type")} +
                         kAttributes;
      query.textLength = textLength;
      query.kindFilter = types;  // rows of other kinds would be passed over here anyway
    }
    auto snapshot = document_.ReadTag(tag, query);
    if (!snapshot) continue;

    for (int i = 0;; ++i) {
      const QStringList* row = snapshot->Row(i);
      if (!row) break;
      if (row->isEmpty()) continue;  // a kind that is no type piece
      const AutomationObject element = AutomationObject::Item(*snapshot, i);
      if (titled) {
        if (auto acted = search.MatchTitled(element, *row)) return *acted;
        continue;
      }
      const QString kind = row->value(0).toLower();
      for (const QString& piece : types) {
        if (kind != piece) continue;
        if (auto acted = search.Match(element, *row)) return *acted;
      }
    }
  }
  return false;
}

bool WebPageHelper::FillTextInput(const QString& identifier, const QString& newValue,
                                  int skipCount) {
  AutomationObject element;
  return FindElements(QStringLiteral("input"), QStringLiteral("text|password|file"), identifier, 1,
                      newValue, 0, 0, 0, 0, &element, skipCount);
}

bool WebPageHelper::ClickElement(const QString& identifier, int skipCount) {
  AutomationObject element;
  return FindElements(QStringLiteral("input|button"), QStringLiteral("button|submit|reset"),
                      identifier, 6, QString(), 0, 0, 0, 0, &element, skipCount);
}

}  // namespace quarvel
