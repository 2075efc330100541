#include "decoding/Jpeg2000Decoder.h"

#include "decoding/DecoderSupport.h"

#include <openjpeg.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace decoding::jpeg2000 {
namespace {

struct MemoryStream {
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
};

OPJ_SIZE_T readSource(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* source = static_cast<MemoryStream*>(user);
    const std::uint64_t left = source->size - source->position;
    if (left == 0)
        return OPJ_SIZE_T(-1);
    const std::uint64_t n = std::min<std::uint64_t>(count, left);
    std::memcpy(buffer, source->data + source->position, std::size_t(n));
    source->position += n;
    return OPJ_SIZE_T(n);
}

OPJ_OFF_T skipSource(OPJ_OFF_T count, void* user)
{
    auto* source = static_cast<MemoryStream*>(user);
    if (count < 0) {
        if (std::uint64_t(-count) > source->position)
            return -1;
        source->position -= std::uint64_t(-count);
        return count;
    }
    const std::uint64_t left = source->size - source->position;
    if (std::uint64_t(count) > left) {
        source->position = source->size;
        return -1;
    }
    source->position += std::uint64_t(count);
    return count;
}

OPJ_BOOL seekSource(OPJ_OFF_T position, void* user)
{
    auto* source = static_cast<MemoryStream*>(user);
    if (position < 0 || std::uint64_t(position) > source->size)
        return OPJ_FALSE;
    source->position = std::uint64_t(position);
    return OPJ_TRUE;
}

// OpenJPEG reports through callbacks that would otherwise print to stderr.
void ignoreMessage(const char*, void*) { }

bool isCodestream(Bytes file)
{
    return file.size() >= 4 && std::memcmp(file.data(), "\xff\x4f\xff\x51", 4) == 0;
}

std::uint64_t bigEndian(Bytes file, std::uint64_t at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | file[at + std::uint64_t(i)];
    return value;
}

// Whether the JP2 header box holds a channel definition ("cdef") or a
// palette ("pclr"). OpenJPEG applies both only when it decodes, so the
// components its header shows may not be the channels of the picture: a
// third component may be alpha, one component may index 16-bit colours.
bool jp2HeaderRemapsChannels(Bytes file)
{
    constexpr int kMostBoxes = 64;
    // Boxes: length (1: a 64-bit length follows; 0: to the end), type, content.
    auto box = [&file](std::uint64_t at, std::uint64_t end, std::uint64_t* header,
                   std::uint64_t* length, std::uint32_t* type) {
        if (end - at < 8)
            return false;
        *length = bigEndian(file, at, 4);
        *type = std::uint32_t(bigEndian(file, at + 4, 4));
        *header = 8;
        if (*length == 1) {
            if (end - at < 16)
                return false;
            *length = bigEndian(file, at + 8, 8);
            *header = 16;
        } else if (*length == 0) {
            *length = end - at;
        }
        return *length >= *header && *length <= end - at;
    };
    std::uint64_t at = 0;
    for (int boxes = 0; boxes < kMostBoxes; ++boxes) {
        std::uint64_t header = 0;
        std::uint64_t length = 0;
        std::uint32_t type = 0;
        if (!box(at, file.size(), &header, &length, &type) || type == 0x6a703263) // "jp2c"
            return false;
        if (type == 0x6a703268) { // "jp2h"
            const std::uint64_t end = at + length;
            std::uint64_t inner = at + header;
            for (int count = 0; count < kMostBoxes; ++count) {
                if (!box(inner, end, &header, &length, &type))
                    return false;
                if (type == 0x63646566 || type == 0x70636c72) // "cdef", "pclr"
                    return true;
                inner += length;
            }
            return false;
        }
        at += length;
    }
    return false;
}

// Scales one decoded sample to the picture's sample size; out-of-range
// values from a damaged stream are clamped rather than wrapped.
struct SampleScaler {
    std::int64_t offset = 0;
    std::int64_t maximum = 255;
    std::int64_t target = 255;

    SampleScaler(const opj_image_comp_t& comp, std::int64_t targetMaximum)
        : target(targetMaximum)
    {
        const int precision = int(std::clamp<OPJ_UINT32>(comp.prec, 1, 31));
        maximum = (std::int64_t(1) << precision) - 1;
        offset = comp.sgnd ? (std::int64_t(1) << (precision - 1)) : 0;
    }

