#pragma once
// The command-line contract between Corvane and its converter i__view32.exe.
// Both sides include this header, so switches, exit codes and scratch-file
// names are written down once.
//
// Argument order: the image path is always the first argument and is never
// parsed as a switch (Linux paths start with "/", and names may hold blanks,
// dashes or text such as "/convert="). Every later argument is a switch.

#include <QString>
#include <QStringList>

namespace ConverterContract {

inline constexpr char kProgramName[] = "i__view32.exe";
inline constexpr char kTempBitmapName[] = "Temp.bmp";
inline constexpr char kInfoFileName[] = "info.txt";

inline constexpr char kConvertSwitch[] = "/convert=";
inline constexpr char kInfoSwitch[] = "/info=";
inline constexpr char kSilentSwitch[] = "/silent";
inline constexpr char kFullInfoSwitch[] = "/fullinfo";
inline constexpr char kKillMeSoftlySwitch[] = "/killmesoftly";

// Exit codes of i__view32.exe.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2, // missing input or unknown switches
    kExitUnreadable = 3, // missing, truncated, corrupt or unsupported image
    kExitTooLarge = 4, // image over the pixel budget
    kExitWriteFailed = 5, // output could not be written
};

// Longest time Corvane waits for one converter run, in milliseconds.
inline constexpr int kWaitMilliseconds = 5000;

// Images with more pixels than this are refused by the converter and by
// Corvane's own readers instead of being allocated (a 100-megapixel photo
// passes; a 60000 x 60000 header does not).
inline constexpr qint64 kPixelBudget = 150'000'000;

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
