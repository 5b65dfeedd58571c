#pragma once

// The program's logging categories. Enable a category's debug lines with
// QT_LOGGING_RULES, for example "quarvel.webpage.debug=true".
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLookup)   // quarvel.lookup: the two lookup paths
Q_DECLARE_LOGGING_CATEGORY(lcWebpage)  // quarvel.webpage: pages in the hidden browsers
Q_DECLARE_LOGGING_CATEGORY(lcFetch)    // quarvel.fetch: HttpGetBytes
Q_DECLARE_LOGGING_CATEGORY(lcFiles)    // quarvel.files: files the program writes
