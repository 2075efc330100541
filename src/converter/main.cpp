// i__view32.exe: Corvane's image converter. Writes an image as a Windows
// bitmap (/convert=<file>) or a text report on it (/info=<file>); see
// ConverterSwitches.h for the command line and the exit codes.
//
// No Qt library is loaded for PNG, TIFF and JPEG 2000: the converter runs
// once per picture, and loading Qt's libraries would cost more than
// decoding a small picture.

#include "converter/Converter.h"
#include "converter/ConverterArguments.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A damaged file that sends a decoder into an endless loop must not leave a
// converter running for ever once Corvane has given up on it; the default
// action of SIGALRM ends the process, and an unfinished output never carries
// the name of the output.
constexpr unsigned kSelfLimitSeconds = 120;

// Far above what the largest picture within the pixel budget needs (about
// 3.5 GB for a 150-megapixel RGBA JPEG 2000 in tiles), far below what a
// hostile header can make a decoder library ask for: such a request fails
// and the library reports an error instead of the system running short.
constexpr rlim_t kAddressSpaceLimit = rlim_t(5) << 30;

void limitAddressSpace()
{
    // The sanitizers reserve terabytes of shadow memory up front.
#if defined(__SANITIZE_ADDRESS__)
    return;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return;
#endif
#endif
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_max > kAddressSpaceLimit) {
        limit.rlim_cur = kAddressSpaceLimit;
        setrlimit(RLIMIT_AS, &limit);
    }
}

// The input is mapped into memory; should another program cut the file
// short meanwhile, reading the lost pages raises SIGBUS. That is an
// unreadable file, not a crash.
void endOnLostInput(int)
{
    _exit(ConverterContract::kExitUnreadable);
}

} // namespace

int main(int argc, char** argv)
{
    alarm(kSelfLimitSeconds);
    signal(SIGBUS, endOnLostInput);
    limitAddressSpace();
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);

    ConverterArguments parsed;
    if (!parsed.parse(arguments)) {
        std::fprintf(stderr,
            "i__view32.exe: %s\nusage: i__view32.exe <image> [/convert=<bitmap>] "
            "[/info=<report>] [/silent] [/fullinfo] [/killmesoftly]\n",
            parsed.error.c_str());
        return ConverterContract::kExitUsage;
    }

    Converter converter(parsed);
    const int code = converter.run();
    if (code != ConverterContract::kExitOk && !parsed.silent)
        std::fprintf(stderr, "i__view32.exe: %s\n", converter.errorText().c_str());
    return code;
}
