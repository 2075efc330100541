#pragma once
// A picture file's bytes as the decoders take them: the tests' one way from
// a file on disk or a QByteArray to decoding::Bytes.

#include "decoding/DecodedPicture.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace picturebytes {

// A view of data, valid while data lives unchanged.
inline decoding::Bytes bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

// The whole file, or nothing when it cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace picturebytes
