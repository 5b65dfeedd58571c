#include "gui/sharing/save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace quarvel {

QStringList QtFilters(const QString& pairs) {
  const QStringList parts = pairs.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString& pattern = parts[i + 1];
    filters << (description.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))
                    ? description
                    : description + QStringLiteral(" (") + pattern + QLatin1Char(')'));
  }
  return filters;
}

QString FilterExtension(const QString& qtFilter) {
  const qsizetype dot = qtFilter.lastIndexOf(QStringLiteral("*."));
  if (dot < 0) return {};
  const qsizetype end = qtFilter.indexOf(QLatin1Char(')'), dot);
  return qtFilter.mid(dot + 2, end < 0 ? -1 : end - dot - 2);
}

QString SaveDialogStartFolder() {
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (!pictures.isEmpty() && QFileInfo(pictures).isDir()) return pictures;
  return QDir::homePath();
}

std::optional<SaveChoice> PlatformSaveDialog::Ask(QWidget* parent, const SaveRequest& request) {
  const QStringList filters = QtFilters(request.filter);
  QFileDialog dialog(parent, request.title, SaveDialogStartFolder());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(filters);
  if (request.initialFilter >= 0 && request.initialFilter < filters.size())
    dialog.selectNameFilter(filters[request.initialFilter]);
  // A name typed without an extension gets the chosen type's one from the
  // dialog itself, which then asks before replacing an existing file of
  // that name; a name with any extension is kept as typed.
  const auto useSuffixOf = [&dialog](const QString& filter) {
    dialog.setDefaultSuffix(FilterExtension(filter));
  };
  useSuffixOf(dialog.selectedNameFilter());
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, useSuffixOf);
  dialog.selectFile(request.proposedName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return SaveChoice{dialog.selectedFiles().first(),
                    static_cast<int>(filters.indexOf(dialog.selectedNameFilter()))};
}

}  // namespace quarvel
