#pragma once
// One line of the candidate list: an eight-digit size key, "*", the full path.
// The fixed-width key makes text order equal size order, which is all the
// comparison run relies on.

#include <QString>

struct CandidateEntry {
    QString sizeKey; // eight decimal digits
    QString path; // SearchFolder + file name

    // Last eight digits of (length + 100000000). 64-bit, so a file over 2 GB
    // gets a key (its length modulo 100000000) instead of an overflow.
    static QString makeSizeKey(qint64 length);
    static QString makeEntry(const QString& sizeKey, const QString& path);

    // Splits at the first "*" only: Linux names may hold "*" themselves. An
    // entry without "*" gives an empty key and the whole text as path.
    static CandidateEntry splitEntry(const QString& entry);

    // The size key as a number, or -1 when it is not eight digits.
    static int keyValue(const QString& sizeKey);

    // Last three characters of the name, ASCII letters lowered ("" when shorter).
    static QString imageType(const QString& name);
    // True for the first design's six candidate types jpg bmp gif png jp2 tif
    // (decoding::typeOfFirstDesignSuffix).
    static bool isCandidateType(const QString& type);
    // The text after the last "/" of a path.
    static QString fileName(const QString& path);
};
