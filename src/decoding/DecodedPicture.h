#pragma once
// Corvane's one pixel form, shared by the converter program, the whole-folder
// search and its front-ends. Qt-free on purpose: the converter starts many
// times a second and must not load Qt's libraries.
//
// Pixels are straight (not premultiplied) colour samples followed by one
// alpha sample and any extra samples, rows packed without padding, 8 or 16
// bits a sample; 16-bit samples are in host byte order. Most pictures are
// RGBA; a picture stored as CMYK (search form only, see DecodeOptions) keeps
// its four inks as stored, and a TIFF's extra samples that are not alpha
// follow the alpha sample. A palette or grey picture is expanded to RGB, so
// it equals a true-colour picture with the same colours. Every frame
// (animation) or page (multi-page file, several pictures in one HEIF) is
// kept, in file order, each fully composed as a viewer shows it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace decoding {

// The types Corvane recognises by content (never by name).
enum class PictureType { Unknown, Bmp, Jpeg, Gif, Png, Tiff, Jpeg2000, WebP, Heif, Avif };

// Pictures with more pixels than this (width x height of one frame) are
// refused from their header, before any pixel memory is allocated.
inline constexpr std::uint64_t kPixelBudget = 150'000'000;

// What a pixel's colour samples mean.
enum class ColourSpace : std::uint8_t {
    Rgb, // red, green, blue
    Cmyk, // cyan, magenta, yellow, black inks, as stored (an Adobe JPEG's inverted inks stay so)
};

// How the bits of a sample are read.
enum class SampleFormat : std::uint8_t {
    Unsigned,
    Signed, // two's complement, kept as stored
};

struct DecodedPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bytesPerSample = 1; // 1 or 2
    ColourSpace colourSpace = ColourSpace::Rgb;
    SampleFormat sampleFormat = SampleFormat::Unsigned;
    // Samples of each pixel after its alpha sample: stored data that is not
    // alpha (a TIFF's "unspecified" extra samples, or any beyond its alpha).
    int extraSamples = 0;
    // Each frame holds width * height * samplesPerPixel() * bytesPerSample bytes.
    std::vector<std::vector<std::uint8_t>> frames;

    int colourSamples() const { return colourSpace == ColourSpace::Cmyk ? 4 : 3; }
    // Colours, then alpha (at its maximum where the file has none), then extras.
    int samplesPerPixel() const { return colourSamples() + 1 + extraSamples; }
    // RGBA at 8 or 16 bits, unsigned: the form every viewer and writer takes.
    bool isRgba() const
    {
        return colourSpace == ColourSpace::Rgb && sampleFormat == SampleFormat::Unsigned
            && extraSamples == 0;
    }
    std::size_t frameBytes() const
    {
        return std::size_t(width) * height * std::size_t(samplesPerPixel())
            * std::size_t(bytesPerSample);
    }
};

enum class DecodeStatus {
    Ok,
    Unreadable, // truncated, corrupt, or content of no type Corvane reads
    TooLarge, // over kPixelBudget (or over the frame limit of an animation)
};

// Whether a failure would come again from the same bytes. Lasting: the file
// is damaged, of a kind Corvane cannot read, or over a budget that does not
// change between searches; such an outcome may be remembered with the file.
// Passing: it says only something of the moment the file was decoded in
// (memory ran out, a library refused work for want of memory); the next
// decode may well succeed, so it is never remembered.
enum class FailureKind { Lasting, Passing };

struct DecodeOutcome {
    DecodeStatus status = DecodeStatus::Unreadable;
    FailureKind failureKind = FailureKind::Lasting; // for a failure
    // For a failure: one short line for people ("truncated PNG data",
    // "32000 x 32000 is over the pixel budget").
    std::string reason;
    DecodedPicture picture;
};

// What a file's headers say without decoding any pixel. ok is false when the
// header cannot be read (such a file is decoded to find out what it is).
struct PictureHeader {
    bool ok = false;
    PictureType type = PictureType::Unknown;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 1; // 0 when the header does not say without reading further
    // Whether the file may hold more than one 8-bit RGBA picture carries
    // exactly: several frames or pages, samples deeper than 8 bits (a colour
    // map of 16-bit entries included), inks (CMYK), signed or floating-point
    // samples, samples beyond colour and alpha, or a colour space the
    // decoders convert. It errs towards true: a file that says so may still
    // hold an 8-bit RGBA picture (a 16-bit PNG whose samples are all v * 257),
    // and a header that cannot tell (an unknown frame count, a HEIF's depth)
    // says so. Only its decoded pixels can tell for sure. A BMP says true
    // only for colour fields wider than 8 bits, which no search of Corvane
    // reads (Qt would narrow them).
    bool beyondEightBitRgba = false;
};

using Bytes = std::span<const std::uint8_t>;

} // namespace decoding
