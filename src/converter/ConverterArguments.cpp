#include "converter/ConverterArguments.h"

#include "converter/ConverterSwitches.h"

#include <cstring>
#include <strings.h>

namespace {

bool startsWithNoCase(const std::string& text, const char* prefix)
{
    const std::size_t length = std::strlen(prefix);
    return text.size() >= length && ::strncasecmp(text.c_str(), prefix, length) == 0;
}

bool equalsNoCase(const std::string& text, const char* word)
{
    return text.size() == std::strlen(word) && startsWithNoCase(text, word);
}

bool takeValue(const std::string& argument, const char* prefix, std::string* value, bool* silent)
{
    if (!startsWithNoCase(argument, prefix))
        return false;
    *value = argument.substr(std::strlen(prefix));
    // Corvane glues "/silent" straight onto the output path.
    const std::size_t suffix = std::strlen(ConverterContract::kSilentSwitch);
    if (value->size() > suffix
        && ::strcasecmp(value->c_str() + value->size() - suffix, ConverterContract::kSilentSwitch)
            == 0) {
        value->resize(value->size() - suffix);
        *silent = true;
    }
    return true;
}

} // namespace

bool ConverterArguments::parse(const std::vector<std::string>& arguments)
{
    if (arguments.empty() || arguments.front().empty()) {
        error = "no image path given";
        return false;
    }
    imagePath = arguments.front();
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (takeValue(argument, ConverterContract::kConvertSwitch, &convertPath, &silent)) {
            if (convertPath.empty()) {
                error = "empty output path after " + argument;
                return false;
            }
        } else if (takeValue(argument, ConverterContract::kInfoSwitch, &infoPath, &silent)) {
            if (infoPath.empty()) {
                error = "empty output path after " + argument;
                return false;
            }
        } else if (equalsNoCase(argument, ConverterContract::kSilentSwitch)) {
            silent = true;
        } else if (equalsNoCase(argument, ConverterContract::kFullInfoSwitch)) {
            fullInfo = true;
        } else if (equalsNoCase(argument, ConverterContract::kKillMeSoftlySwitch)) {
            // Asks for no window and a quiet end: the converter never shows one.
        } else {
            error = "unknown switch " + argument;
            return false;
        }
    }
    if (convertPath.empty() && infoPath.empty()) {
        error = "nothing to do: give /convert=<file> or /info=<file>";
        return false;
    }
    return true;
}
