#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace quarvel {

// What the save-as dialog is opened with. The filter is written as pairs of
// description and pattern, all separated by "|".
struct SaveRequest {
  QString title;
  QString filter;
  int initialFilter = 0;
  QString proposedName;
};

struct SaveChoice {
  QString path;     // the full path the user confirmed
  int filterIndex;  // the type chosen in the filter, from 0
};

// The save-as dialog; tests answer it themselves.
class SaveDialog {
 public:
  virtual ~SaveDialog() = default;
  // Modal; nullopt when the user cancels.
  virtual std::optional<SaveChoice> Ask(QWidget* parent, const SaveRequest& request) = 0;
};

// The platform's own save dialog.
class PlatformSaveDialog : public SaveDialog {
 public:
  std::optional<SaveChoice> Ask(QWidget* parent, const SaveRequest& request) override;
};

// Where the platform's save dialog opens: the user's pictures folder, or the
// home folder when there is none.
QString SaveDialogStartFolder();

// "desc|pattern|desc|pattern" as Qt filters ("desc (pattern)"), one per entry.
QStringList QtFilters(const QString& pairs);

// The extension a Qt filter's pattern gives ("png" for "… (*.png)"), or empty.
QString FilterExtension(const QString& qtFilter);

}  // namespace quarvel
