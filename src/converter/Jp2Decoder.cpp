#include "converter/Jp2Decoder.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using Source = Jp2Decoder::MemoryStream;

OPJ_SIZE_T readSource(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* source = static_cast<Source*>(user);
    const quint64 left = source->size - source->position;
    if (left == 0)
        return OPJ_SIZE_T(-1);
    const quint64 n = std::min<quint64>(count, left);
    memcpy(buffer, source->data + source->position, size_t(n));
    source->position += n;
    return OPJ_SIZE_T(n);
}

OPJ_OFF_T skipSource(OPJ_OFF_T count, void* user)
{
    auto* source = static_cast<Source*>(user);
    if (count < 0) {
        if (quint64(-count) > source->position)
            return -1;
        source->position -= quint64(-count);
        return count;
    }
    const quint64 left = source->size - source->position;
    if (quint64(count) > left) {
        source->position = source->size;
        return -1;
    }
    source->position += quint64(count);
    return count;
}

OPJ_BOOL seekSource(OPJ_OFF_T position, void* user)
{
    auto* source = static_cast<Source*>(user);
    if (position < 0 || quint64(position) > source->size)
        return OPJ_FALSE;
    source->position = quint64(position);
    return OPJ_TRUE;
}

// OpenJPEG reports through callbacks that would otherwise print to stderr.
void ignoreMessage(const char*, void*) { }

// Scales one decoded sample to 0..255; out-of-range values from a damaged
// stream are clamped rather than wrapped.
struct SampleScaler {
    qint64 offset = 0;
    qint64 maximum = 255;

    explicit SampleScaler(const opj_image_comp_t& comp)
    {
        const int precision = int(std::clamp<OPJ_UINT32>(comp.prec, 1, 31));
        maximum = (qint64(1) << precision) - 1;
        offset = comp.sgnd ? (qint64(1) << (precision - 1)) : 0;
    }

    uchar operator()(OPJ_INT32 raw) const
    {
        const qint64 value = std::clamp<qint64>(qint64(raw) + offset, 0, maximum);
        if (maximum == 255)
            return uchar(value);
        return uchar((value * 255 + maximum / 2) / maximum);
    }
};

// Index of the component sample that covers each output column (or row):
// sub-sampled components are upsampled by repeating their samples.
std::vector<quint32> sampleIndex(quint32 imageOrigin, quint32 count, quint32 separation,
    quint32 componentOrigin, quint32 componentExtent)
{
    std::vector<quint32> index(count);
    const quint32 step = std::max<quint32>(separation, 1);
    for (quint32 i = 0; i < count; ++i) {
        const quint64 sample = (quint64(imageOrigin) + i) / step;
        const quint64 local = sample > componentOrigin ? sample - componentOrigin : 0;
        index[i] = quint32(std::min<quint64>(local, componentExtent - 1));
    }
    return index;
}

uchar clampToByte(int value)
{
    return uchar(std::clamp(value, 0, 255));
}

} // namespace

Jp2Decoder::Jp2Decoder(const QByteArray& data, bool codestream)
    : m_data(data)
    , m_codestream(codestream)
{
}

Jp2Decoder::~Jp2Decoder()
{
    release();
}

Jp2Decoder::Status Jp2Decoder::readHeader()
{
    m_source.data = reinterpret_cast<const uchar*>(m_data.constData());
    m_source.size = quint64(m_data.size());
    m_source.position = 0;

    m_codec = opj_create_decompress(m_codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
    if (!m_codec)
        return Unreadable;
    opj_set_info_handler(m_codec, ignoreMessage, nullptr);
    opj_set_warning_handler(m_codec, ignoreMessage, nullptr);
    opj_set_error_handler(m_codec, ignoreMessage, nullptr);

    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(m_codec, &parameters))
        return Unreadable;
    // A truncated codestream is an error, not a picture with grey blocks.
    opj_decoder_set_strict_mode(m_codec, OPJ_TRUE);
    opj_codec_set_threads(m_codec, std::max(1, opj_get_num_cpus()));

    m_stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
    if (!m_stream)
        return Unreadable;
    opj_stream_set_user_data(m_stream, &m_source, nullptr);
    opj_stream_set_user_data_length(m_stream, m_source.size);
    opj_stream_set_read_function(m_stream, readSource);
    opj_stream_set_skip_function(m_stream, skipSource);
    opj_stream_set_seek_function(m_stream, seekSource);

    if (!opj_read_header(m_stream, m_codec, &m_image) || !m_image)
        return Unreadable;
    if (m_image->numcomps == 0 || !m_image->comps || m_image->x1 <= m_image->x0
        || m_image->y1 <= m_image->y0)
        return Unreadable;
    const quint64 width = m_image->x1 - m_image->x0;
    const quint64 height = m_image->y1 - m_image->y0;
    if (width > quint64(INT_MAX) || height > quint64(INT_MAX))
        return Unsupported;
    for (OPJ_UINT32 c = 0; c < m_image->numcomps; ++c) {
        const opj_image_comp_t& comp = m_image->comps[c];
        if (comp.prec == 0 || comp.prec > 31 || comp.dx == 0 || comp.dy == 0)
            return Unreadable;
    }
    m_size = QSize(int(width), int(height));

    if (opj_codestream_info_v2_t* info = opj_get_cstr_info(m_codec)) {
        m_layers = int(info->m_default_tile_info.numlayers);
        m_tiles = qint64(info->tw) * qint64(info->th);
        if (info->m_default_tile_info.tccp_info)
            m_qmfbid = int(info->m_default_tile_info.tccp_info[0].qmfbid);
        opj_destroy_cstr_info(&info);
    }
    return Ok;
}

