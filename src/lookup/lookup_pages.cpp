#include "lookup/lookup_pages.h"

#include "base/text/text_between.h"

namespace quarvel {

LookupSitePage ClassifyLookupSitePage(const QString& text) {
  if (text.isEmpty()) return LookupSitePage::Empty;
  if (text.contains(QStringLiteral("查找结果"))) return LookupSitePage::Result;
  if (text.contains(QStringLiteral("抱歉，没有找到"))) return LookupSitePage::NotFound;
  return LookupSitePage::Other;
}

bool HasWarrantyForm(const QString& html) {
  return html.contains(QStringLiteral("请输入产品的序列号"));
}

WarrantyPage ParseWarrantyPage(const QString& html) {
  WarrantyPage page;
  if (html.contains(QStringLiteral("预计到期日"))) {
    page.kind = WarrantyPage::Kind::Result;
    page.model =
        TextBetween(html, QStringLiteral("id=productname>"), QStringLiteral("</SPAN></H2><SPAN"));
    page.warrantyEnd =
        TextBetween(html, QStringLiteral("有限保修中的硬件维修和服务。<BR>预计到期日："),
                    QStringLiteral("<BR><A href="));
  } else if (html.contains(QStringLiteral("系列号无效")) ||
             html.contains(QStringLiteral("有效的序列号"))) {
    page.kind = WarrantyPage::Kind::Rejected;
  }
  return page;
}

}  // namespace quarvel
