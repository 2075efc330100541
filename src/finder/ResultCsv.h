#pragma once
// A search result as CSV, the form corvane-find --format=csv prints and the
// review window exports: a header line, then one row per file of a group and
// one per unreadable file (empty group, with its reason),
//
//   group,path,path_bytes,size,type,width,height,frames,reason
//   1,/photos/a.png,,1234,PNG,640,480,1,
//   ,/photos/b.jpg,,,,,,,truncated JPEG data
//
// groups numbered from 1 in the result's order. Fields are quoted as RFC 4180
// says (a field holding a comma, a quote or a line break is put in quotes,
// its quotes doubled); lines end in CR LF. path_bytes is empty unless the
// path is not valid UTF-8: then "path" holds U+FFFD where the bytes were and
// path_bytes the exact bytes in base64.

#include "finder/FinderResult.h"

#include <QByteArray>

QByteArray resultAsCsv(const FinderResult& result);

// One field as it appears in a row.
QByteArray csvField(const QString& value);
