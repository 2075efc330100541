#include "converter/ConverterArguments.h"

#include "converter/ConverterContract.h"

namespace {

bool takeValue(const QString& argument, const char* prefix, QString* value, bool* silent)
{
    const QLatin1String key(prefix);
    if (!argument.startsWith(key, Qt::CaseInsensitive))
        return false;
    *value = argument.mid(key.size());
    // Corvane glues "/silent" straight onto the output path.
    const QLatin1String silentSuffix(ConverterContract::kSilentSwitch);
    if (value->endsWith(silentSuffix, Qt::CaseInsensitive) && value->size() > silentSuffix.size()) {
        value->chop(silentSuffix.size());
        *silent = true;
    }
    return true;
}

} // namespace

bool ConverterArguments::parse(const QStringList& arguments)
{
    if (arguments.isEmpty() || arguments.first().isEmpty()) {
        error = QStringLiteral("no image path given");
        return false;
    }
    imagePath = arguments.first();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (takeValue(argument, ConverterContract::kConvertSwitch, &convertPath, &silent)) {
            if (convertPath.isEmpty()) {
                error = QStringLiteral("empty output path after %1").arg(argument);
                return false;
            }
        } else if (takeValue(argument, ConverterContract::kInfoSwitch, &infoPath, &silent)) {
            if (infoPath.isEmpty()) {
                error = QStringLiteral("empty output path after %1").arg(argument);
                return false;
            }
        } else if (argument.compare(
                       QLatin1String(ConverterContract::kSilentSwitch), Qt::CaseInsensitive)
            == 0) {
            silent = true;
        } else if (argument.compare(
                       QLatin1String(ConverterContract::kFullInfoSwitch), Qt::CaseInsensitive)
            == 0) {
            fullInfo = true;
        } else if (argument.compare(
                       QLatin1String(ConverterContract::kKillMeSoftlySwitch), Qt::CaseInsensitive)
            == 0) {
            // Asks for no window and a quiet end: the converter never shows one.
        } else {
            error = QStringLiteral("unknown switch %1").arg(argument);
            return false;
        }
    }
    if (convertPath.isEmpty() && infoPath.isEmpty()) {
        error = QStringLiteral("nothing to do: give /convert=<file> or /info=<file>");
        return false;
    }
    return true;
}
