#include "finder/RowChecksum.h"

#include "finder/PixelFingerprint.h"

#include <bit>

namespace finder {

RowChecksum& RowChecksum::number(std::int64_t value)
{
    for (int shift = 0; shift < 64; shift += 8)
        m_fields.append(char(std::uint64_t(value) >> shift));
    return *this;
}

RowChecksum& RowChecksum::real(double value)
{
    return number(std::bit_cast<std::int64_t>(value));
}

RowChecksum& RowChecksum::bytes(const void* data, int length)
{
    // The length first.
    m_fields.append(QByteArray::number(length) + ':');
    if (data && length > 0)
        m_fields.append(static_cast<const char*>(data), length);
    return *this;
}

std::int64_t RowChecksum::value() const
{
    const auto sum = sha256({reinterpret_cast<const std::uint8_t*>(m_fields.constData()),
        std::size_t(m_fields.size())});
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | sum[std::size_t(i)];
    return std::int64_t(value);
}

} // namespace finder
