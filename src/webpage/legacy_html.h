#pragma once

#include <QString>
#include <QStringView>

namespace quarvel {

// Rewrites HTML as a modern engine serialises it (lower-case tag names, every
// attribute value in double quotes, whitespace text kept wherever the source
// had it) in the style of the old HTML engine, whose document held only what
// it rendered:
// - tag names in upper case; an attribute value without quotes when it holds
//   only letters, digits, "-", "_" and "."; an empty value as the bare name;
// - no whitespace-only text where it touches the start or end tag of a
//   block-level, table, list, form-option or head element, or a line break
//   (<BR>), and none inside HEAD; such text is kept inside PRE and LISTING and
//   between inline elements;
// - text, comments and the content of raw-text elements (SCRIPT, STYLE,
//   TEXTAREA, TITLE, …) stay exactly as they are.
// Runs in time linear in the input on any input, well-formed or not.
QString ToLegacyHtml(QStringView modern);

}  // namespace quarvel
