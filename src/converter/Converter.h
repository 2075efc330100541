#pragma once
// One run of the converter: decodes the image named on the command line and
// writes the bitmap and/or the report it asks for. An output appears only
// when it is complete (written beside its target, then renamed into place);
// a failed run leaves no output, and removes a stale file of the same name so
// that a caller never takes an earlier run's output for this one's.

#include "converter/ConverterArguments.h"
#include "converter/ConverterContract.h"

#include <QImage>
#include <QString>
#include <functional>

class QIODevice;

class Converter {
public:
    explicit Converter(ConverterArguments arguments);

    ConverterContract::ExitCode run();
    // Why the run failed, for the message on stderr.
    QString errorText() const { return m_error; }

    // Writes `path` through a temporary file in its folder that is renamed
    // over it only after `write` succeeded. Public for the tests of the
    // failure paths.
    static bool writeAtomically(const QString& path, const std::function<bool(QIODevice*)>& write);

private:
    ConverterContract::ExitCode fail(ConverterContract::ExitCode code, const QString& why);
    void removeStaleOutput(const QString& path) const;

    ConverterArguments m_arguments;
    QString m_error;
};
