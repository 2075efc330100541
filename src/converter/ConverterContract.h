#pragma once
// Corvane's side of the command-line contract with its converter
// i__view32.exe: the switches, exit codes and scratch-file names come from
// ConverterSwitches.h, which the converter shares.

#include "converter/ConverterSwitches.h"
#include "decoding/DecodedPicture.h"

#include <QString>
#include <QStringList>

namespace ConverterContract {

// Images with more pixels than this are refused by the converter and by
// Corvane's own readers instead of being allocated (a 100-megapixel photo
// passes; a 60000 x 60000 header does not).
inline constexpr qint64 kPixelBudget = qint64(decoding::kPixelBudget);

// Full path of the converter in the program folder (no trailing "/").
QString programPath(const QString& programFolder);

// The textual command lines, in the form Corvane has always written them; a
// path that holds a blank is quoted. For display and logs: the process is
// started with the argument lists below, never through a shell.
QString conversionCommandLine(
    const QString& programFolder, const QString& scratchFolder, const QString& imagePath);
QString informationCommandLine(
    const QString& programFolder, const QString& scratchFolder, const QString& imagePath);

// Argument lists (argv[1..]) for QProcess.
QStringList conversionArguments(const QString& scratchFolder, const QString& imagePath);
QStringList informationArguments(const QString& scratchFolder, const QString& imagePath);

} // namespace ConverterContract
