#include "converter/ConverterContract.h"

namespace ConverterContract {
namespace {

QString quotedIfBlank(const QString& path)
{
    return path.contains(QLatin1Char(' ')) ? QLatin1Char('"') + path + QLatin1Char('"') : path;
}

QString tempBitmapPath(const QString& scratchFolder)
{
    return scratchFolder + QLatin1Char('/') + QLatin1String(kTempBitmapName);
}

QString infoFilePath(const QString& scratchFolder)
{
    return scratchFolder + QLatin1Char('/') + QLatin1String(kInfoFileName);
}

} // namespace

QString programPath(const QString& programFolder)
{
    return programFolder + QLatin1Char('/') + QLatin1String(kProgramName);
}

QStringList conversionArguments(const QString& scratchFolder, const QString& imagePath)
{
    // The output path is followed directly by "/silent", as in the textual form.
    return {imagePath,
        QLatin1String(kConvertSwitch) + tempBitmapPath(scratchFolder)
            + QLatin1String(kSilentSwitch)};
}

QStringList informationArguments(const QString& scratchFolder, const QString& imagePath)
{
    return {imagePath, QLatin1String(kSilentSwitch),
        QLatin1String(kInfoSwitch) + infoFilePath(scratchFolder), QLatin1String(kFullInfoSwitch),
        QLatin1String(kKillMeSoftlySwitch)};
}

QString conversionCommandLine(
    const QString& programFolder, const QString& scratchFolder, const QString& imagePath)
{
    const QStringList args = conversionArguments(scratchFolder, imagePath);
    return programPath(programFolder) + QLatin1Char(' ') + quotedIfBlank(imagePath)
        + QLatin1Char(' ') + args.at(1);
}

QString informationCommandLine(
    const QString& programFolder, const QString& scratchFolder, const QString& imagePath)
{
    QStringList args = informationArguments(scratchFolder, imagePath);
    args[0] = quotedIfBlank(imagePath);
    return programPath(programFolder) + QLatin1Char(' ') + args.join(QLatin1Char(' '));
}

} // namespace ConverterContract
