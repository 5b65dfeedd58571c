#include "gui/shell/desktop_identity.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "base/config/logging.h"

namespace quarvel {

void ApplyDesktopIdentity() {
  QApplication::setApplicationName(QStringLiteral("quarvel"));
  QApplication::setApplicationVersion(QStringLiteral(QUARVEL_VERSION));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/%1x%1/apps/org.quarvel.Quarvel.png").arg(size),
                 QSize(size, size));
  QApplication::setWindowIcon(icon);
}

bool LoadToolkitTranslations(const QString& folder) {
  const QString from =
      folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
  // The interface is Chinese whatever the system's language, so are the dialogs.
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"),
                        QStringLiteral("_"), from)) {
    qCWarning(lcApp).noquote() << "no Chinese translations of the toolkit in" << from
                               << "(package qt6-translations-l10n): its dialogs stay in English";
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  qCDebug(lcApp) << "toolkit translations from" << translator->filePath();
  return true;
}

}  // namespace quarvel
