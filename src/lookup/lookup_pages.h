#pragma once

#include <QString>

namespace quarvel {

// What the lookups decide from a page, as pure functions of its text or HTML.

// The lookup site's page, from its text.
enum class LookupSitePage {
  Empty,     // no text at all
  Result,    // "查找结果" (also when the page says "抱歉，没有找到" too)
  NotFound,  // "抱歉，没有找到"
  Other,     // still loading, or some other page
};
LookupSitePage ClassifyLookupSitePage(const QString& text);

// The warranty page shows its serial form: "请输入产品的序列号".
bool HasWarrantyForm(const QString& html);

// The warranty page after the form was sent, from its HTML.
struct WarrantyPage {
  enum class Kind {
    Other,     // not a result page yet
    Rejected,  // "系列号无效" or "有效的序列号"
    Result,    // "预计到期日" (also when the page rejects the serial too)
  };
  Kind kind = Kind::Other;
  QString model;        // between "id=productname>" and "</SPAN></H2><SPAN"
  QString warrantyEnd;  // between "…服务。<BR>预计到期日：" and "<BR><A href="
};
WarrantyPage ParseWarrantyPage(const QString& html);

}  // namespace quarvel
