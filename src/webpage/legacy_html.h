#pragma once

#include <QString>

namespace quarvel {

// Rewrites HTML as a modern engine serialises it (lower-case tag names, every
// attribute value in double quotes) in the style of the old HTML engine:
// upper-case tag names; an attribute value without quotes when it holds only
// letters, digits, "-", "_" and "."; an empty value as the bare name. Text,
// comments and the content of raw-text elements stay as they are; void
// elements already have no end tag.
QString ToLegacyHtml(const QString& modern);

}  // namespace quarvel
