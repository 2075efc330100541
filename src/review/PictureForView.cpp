#include "review/PictureForView.h"

#include "search/ImageLoader.h"

#include <QFile>

QImage pictureForView(const QByteArray& path)
{
    return ImageLoader::load(QFile::decodeName(path));
}

QImage fittedPicture(const QImage& picture, QSize box)
{
    if (picture.isNull())
        return QImage();
    if (picture.width() <= box.width() && picture.height() <= box.height())
        return picture;
    return picture.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}
