#include "converter/readers/ImageDecoder.h"

#include "converter/ConverterContract.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QIODevice>
#include <QImageIOHandler>
#include <QImageIOPlugin>
#include <QImageReader>
#include <QLibraryInfo>
#include <QPluginLoader>

#include <memory>

namespace {

// Qt's own plugin for a format that QtGui does not decode itself, or nullptr.
QImageIOPlugin* pluginFor(decoding::PictureType type)
{
    const char* name = nullptr;
    switch (type) {
    case decoding::PictureType::Tiff:
        name = "libqtiff.so";
        break;
    case decoding::PictureType::Jpeg:
        name = "libqjpeg.so";
        break;
    case decoding::PictureType::Gif:
        name = "libqgif.so";
        break;
    default:
        return nullptr;
    }
    // Folders named in QT_PLUGIN_PATH first, as Qt itself would search them,
    // then Qt's own plugin folder. The plugin stays loaded until the process
    // ends.
    QStringList folders
        = qEnvironmentVariable("QT_PLUGIN_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    for (const QString& folder : folders) {
        const QString file = folder + QStringLiteral("/imageformats/") + QLatin1String(name);
        if (!QFileInfo::exists(file))
            continue;
        QPluginLoader loader(file);
        if (auto* plugin = qobject_cast<QImageIOPlugin*>(loader.instance()))
            return plugin;
    }
    return nullptr;
}

} // namespace

void ImageDecoder::prepare()
{
    // Sixteen-bit RGBA is the widest format Qt decodes to: 8 bytes a pixel.
    constexpr qint64 widestBytes = ConverterContract::kPixelBudget * 8;
    QImageReader::setAllocationLimit(int(widestBytes / (1024 * 1024)) + 1);
    // With no plugin folders QImageReader uses QtGui's built-in PNG and BMP
    // readers; scanning the folder would load a dozen plugins and their
    // libraries on every start.
    QCoreApplication::setLibraryPaths({});
}

bool ImageDecoder::withinBudget(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= ConverterContract::kPixelBudget
        && height <= ConverterContract::kPixelBudget
        && width * height <= ConverterContract::kPixelBudget;
}

ImageDecoder::Status ImageDecoder::readWithHandler(QImageIOHandler* handler, QImage* image)
{
    // Every reader used here knows the size from the header alone; without it
    // the budget cannot be checked, so such a file is refused.
    if (!handler->canRead() || !handler->supportsOption(QImageIOHandler::Size))
        return Unreadable;
    const QSize size = handler->option(QImageIOHandler::Size).toSize();
    if (!size.isValid() || size.isEmpty())
        return Unreadable;
    if (!withinBudget(size.width(), size.height()))
        return TooLarge;
    QImage decoded;
    if (!handler->read(&decoded) || decoded.isNull())
        return Unreadable;
    if (!withinBudget(decoded.width(), decoded.height()))
        return TooLarge;
    *image = std::move(decoded);
    return Ok;
}

ImageDecoder::Status ImageDecoder::decodeWithQt(
    QIODevice* device, decoding::PictureType type, QImage* image)
{
    const char* format = decoding::qtFormatOf(type);
    if (!format)
        return Unreadable;
    if (QImageIOPlugin* plugin = pluginFor(type)) {
        std::unique_ptr<QImageIOHandler> handler(plugin->create(device, format));
        if (!handler)
            return Unreadable;
        return readWithHandler(handler.get(), image);
    }
    if (type != decoding::PictureType::Png && type != decoding::PictureType::Bmp)
        return Unreadable; // the plugin for this type is not installed

    QImageReader reader(device, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return Unreadable;
    if (!withinBudget(size.width(), size.height()))
        return TooLarge;
    QImage decoded;
    if (!reader.read(&decoded) || decoded.isNull())
        return Unreadable;
    if (!withinBudget(decoded.width(), decoded.height()))
        return TooLarge;
    *image = std::move(decoded);
    return Ok;
}
