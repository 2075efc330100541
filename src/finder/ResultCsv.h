#pragma once
// A search result as CSV, the form corvane-find --format=csv prints and the
// review window exports: a header line, then one row per file of a group,
//
//   group,path,size,type,width,height,path_base64
//   1,/photos/a.png,1234,PNG,640,480,
//
// groups numbered from 1 in the result's order. Fields are quoted as RFC 4180
// says (a field holding a comma, a quote, a line break or an outer blank is
// put in quotes, its quotes doubled); lines end in CR LF. path_base64 is empty
// unless the path is not valid UTF-8: then "path" holds U+FFFD where the
// bytes were and path_base64 the exact bytes. Unreadable files are not rows.

#include "finder/FinderResult.h"

#include <QByteArray>

QByteArray resultAsCsv(const FinderResult& result);

// One field as it appears in a row.
QByteArray csvField(const QByteArray& utf8);
