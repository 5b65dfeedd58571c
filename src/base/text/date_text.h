#pragma once

#include <QString>

namespace quarvel {

// The calendar date that `text` names, as ISO 8601 ("2027-03-18"), for a
// spreadsheet or a script to sort and compare; empty when it names none (no
// date, a day the calendar lacks, more than a date). The warranty page writes
// "2027年3月18日"; taken as well: spaces between the parts, leading zeros,
// full-width digits, no closing 日, and 2027-03-18, 2027/3/18, 2027.3.18.
QString IsoDate(const QString& text);

}  // namespace quarvel
