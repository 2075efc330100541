#pragma once
// The command line of corvane-find:
//   corvane-find [--recursive] [--any-name] [--similar] [--format=text|json|csv]
//                [--no-cache] [--exclude=PATTERN]... [--min-size=SIZE]
//                [--protect=FOLDER]... [--show-ignored] [--forget-ignored] FOLDER...
// Arguments are taken as raw bytes, so that any folder name can be given.

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

struct FindArguments {
    enum class Format { Text, Json, Csv };

    bool recursive = false;
    bool anyName = false; // examine every regular file, not only picture names
    bool noCache = false;
    bool similar = false; // also the same photo saved differently
    bool help = false;
    bool version = false;
    Format format = Format::Text;
    QList<QByteArray> excludes; // patterns, as bytes
    std::int64_t minimumSize = 0;
    QList<QByteArray> protectedFolders;
    bool showIgnored = false; // bring back the groups judged not duplicates
    bool forgetIgnored = false; // clear the list of them (no folder needed)
    QList<QByteArray> folders;
    QString error; // one line when the command line is wrong; "" otherwise

    // argv[0] is the program and is skipped. "--" ends the options, so that a
    // folder whose name begins with "-" can follow.
    static FindArguments parse(int argc, const char* const* argv);
};

// What --help prints.
QString findUsage();