    std::uint32_t operator()(OPJ_INT32 raw) const
    {
        const std::int64_t value = std::clamp<std::int64_t>(std::int64_t(raw) + offset, 0, maximum);
        if (maximum == target)
            return std::uint32_t(value);
        return std::uint32_t((value * target + maximum / 2) / maximum);
    }
};

// Index of the component sample that covers each output column (or row):
// sub-sampled components are upsampled by repeating their samples.
std::vector<std::uint32_t> sampleIndex(std::uint32_t imageOrigin, std::uint32_t count,
    std::uint32_t separation, std::uint32_t componentOrigin, std::uint32_t componentExtent)
{
    std::vector<std::uint32_t> index(count);
    const std::uint32_t step = std::max<std::uint32_t>(separation, 1);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t sample = (std::uint64_t(imageOrigin) + i) / step;
        const std::uint64_t local = sample > componentOrigin ? sample - componentOrigin : 0;
        index[i] = std::uint32_t(std::min<std::uint64_t>(local, componentExtent - 1));
    }
    return index;
}

// Rows decoded per band when a large single-tile image is decoded band by band.
constexpr std::uint32_t kBandRows = 256;

class Decoder {
public:
    // `threads`: decode with a pool of one thread per core (not worth
    // starting for a header).
    Decoder(Bytes file, const DecodeOptions& options, bool threads)
        : m_file(file)
        , m_options(options)
        , m_threads(threads)
    {
    }
    ~Decoder() { release(); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    bool readHeader(std::string& why);
    std::uint32_t width() const { return m_width; }
    std::uint32_t height() const { return m_height; }
    void fillFacts(Facts& facts) const;
    bool beyondEightBitRgba() const;
    DecodeOutcome decode();

private:
    struct Layout {
        std::vector<int> channels; // colour components, then alpha
        bool grey = false;
        bool ycc = false;
        bool alpha = false;
        int bytesPerSample = 1;
        // Signed components, kept as their values offset to unsigned but
        // marked so that they never equal unsigned samples (search form).
        bool signedSamples = false;
    };

    void release();
    bool uniformComponents() const;
    // Returns false when the image must be decoded whole instead; else the
    // outcome is in `outcome`.
    bool decodeInBands(DecodeOutcome& outcome);
    bool chooseLayout(Layout& layout, std::string& why) const;
    // Writes the rows of the decoded area into the picture from `firstRow`.
    bool convertRows(const Layout& layout, DecodedPicture& picture, std::uint32_t firstRow) const;
    bool allocate(const Layout& layout, DecodedPicture& picture, DecodeOutcome& outcome) const;

    Bytes m_file;
    DecodeOptions m_options;
    bool m_threads = false;
    MemoryStream m_source;
    opj_codec_t* m_codec = nullptr;
    opj_stream_t* m_stream = nullptr;
    opj_image_t* m_image = nullptr;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    int m_qmfbid = -1;
    int m_layers = 0;
    std::uint64_t m_tiles = 0;
};

void Decoder::release()
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

bool Decoder::readHeader(std::string& why)
{
    why = "damaged JPEG 2000 header";
    m_source.data = m_file.data();
    m_source.size = m_file.size();
    m_source.position = 0;

    m_codec = opj_create_decompress(isCodestream(m_file) ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
    if (!m_codec)
        return false;
    opj_set_info_handler(m_codec, ignoreMessage, nullptr);
    opj_set_warning_handler(m_codec, ignoreMessage, nullptr);
    opj_set_error_handler(m_codec, ignoreMessage, nullptr);

    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(m_codec, &parameters))
        return false;
    // A truncated codestream is an error, not a picture with grey blocks.
    opj_decoder_set_strict_mode(m_codec, OPJ_TRUE);
    // Code-blocks decode in parallel: one thread per core.
    if (m_threads)
        opj_codec_set_threads(m_codec, std::max(1, opj_get_num_cpus()));

    m_stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
    if (!m_stream)
        return false;
    opj_stream_set_user_data(m_stream, &m_source, nullptr);
    opj_stream_set_user_data_length(m_stream, m_source.size);
    opj_stream_set_read_function(m_stream, readSource);
    opj_stream_set_skip_function(m_stream, skipSource);
    opj_stream_set_seek_function(m_stream, seekSource);

    if (!opj_read_header(m_stream, m_codec, &m_image) || !m_image)
        return false;
    if (m_image->numcomps == 0 || !m_image->comps || m_image->x1 <= m_image->x0
        || m_image->y1 <= m_image->y0)
        return false;
    for (OPJ_UINT32 c = 0; c < m_image->numcomps; ++c) {
        const opj_image_comp_t& comp = m_image->comps[c];
        if (comp.prec == 0 || comp.prec > 31 || comp.dx == 0 || comp.dy == 0)
            return false;
    }
    m_width = m_image->x1 - m_image->x0;
    m_height = m_image->y1 - m_image->y0;

    if (opj_codestream_info_v2_t* info = opj_get_cstr_info(m_codec)) {
        m_layers = int(info->m_default_tile_info.numlayers);
        m_tiles = std::uint64_t(info->tw) * std::uint64_t(info->th);
        if (info->m_default_tile_info.tccp_info)
            m_qmfbid = int(info->m_default_tile_info.tccp_info[0].qmfbid);
        opj_destroy_cstr_info(&info);
    }
    return true;
}

void Decoder::fillFacts(Facts& facts) const
{
    facts.wavelet = m_qmfbid == 1 ? "reversible 5/3 wavelet"
        : m_qmfbid == 0           ? "irreversible 9/7 wavelet"
                                  : "";
    facts.qualityLayers = m_layers;
    facts.bitsPerPixel = 0;
    if (m_image) {
        for (OPJ_UINT32 c = 0; c < std::min<OPJ_UINT32>(m_image->numcomps, 4); ++c)
            facts.bitsPerPixel += int(m_image->comps[c].prec);
    }
}

// Grey or RGB of unsigned samples up to 8 bits is what 8-bit RGBA carries.
// Two or four components are taken as the same with alpha only when no
// channel definition says otherwise: they count as more, as do inks and
// components beyond four (and any file whose header remaps its channels,
// jp2HeaderRemapsChannels()).
bool Decoder::beyondEightBitRgba() const
{
    if (!m_image || (m_image->numcomps != 1 && m_image->numcomps != 3)
        || m_image->color_space == OPJ_CLRSPC_CMYK || m_image->color_space == OPJ_CLRSPC_EYCC)
        return true;
    for (OPJ_UINT32 c = 0; c < m_image->numcomps; ++c) {
        if (m_image->comps[c].prec > 8 || m_image->comps[c].sgnd)
            return true;
    }
    return false;
}

bool Decoder::uniformComponents() const
{
    for (OPJ_UINT32 c = 1; c < m_image->numcomps; ++c) {
        const opj_image_comp_t& a = m_image->comps[0];
        const opj_image_comp_t& b = m_image->comps[c];
        if (a.prec != b.prec || a.sgnd != b.sgnd || a.dx != b.dx || a.dy != b.dy)
            return false;
    }
    return true;
}

bool Decoder::allocate(const Layout& layout, DecodedPicture& picture, DecodeOutcome& outcome) const
{
    picture.sampleFormat = layout.signedSamples ? SampleFormat::Signed : SampleFormat::Unsigned;
    if (detail::allocateFrames(picture, m_width, m_height, layout.bytesPerSample, 1))
        return true;
    outcome = detail::outOfMemory("not enough memory for the picture");
    return false;
}

DecodeOutcome Decoder::decode()
{
    if (!m_image || !m_codec || !m_stream)
        return detail::failure(DecodeStatus::Unreadable, "damaged JPEG 2000 header");
    // A single-tile image decoded whole holds every sample as a 32-bit
    // integer: three times the finished picture for RGB. Decoding it in bands
    // of rows keeps the peak near the picture itself. Components that differ
    // in precision or sub-sampling are decoded whole, since OpenJPEG's channel
    // definitions may reorder components between the bands.
    // The area to decode is given in signed 32-bit grid coordinates.
    const bool addressable
        = m_image->x1 <= OPJ_UINT32(INT_MAX) && m_image->y1 <= OPJ_UINT32(INT_MAX) - kBandRows;
    if (m_tiles == 1 && addressable && m_height > 2 * kBandRows && uniformComponents()) {
        DecodeOutcome banded;
        if (decodeInBands(banded))
            return banded;
        release();
        std::string why;
        if (!readHeader(why))
            return detail::failure(DecodeStatus::Unreadable, why);
    }
    if (!opj_decode(m_codec, m_stream, m_image) || !opj_end_decompress(m_codec, m_stream))
        return detail::failure(DecodeStatus::Unreadable, "damaged JPEG 2000 data");
    // The codec keeps the compressed data until it is destroyed; free it
    // before the picture is built to keep the peak down.
    opj_stream_destroy(m_stream);
    m_stream = nullptr;
    opj_destroy_codec(m_codec);
    m_codec = nullptr;
    Layout layout;
    std::string why;
    if (!chooseLayout(layout, why))
        return detail::failure(DecodeStatus::Unreadable, why);
    DecodeOutcome outcome;
    if (!allocate(layout, outcome.picture, outcome))
        return outcome;
    if (!convertRows(layout, outcome.picture, 0))
        return detail::failure(DecodeStatus::Unreadable, "damaged JPEG 2000 data");
    outcome.status = DecodeStatus::Ok;
    return outcome;
}

bool Decoder::decodeInBands(DecodeOutcome& outcome)
{
    const OPJ_INT32 left = OPJ_INT32(m_image->x0);
    const OPJ_INT32 right = OPJ_INT32(m_image->x1);
    const OPJ_INT32 top = OPJ_INT32(m_image->y0);
    const OPJ_INT32 bottom = OPJ_INT32(m_image->y1);
    const OPJ_UINT32 components = m_image->numcomps;
    Layout layout;
    bool started = false;
    for (OPJ_INT32 bandTop = top; bandTop < bottom; bandTop += OPJ_INT32(kBandRows)) {
        const OPJ_INT32 bandBottom = std::min(bandTop + OPJ_INT32(kBandRows), bottom);
        if (!opj_set_decode_area(m_codec, m_image, left, bandTop, right, bandBottom)
            || !opj_decode(m_codec, m_stream, m_image)) {
            outcome = detail::failure(DecodeStatus::Unreadable, "damaged JPEG 2000 data");
            return bandTop != top;
        }
        // A palette turns one component into three after decoding; such a
        // file is decoded whole.
        if (m_image->numcomps != components)
            return false;
        if (!started) {
            std::string why;
            if (!chooseLayout(layout, why)) {
                outcome = detail::failure(DecodeStatus::Unreadable, why);
                return true;
            }
            if (!allocate(layout, outcome.picture, outcome))
                return true;
            started = true;
        }
        if (!convertRows(layout, outcome.picture, std::uint32_t(bandTop - top))) {
            outcome = detail::failure(DecodeStatus::Unreadable, "damaged JPEG 2000 data");
            return true;
        }
    }
    if (!opj_end_decompress(m_codec, m_stream)) {
        outcome = detail::failure(DecodeStatus::Unreadable, "damaged JPEG 2000 data");
        return true;
    }
    outcome.status = DecodeStatus::Ok;
    return true;
}

bool Decoder::chooseLayout(Layout& layout, std::string& why) const
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
    if (colour.empty()) {
        why = "JPEG 2000 without colour components";
        return false;
    }
    if (img.color_space == OPJ_CLRSPC_CMYK || img.color_space == OPJ_CLRSPC_EYCC) {
        why = "JPEG 2000 colour space CMYK or e-YCC: not supported";
        return false;
    }
    layout.grey = colour.size() < 3;
    layout.ycc = !layout.grey && img.color_space == OPJ_CLRSPC_SYCC;
    // Components beyond the colours and alpha would be dropped: the search
    // form refuses them rather than compare part of the stored samples.
    if (!m_options.eightBit && colour.size() != (layout.grey ? 1u : 3u)) {
        why = "JPEG 2000 with " + std::to_string(img.numcomps) + " components: not supported";
        return false;
    }
    colour.resize(layout.grey ? 1 : 3);
    layout.alpha = alpha >= 0;
    layout.channels = colour;
    if (layout.alpha)
        layout.channels.push_back(alpha);
    layout.bytesPerSample = 1;
    if (!m_options.eightBit) {
        for (int c : layout.channels) {
            // Samples deeper than the pixel form's 16 bits cannot be kept
            // exactly: scaling them down would make different pictures equal.
            if (img.comps[c].prec > 16) {
                why = "JPEG 2000 with " + std::to_string(img.comps[c].prec)
                    + "-bit samples: not supported";
                return false;
            }
            if (img.comps[c].prec > 8)
                layout.bytesPerSample = 2;
            layout.signedSamples = layout.signedSamples || img.comps[c].sgnd;
        }
    }
    return true;
}

