#pragma once
// The converter's command line, split into what it asks for. The first
// argument is always the image path, never a switch; every later argument is
// one of the switches of ConverterContract (matched without regard to case).

#include <QString>
#include <QStringList>

class ConverterArguments {
public:
    // Returns false for a command line that names no image, no output, an
    // empty output path or an unknown switch.
    bool parse(const QStringList& arguments);

    QString imagePath;
    QString convertPath; // empty when no bitmap is asked for
    QString infoPath; // empty when no report is asked for
    bool silent = false;
    bool fullInfo = false;
    QString error; // what was wrong, for the usage message
};
