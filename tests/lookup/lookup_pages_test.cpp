// What the lookups decide from addresses and pages: pure functions.
#include <gtest/gtest.h>

#include <QUrl>

#include "base/text/text_between.h"
#include "lookup/lookup_pages.h"
#include "lookup/lookup_paths.h"

namespace quarvel {
namespace {

TEST(LookupPaths, EntriesGoOutAsOneEscapedSegmentThatNoParserChanges) {
  Config config;
  config.lookupHost = "h:1";
  // Trailing spaces go, leading and inner ones stay, as %20; no case change.
  EXPECT_EQ(LookupPageUrl(config, TrimTrailingSpaces("  C39 xK  ")),
            QStringLiteral("http://h:1/index.php/iphone/%20%20C39%20xK"));
  EXPECT_EQ(HandsetPictureUrl(config, "F2LX K1ABCDEF"),
            QStringLiteral("http://h:1/index.php/pic/iphone/F2LX%20K1ABCDEF.png"));
  EXPECT_EQ(EscapeSerial("a/b?c#d%e\tf\x7f"), QStringLiteral("a%2Fb%3Fc%23d%25e%09f%7F"));
  EXPECT_EQ(EscapeSerial(QStringLiteral("\\\"'<>`{}|^[]")),
            QStringLiteral("%5C%22%27%3C%3E%60%7B%7D%7C%5E%5B%5D"));
  EXPECT_EQ(EscapeSerial(QStringLiteral("型号")), QStringLiteral("%E5%9E%8B%E5%8F%B7"));
  EXPECT_EQ(EscapeSerial("A-1.b_2~"), QStringLiteral("A-1.b_2~"));
  // What no browser sends as it is travels as its escape.
  EXPECT_EQ(EscapeSerial("."), QStringLiteral("%252E"));
  EXPECT_EQ(EscapeSerial(".."), QStringLiteral("%252E%252E"));
  EXPECT_EQ(EscapeSerial("..."), QStringLiteral("..."));
  EXPECT_EQ(EscapeSerial(QString::fromLatin1("C3\0X", 4)), QStringLiteral("C3%2500X"));
  // Every result passes a strict parse unchanged.
  for (const QString& serial :
       {QStringLiteral(" a b"), QStringLiteral(".."), QStringLiteral("\\\"'<>`{}|^[] %"),
        QString::fromLatin1("\0\x01\x1f", 3), QStringLiteral("序列号")}) {
    const QString url = LookupPageUrl(config, serial);
    const QUrl parsed = QUrl::fromEncoded(url.toLatin1(), QUrl::StrictMode);
    EXPECT_TRUE(parsed.isValid()) << url.toStdString();
    EXPECT_EQ(parsed.toEncoded(), url.toLatin1()) << url.toStdString();
  }
  EXPECT_EQ(SamplePictureUrl(config),
            QStringLiteral("http://h:1/index.php/pic/iphone/012758009896035.png"));
  EXPECT_EQ(TrimTrailingSpaces("   "), QString());
  EXPECT_EQ(TrimTrailingSpaces(" a\t "), QStringLiteral(" a\t"));
}

TEST(TextBetween, CutsBetweenTheFirstStartAndTheFirstEndAfterIt) {
  EXPECT_EQ(TextBetween(QByteArray("abcXYdefZZg"), "XY", "ZZ"), QByteArray("def"));
  EXPECT_EQ(TextBetween(QByteArray("abcXYdefZZg"), "QQ", "ZZ"), QByteArray());
  EXPECT_EQ(TextBetween(QByteArray("abcXYdefZZg"), "XY", "QQ"), QByteArray());
  EXPECT_EQ(TextBetween(QByteArray("abcXYdefZZg"), "XY", "de"), QByteArray());
  EXPECT_EQ(TextBetween(QByteArray("ZZ a XY b ZZ XY c ZZ"), "XY", "ZZ"), QByteArray(" b "));
  EXPECT_EQ(TextBetween(QStringLiteral("型号>甲乙</SPAN>丙</SPAN>"), QStringLiteral("型号>"),
                        QStringLiteral("</SPAN>")),
            QStringLiteral("甲乙"));
}

TEST(LookupSitePage, EmptyResultNotFoundOrStillLoadingWithTheResultMarkerFirst) {
  EXPECT_EQ(ClassifyLookupSitePage(QString()), LookupSitePage::Empty);
  EXPECT_EQ(ClassifyLookupSitePage(QStringLiteral("查找结果：iPhone")), LookupSitePage::Result);
  EXPECT_EQ(ClassifyLookupSitePage(QStringLiteral("抱歉，没有找到此序列号")),
            LookupSitePage::NotFound);
  EXPECT_EQ(ClassifyLookupSitePage(QStringLiteral("抱歉，没有找到 … 查找结果")),
            LookupSitePage::Result);
  EXPECT_EQ(ClassifyLookupSitePage(QStringLiteral(" ")), LookupSitePage::Other);
  EXPECT_EQ(ClassifyLookupSitePage(QStringLiteral("正在加载")), LookupSitePage::Other);
}

TEST(WarrantyPage, FormResultAndRejectionAsTheOldEngineWroteThem) {
  EXPECT_TRUE(HasWarrantyForm(QStringLiteral("<P>请输入产品的序列号</P><INPUT>")));
  EXPECT_FALSE(HasWarrantyForm(QStringLiteral("<P>请输入序列号</P>")));

  const QString result = QStringLiteral(
      "<H2><SPAN id=productname>iPhone 14 Pro</SPAN></H2><SPAN>…</SPAN>"
      "有限保修中的硬件维修和服务。<BR>预计到期日：2027年3月18日<BR><A href=x>更多</A>"
      "<SPAN id=productname>second</SPAN></H2><SPAN");
  WarrantyPage page = ParseWarrantyPage(result);
  EXPECT_EQ(page.kind, WarrantyPage::Kind::Result);
  EXPECT_EQ(page.model, QStringLiteral("iPhone 14 Pro"));  // the first marker wins
  EXPECT_EQ(page.warrantyEnd, QStringLiteral("2027年3月18日"));

  // A result page lacking the cut markers still is one; a rejection in the
  // same page does not change that.
  page = ParseWarrantyPage(QStringLiteral("预计到期日 系列号无效"));
  EXPECT_EQ(page.kind, WarrantyPage::Kind::Result);
  EXPECT_TRUE(page.model.isEmpty());
  EXPECT_TRUE(page.warrantyEnd.isEmpty());

  EXPECT_EQ(ParseWarrantyPage(QStringLiteral("系列号无效")).kind, WarrantyPage::Kind::Rejected);
  EXPECT_EQ(ParseWarrantyPage(QStringLiteral("请输入有效的序列号。")).kind,
            WarrantyPage::Kind::Rejected);
  EXPECT_EQ(ParseWarrantyPage(QStringLiteral("<P>请稍候</P>")).kind, WarrantyPage::Kind::Other);
  EXPECT_EQ(ParseWarrantyPage(QString()).kind, WarrantyPage::Kind::Other);
}

}  // namespace
}  // namespace quarvel
