#pragma once
// Runs the real converter program built into the program folder.

#include <QString>
#include <QStringList>

struct ConverterResult {
    int exitCode = -1;
    bool crashed = false;
    bool timedOut = false;
    QString standardError;
};

class ConverterProcess {
public:
    static QString programPath();
    static ConverterResult run(const QStringList& arguments, const QString& workingFolder = {});
    // Entries of `folder` other than those named in `keep`: outputs and
    // leftovers of a run.
    static QStringList entriesExcept(const QString& folder, const QStringList& keep);
};
