#pragma once
// The checksum every row of the cache carries, over all of its fields.
// SQLite's own checks look at pages, not at values: a byte flipped in a
// value on disk leaves a well-formed page, and the value would be believed
// for good (a digest hiding a pair, a stored SSIM joining two framings).
// A row whose checksum does not match is ignored and made again.

#include <QByteArray>

#include <cstdint>

namespace finder {

class RowChecksum {
public:
    // Fields are added in a fixed order; each kind is written so that no two
    // rows' fields run together the same way.
    RowChecksum& number(std::int64_t value);
    RowChecksum& real(double value); // its exact bits
    RowChecksum& bytes(const void* data, int length); // data may be null when length is 0
    RowChecksum& bytes(const QByteArray& data) { return bytes(data.constData(), int(data.size())); }

    // The first eight bytes of the SHA-256 of the fields, as SQLite's integer.
    std::int64_t value() const;

private:
    QByteArray m_fields;
};

} // namespace finder
