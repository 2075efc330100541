#include "converter/ReaderModule.h"

#include "CorvaneVersion.h"

#include <dlfcn.h>
#include <limits.h>
#include <string>
#include <unistd.h>

namespace {

std::string ownFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string program(path, std::size_t(length));
    return program.substr(0, program.rfind('/'));
}

decoding::DecodeOutcome unreadable(std::string reason)
{
    decoding::DecodeOutcome outcome;
    outcome.status = decoding::DecodeStatus::Unreadable;
    outcome.reason = std::move(reason);
    return outcome;
}

} // namespace

decoding::DecodeOutcome ReaderModule::decode(decoding::Bytes file, decoding::PictureType type)
{
    const std::string path = ownFolder() + "/" + kFileName;
    // Kept loaded until the process ends.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = ::dlerror();
        return unreadable(std::string("cannot load ") + kFileName + ": " + (why ? why : "unknown"));
    }
    auto version = reinterpret_cast<VersionEntry>(::dlsym(module, kVersionName));
    if (!version || std::string(version()) != kCorvaneVersion)
        return unreadable(std::string(kFileName) + " is not of Corvane " + kCorvaneVersion);
    auto entry = reinterpret_cast<Entry>(::dlsym(module, kEntryName));
    if (!entry)
        return unreadable(std::string(kFileName) + " has no reader");
    decoding::DecodeOutcome outcome;
    if (!entry(file.data(), file.size(), int(type), &outcome) && outcome.reason.empty())
        outcome.reason = "damaged picture data";
    return outcome;
}
