#pragma once
// A search result as one JSON document, the form corvane-find --format=json
// prints and the review window exports:
//
//   {"folders": [{"path": "/photos"}], "files_examined": 1200,
//    "groups": [{"width": 640, "height": 480, "frames": 1,
//                "files": [{"path": "/photos/a.png", "size": 1234, "type": "PNG"}, ...]}],
//    "unreadable": [{"path": "/photos/b.jpg", "reason": "truncated JPEG data"}]}
//
// Paths are UTF-8 text. A path whose bytes are not valid UTF-8 is written
// with U+FFFD in "path" for people and exactly, base64-encoded, in
// "path_bytes" beside it; a reader that takes path_bytes when present gets
// every name back byte for byte.

#include "finder/FinderResult.h"

#include <QByteArray>

QByteArray resultAsJson(const FinderResult& result);

// True when bytes are valid UTF-8 (so the text form is exact).
bool isValidUtf8(const QByteArray& bytes);