template <typename Out>
void composeRow(bool grey, bool ycc, bool alpha, const std::vector<std::uint32_t>* row,
    std::uint32_t width, std::uint32_t maximum, Out* out)
{
    const std::int64_t half = std::int64_t(maximum / 2 + 1);
    auto clamp = [maximum](std::int64_t v) { return Out(std::clamp<std::int64_t>(v, 0, maximum)); };
    const std::vector<std::uint32_t>& a = row[alpha ? (grey ? 1 : 3) : 0];
    for (std::uint32_t x = 0; x < width; ++x) {
        if (grey) {
            out[0] = out[1] = out[2] = Out(row[0][x]);
        } else if (ycc) {
            const std::int64_t yy = row[0][x];
            const std::int64_t cb = std::int64_t(row[1][x]) - half;
            const std::int64_t cr = std::int64_t(row[2][x]) - half;
            out[0] = clamp(yy + ((91881 * cr + 32768) >> 16));
            out[1] = clamp(yy - ((22554 * cb + 46802 * cr - 32768) >> 16));
            out[2] = clamp(yy + ((116130 * cb + 32768) >> 16));
        } else {
            out[0] = Out(row[0][x]);
            out[1] = Out(row[1][x]);
            out[2] = Out(row[2][x]);
        }
        out[3] = alpha ? Out(a[x]) : Out(maximum);
        out += 4;
    }
}

