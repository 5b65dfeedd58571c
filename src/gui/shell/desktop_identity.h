#pragma once

#include <QString>

namespace quarvel {

// The id of the desktop entry, the AppStream component and the icon.
inline constexpr char kDesktopId[] = "org.quarvel.Quarvel";

// Gives the running application its name, version, desktop entry and window
// icon (from the program's resources). Call once the application object exists.
void ApplyDesktopIdentity();

// Loads the toolkit's Chinese translations for its own texts (the buttons and
// labels of its dialogs) from the toolkit's translation folder, or from
// folder when given. False, with a warning, when they are not installed.
bool LoadToolkitTranslations(const QString& folder = QString());

}  // namespace quarvel
