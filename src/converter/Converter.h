#pragma once
// One run of the converter: decodes the image named on the command line and
// writes the bitmap and/or the report it asks for. The type is told from the
// file's bytes, whatever its name says. An output appears only when it is
// complete (written beside its target, then renamed into place); a failed run
// leaves no output, and removes a stale file of the same name so that a
// caller never takes an earlier run's output for this one's.

#include "converter/ConverterArguments.h"
#include "converter/ConverterSwitches.h"

#include <cstdint>
#include <functional>
#include <string>

class Converter {
public:
    explicit Converter(ConverterArguments arguments);

    ConverterContract::ExitCode run();
    // Why the run failed, for the message on stderr.
    const std::string& errorText() const { return m_error; }

    // Writes `path` through a temporary file in its folder that is renamed
    // over it only after `write`, given the file's descriptor, succeeded.
    // Public for the tests of the failure paths.
    static bool writeAtomically(const std::string& path, const std::function<bool(int fd)>& write);

private:
    ConverterContract::ExitCode fail(ConverterContract::ExitCode code, const std::string& why);
    void removeStaleOutput(const std::string& path) const;

    ConverterArguments m_arguments;
    std::string m_error;
};