bool Decoder::convertRows(
    const Layout& layout, DecodedPicture& picture, std::uint32_t firstRow) const
{
    // The decoded area: the whole image, or one band of rows of it.
    const opj_image_t& img = *m_image;
    const std::uint32_t width = picture.width;
    const std::int64_t rows = std::int64_t(img.y1) - std::int64_t(img.y0);
    if (std::int64_t(img.x1) - std::int64_t(img.x0) != width || rows <= 0
        || firstRow + rows > picture.height)
        return false;
    const std::uint32_t maximum = layout.bytesPerSample == 2 ? 65535 : 255;
    struct Plane {
        const opj_image_comp_t* comp;
        SampleScaler scale;
        std::vector<std::uint32_t> columns;
        std::vector<std::uint32_t> rows;
        // Full-resolution samples already at the picture's sample size: each
        // column is its own sample and only needs its offset and a clamp.
        bool plain = false;
    };
    std::vector<Plane> planes;
    for (int c : layout.channels) {
        const opj_image_comp_t& comp = img.comps[c];
        if (!comp.data || comp.w == 0 || comp.h == 0)
            return false;
        planes.push_back({&comp, SampleScaler(comp, maximum),
            sampleIndex(img.x0, width, comp.dx, comp.x0, comp.w),
            sampleIndex(img.y0, std::uint32_t(rows), comp.dy, comp.y0, comp.h)});
        Plane& plane = planes.back();
        plane.plain = plane.scale.maximum == plane.scale.target && comp.w >= width;
        for (std::uint32_t x = 0; x < width && plane.plain; ++x)
            plane.plain = plane.columns[x] == x;
    }

    std::vector<std::uint32_t> row[4];
    for (std::size_t p = 0; p < planes.size(); ++p)
        row[p].resize(width);
    const std::size_t rowBytes = std::size_t(width) * 4 * std::size_t(layout.bytesPerSample);
    std::uint8_t* pixels = picture.frames[0].data();
    for (std::int64_t y = 0; y < rows; ++y) {
        for (std::size_t p = 0; p < planes.size(); ++p) {
            const Plane& plane = planes[p];
            const OPJ_INT32* source
                = plane.comp->data + std::size_t(plane.rows[std::size_t(y)]) * plane.comp->w;
            std::uint32_t* target = row[p].data();
            if (plane.plain) {
                const std::int64_t offset = plane.scale.offset;
                const std::int64_t top = plane.scale.maximum;
                for (std::uint32_t x = 0; x < width; ++x)
                    target[x] = std::uint32_t(std::clamp<std::int64_t>(source[x] + offset, 0, top));
            } else {
                for (std::uint32_t x = 0; x < width; ++x)
                    target[x] = plane.scale(source[plane.columns[x]]);
            }
        }
        std::uint8_t* line = pixels + (firstRow + std::size_t(y)) * rowBytes;
        if (layout.bytesPerSample == 2)
            composeRow(layout.grey, layout.ycc, layout.alpha, row, width, maximum,
                reinterpret_cast<std::uint16_t*>(line));
        else
            composeRow(layout.grey, layout.ycc, layout.alpha, row, width, maximum, line);
    }
    return true;
}

} // namespace

PictureHeader readHeader(Bytes file)
{
    PictureHeader header;
    header.type = PictureType::Jpeg2000;
    Decoder decoder(file, {}, false);
    std::string why;
    if (!decoder.readHeader(why))
        return header;
    header.ok = true;
    header.width = decoder.width();
    header.height = decoder.height();
    header.beyondEightBitRgba
        = decoder.beyondEightBitRgba() || (!isCodestream(file) && jp2HeaderRemapsChannels(file));
    return header;
}

DecodeOutcome decode(Bytes file, const DecodeOptions& options, Facts* facts)
{
    Decoder decoder(file, options, true);
    std::string why;
    if (!decoder.readHeader(why))
        return detail::failure(DecodeStatus::Unreadable, why);
    if (!withinPixelBudget(decoder.width(), decoder.height()))
        return detail::overBudget(decoder.width(), decoder.height());
    if (facts)
        decoder.fillFacts(*facts);
    return decoder.decode();
}

} // namespace decoding::jpeg2000
