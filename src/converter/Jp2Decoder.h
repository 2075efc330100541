#pragma once
// Decodes JPEG 2000 (JP2 files and bare codestreams) with OpenJPEG into an
// 8-bit QImage. The header is read first so that the caller can refuse an
// oversized image before any pixel memory is allocated.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <vector>

struct opj_image;

class Jp2Decoder {
public:
    enum Status { Ok, Unreadable, Unsupported };

    // `data` is the whole file; `codestream` says whether it is a bare
    // codestream rather than a JP2 box file. The data must outlive the decoder.
    Jp2Decoder(const QByteArray& data, bool codestream);
    ~Jp2Decoder();
    Jp2Decoder(const Jp2Decoder&) = delete;
    Jp2Decoder& operator=(const Jp2Decoder&) = delete;

    Status readHeader();
    // Valid after readHeader() returned Ok.
    QSize size() const { return m_size; }
    int componentCount() const;
    // Sum of the precisions of the components that end up in the picture.
    int bitsPerPixel() const;
    // "reversible 5/3 wavelet" or "irreversible 9/7 wavelet", "" when unknown.
    QString waveletName() const;
    int qualityLayers() const;

    // Read position in the file for OpenJPEG's stream callbacks.
    struct MemoryStream {
        const uchar* data = nullptr;
        quint64 size = 0;
        quint64 position = 0;
    };

    // Decodes the whole image; readHeader() must have returned Ok. Components
    // of other precisions are scaled to 8 bits, sub-sampled ones upsampled.
    Status decode(QImage* image);

private:
    // Rows decoded per band when a large image is decoded band by band.
    static constexpr int kBandRows = 256;

    struct Layout {
        std::vector<int> channels; // colour components, then alpha
        bool grey = false;
        bool ycc = false;
        bool alpha = false;
        QImage::Format format = QImage::Format_Invalid;
    };

    void release();
    bool uniformComponents() const;
    // Returns false when the image must be decoded whole instead; else the
    // outcome is in `status`.
    bool decodeInBands(QImage* image, Status* status);
    Status chooseLayout(Layout* layout) const;
    // Writes the rows of the decoded area into `out`, starting at `firstRow`.
    bool convertRows(const Layout& layout, QImage* out, int firstRow) const;

    const QByteArray& m_data;
    bool m_codestream;
    MemoryStream m_source;
    void** m_codec = nullptr; // opj_codec_t*
    void** m_stream = nullptr; // opj_stream_t*
    opj_image* m_image = nullptr;
    QSize m_size;
    int m_qmfbid = -1;
    int m_layers = 0;
    qint64 m_tiles = 0;
};