int Jp2Decoder::componentCount() const
{
    return m_image ? int(m_image->numcomps) : 0;
}

int Jp2Decoder::bitsPerPixel() const
{
    if (!m_image)
        return 0;
    int bits = 0;
    for (OPJ_UINT32 c = 0; c < std::min<OPJ_UINT32>(m_image->numcomps, 4); ++c)
        bits += int(m_image->comps[c].prec);
    return bits;
}

QString Jp2Decoder::waveletName() const
{
    if (m_qmfbid == 1)
        return QStringLiteral("reversible 5/3 wavelet");
    if (m_qmfbid == 0)
        return QStringLiteral("irreversible 9/7 wavelet");
    return {};
}

int Jp2Decoder::qualityLayers() const
{
    return m_layers;
}

void Jp2Decoder::release()
{
    if (m_image)
        opj_image_destroy(m_image);
    if (m_stream)
        opj_stream_destroy(m_stream);
    if (m_codec)
        opj_destroy_codec(m_codec);
    m_image = nullptr;
    m_stream = nullptr;
    m_codec = nullptr;
}

bool Jp2Decoder::uniformComponents() const
{
    for (OPJ_UINT32 c = 1; c < m_image->numcomps; ++c) {
        const opj_image_comp_t& a = m_image->comps[0];
        const opj_image_comp_t& b = m_image->comps[c];
        if (a.prec != b.prec || a.sgnd != b.sgnd || a.dx != b.dx || a.dy != b.dy)
            return false;
    }
    return true;
}

Jp2Decoder::Status Jp2Decoder::decode(QImage* image)
{
    if (!m_image || !m_codec || !m_stream)
        return Unreadable;
    // A single-tile image decoded whole holds every sample as a 32-bit
    // integer: three times the finished picture for RGB. Decoding it in bands
    // of rows keeps the peak near the picture itself. Components that differ
    // in precision or sub-sampling are decoded whole, since OpenJPEG's channel
    // definitions may reorder components between the bands.
    // The area to decode is given in signed 32-bit grid coordinates.
    const bool addressable
        = m_image->x1 <= OPJ_UINT32(INT_MAX) && m_image->y1 <= OPJ_UINT32(INT_MAX - kBandRows);
    if (m_tiles == 1 && addressable && m_size.height() > 2 * kBandRows && uniformComponents()) {
        Status banded = Unreadable;
        if (decodeInBands(image, &banded))
            return banded;
        release();
        if (readHeader() != Ok)
            return Unreadable;
    }
    if (!opj_decode(m_codec, m_stream, m_image) || !opj_end_decompress(m_codec, m_stream))
        return Unreadable;
    // The codec keeps the compressed data until it is destroyed; free it
    // before the picture is built to keep the peak down.
    opj_stream_destroy(m_stream);
    m_stream = nullptr;
    opj_destroy_codec(m_codec);
    m_codec = nullptr;
    Layout layout;
    const Status status = chooseLayout(&layout);
    if (status != Ok)
        return status;
    QImage out(m_size, layout.format);
    if (out.isNull())
        return Unsupported;
    if (!convertRows(layout, &out, 0))
        return Unreadable;
    *image = std::move(out);
    return Ok;
}

bool Jp2Decoder::decodeInBands(QImage* image, Status* status)
{
    const OPJ_INT32 left = OPJ_INT32(m_image->x0);
    const OPJ_INT32 right = OPJ_INT32(m_image->x1);
    const OPJ_INT32 top = OPJ_INT32(m_image->y0);
    const OPJ_INT32 bottom = OPJ_INT32(m_image->y1);
    const OPJ_UINT32 components = m_image->numcomps;
    QImage out;
    Layout layout;
    for (OPJ_INT32 bandTop = top; bandTop < bottom; bandTop += kBandRows) {
        const OPJ_INT32 bandBottom = std::min(bandTop + kBandRows, bottom);
        if (!opj_set_decode_area(m_codec, m_image, left, bandTop, right, bandBottom)
            || !opj_decode(m_codec, m_stream, m_image)) {
            *status = Unreadable;
            return bandTop != top;
        }
        // A palette turns one component into three after decoding; such a
        // file is decoded whole.
        if (m_image->numcomps != components)
            return false;
        if (out.isNull()) {
            *status = chooseLayout(&layout);
            if (*status != Ok)
                return true;
            out = QImage(m_size, layout.format);
            if (out.isNull()) {
                *status = Unsupported;
                return true;
            }
        }
        if (!convertRows(layout, &out, bandTop - top)) {
            *status = Unreadable;
            return true;
        }
    }
    *status = opj_end_decompress(m_codec, m_stream) ? Ok : Unreadable;
    if (*status == Ok)
        *image = std::move(out);
    return true;
}

