#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

#include "webpage/page_automation.h"

namespace quarvel {

// Binds to the HTML document shown in an embedded browser and reads,
// searches, fills and clicks its elements. The lookup handlers create one per
// timer tick and drop it at the end of the tick.
class WebPageHelper {
 public:
  WebPageHelper() = default;
  WebPageHelper(const WebPageHelper& other) = default;  // shares the document
  WebPageHelper& operator=(const WebPageHelper& other) = default;
  ~WebPageHelper() = default;  // releases this object's reference

  // Attachment.
  bool AttachToBrowserWindow(qint64 handle);
  void ReleaseDocument();
  qint64 FindBrowserServerWindow(qint64 parent);
  bool GetDocumentFromWindow(qint64 handle, AutomationObject& document);

  // Page text and element search. A read that fails gives empty text.
  QString GetPageText();
  QString GetPageHtml();
  // The same reads, telling a page that is not readable yet (nullopt: the
  // page did not answer in time, went away during the read, or is still
  // loading and has no text yet) from a page whose text is empty.
  std::optional<QString> TryGetPageText();
  std::optional<QString> TryGetPageHtml();
  // From now on a document still being parsed is not readable at all, what
  // it already holds notwithstanding.
  void ReadParsedDocumentsOnly() { parsedOnly_ = true; }
  // The token of the attached document (PageSession): empty for none.
  QString DocumentToken() const { return document_.DocumentToken(); }
  // Fires `eventCode` (an EventCode) on `element`; false for an empty element,
  // an unknown code, or an event that a listener cancelled.
  bool FireElementEvent(int eventCode, const AutomationObject& element);

  // What FindElements does to the element it chooses (any other code makes
  // the element count as not matched).
  enum Operation {
    kSetInnerText = 0,
    kSetValue = 1,
    kSetName = 2,
    kSetId = 3,
    kCheck = 4,
    kUncheck = 5,
    kClick = 6,
  };
  // One element search: the tags and kinds to visit ("|"-separated), what
  // picks the element (an ordinal number or an attribute's value), and the
  // one thing done to it. The flags take precedence in the order focusOnly,
  // setDisplay, returnElement, operation.
  struct FindRequest {
    QString tagList;
    QString typeList;
    QString identifier;
    int operation = kSetInnerText;
    QString newValue;         // written by the operations up to kSetId
    bool focusOnly = false;   // only give the element the input focus
    bool setDisplay = false;  // only show (displayShown) or hide it
    bool displayShown = false;
    bool returnElement = false;  // only hand it back in elementOut
    int skipCount = 0;           // attribute matches passed over before acting
  };
  bool FindElements(const FindRequest& request, AutomationObject* elementOut = nullptr);
  // The same with the request's fields in order, flags as integers.
  bool FindElements(const QString& tagList, const QString& typeList, const QString& identifier,
                    int operation, const QString& newValue = {}, int focusOnly = 0,
                    int setDisplay = 0, int displayShown = 0, int returnElement = 0,
                    AutomationObject* elementOut = nullptr, int skipCount = 0);

  // Form filling and clicking.
  bool FillTextInput(const QString& identifier, const QString& newValue, int skipCount = 0);
  bool ClickElement(const QString& identifier, int skipCount = 0);

  qint64 windowHandle() const { return windowHandle_; }
  const AutomationObject& document() const { return document_; }

  // Event codes of FireElementEvent.
  enum EventCode { kOnClick = 0, kOnDblClick, kOnRowEnter, kOnBlur, kOnKeyUp, kOnChange };

  // Time the document request waits for the page.
  static constexpr int kDocumentRequestTimeoutMs = 1000;

 private:
  std::optional<QString> ReadPage(const QString& property);

  AutomationObject document_;
  qint64 windowHandle_ = 0;
  bool unanswered_ = false;  // the last document request went unanswered
  bool parsedOnly_ = false;
};

}  // namespace quarvel
