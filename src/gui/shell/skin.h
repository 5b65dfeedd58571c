#pragma once

#include <QString>

namespace quarvel {

// Applies the skin file (a style sheet) to the whole application. A missing, unreadable or broken
// file is silent and leaves the plain look. Returns true when a skin was applied.
bool AttachSkin(const QString& path);

}  // namespace quarvel
