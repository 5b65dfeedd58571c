#include "app/log.h"

Q_LOGGING_CATEGORY(lcLookup, "quarvel.lookup", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWebpage, "quarvel.webpage", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFetch, "quarvel.fetch", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFiles, "quarvel.files", QtInfoMsg)