Jp2Decoder::Status Jp2Decoder::chooseLayout(Layout* layout) const
{
    const opj_image_t& img = *m_image;
    // Which components carry colour and which one carries alpha: a component
    // flagged as opacity wins; otherwise the second of two or the fourth of
    // four is taken as alpha, as JP2 writers without a channel box do.
    int alpha = -1;
    std::vector<int> colour;
    for (OPJ_UINT32 c = 0; c < img.numcomps; ++c) {
        if (img.comps[c].alpha && alpha < 0)
            alpha = int(c);
        else
            colour.push_back(int(c));
    }
    if (alpha < 0 && (img.numcomps == 2 || img.numcomps == 4)
        && img.color_space != OPJ_CLRSPC_CMYK) {
        alpha = int(img.numcomps) - 1;
        colour.pop_back();
    }
    if (colour.empty())
        return Unsupported;
    if (img.color_space == OPJ_CLRSPC_CMYK || img.color_space == OPJ_CLRSPC_EYCC)
        return Unsupported;
    layout->grey = colour.size() < 3;
    layout->ycc = !layout->grey && img.color_space == OPJ_CLRSPC_SYCC;
    colour.resize(layout->grey ? 1 : 3);
    layout->alpha = alpha >= 0;
    layout->channels = colour;
    if (layout->alpha)
        layout->channels.push_back(alpha);
    layout->format = layout->alpha ? QImage::Format_ARGB32
        : layout->grey             ? QImage::Format_Grayscale8
                                   : QImage::Format_RGB32;
    return Ok;
}

bool Jp2Decoder::convertRows(const Layout& layout, QImage* out, int firstRow) const
{
    // The decoded area: the whole image, or one band of rows of it.
    const opj_image_t& img = *m_image;
    const int width = out->width();
    const qint64 rows = qint64(img.y1) - qint64(img.y0);
    if (qint64(img.x1) - qint64(img.x0) != width || rows <= 0 || firstRow + rows > out->height())
        return false;
    struct Plane {
        const opj_image_comp_t* comp;
        SampleScaler scale;
        std::vector<quint32> columns;
        std::vector<quint32> rows;
    };
    std::vector<Plane> planes;
    for (int c : layout.channels) {
        const opj_image_comp_t& comp = img.comps[c];
        if (!comp.data || comp.w == 0 || comp.h == 0)
            return false;
        planes.push_back({&comp, SampleScaler(comp),
            sampleIndex(img.x0, quint32(width), comp.dx, comp.x0, comp.w),
            sampleIndex(img.y0, quint32(rows), comp.dy, comp.y0, comp.h)});
    }

    std::vector<uchar> row[4];
    for (size_t p = 0; p < planes.size(); ++p)
        row[p].resize(size_t(width));
    for (int y = 0; y < int(rows); ++y) {
        for (size_t p = 0; p < planes.size(); ++p) {
            const Plane& plane = planes[p];
            const OPJ_INT32* source
                = plane.comp->data + size_t(plane.rows[size_t(y)]) * plane.comp->w;
            uchar* target = row[p].data();
            for (int x = 0; x < width; ++x)
                target[x] = plane.scale(source[plane.columns[size_t(x)]]);
        }
        uchar* line = out->scanLine(firstRow + y);
        if (layout.grey && !layout.alpha) {
            memcpy(line, row[0].data(), size_t(width));
            continue;
        }
        auto* pixels = reinterpret_cast<QRgb*>(line);
        const uchar* a = layout.alpha ? row[planes.size() - 1].data() : nullptr;
        for (int x = 0; x < width; ++x) {
            int r, g, b;
            if (layout.grey) {
                r = g = b = row[0][size_t(x)];
            } else if (layout.ycc) {
                const int yy = row[0][size_t(x)];
                const int cb = row[1][size_t(x)] - 128;
                const int cr = row[2][size_t(x)] - 128;
                r = clampToByte(yy + ((91881 * cr + 32768) >> 16));
                g = clampToByte(yy - ((22554 * cb + 46802 * cr - 32768) >> 16));
                b = clampToByte(yy + ((116130 * cb + 32768) >> 16));
            } else {
                r = row[0][size_t(x)];
                g = row[1][size_t(x)];
                b = row[2][size_t(x)];
            }
            pixels[x] = qRgba(r, g, b, a ? a[x] : 255);
        }
    }
    return true;
}
