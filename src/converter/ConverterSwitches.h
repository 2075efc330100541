#pragma once
// The parts of the converter's command-line contract that the converter
// program itself needs, free of Qt so that the program loads no Qt library.
// ConverterContract.h adds Corvane's side (paths and argument lists as Qt
// strings) on top of these.
//
// Argument order: the image path is always the first argument and is never
// parsed as a switch (Linux paths start with "/", and names may hold blanks,
// dashes or text such as "/convert="). Every later argument is a switch.

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

// Processor time Corvane gives one converter run per decoding thread, in
// milliseconds (on idle cores, the wall-clock time it waits).
inline constexpr int kWaitMilliseconds = 5000;

// The converter's report names the file in these two lines only; the report
// window never picks its keyword lines from them, since a name can hold any
// word.
inline constexpr char kFileNameKey[] = "File name = ";
inline constexpr char kFolderKey[] = "Folder = ";

} // namespace ConverterContract
