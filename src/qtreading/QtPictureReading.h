#pragma once
// Corvane's one way through Qt's readers for BMP, JPEG and GIF (the types the
// first design reads with Qt): within the pixel budget, the size taken from
// the header and a picture over the budget refused before Qt allocates it,
// frame by frame for an animation, and into the decoding library's pixel
// form. The window's loader, the whole-folder search, the converter's reader
// module and the full-size view all read through here, so each sees the same
// pixels. Orientation tags are applied only when decode() is asked to
// (DecodeOptions::asShown); otherwise the stored rows come out.

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"

#include <QByteArray>
#include <QImage>

#include <functional>
#include <string>
#include <vector>

class QIODevice;

namespace qtreading {

// Call once before reading (and before reading on several threads): Qt
// refuses pictures above 256 MB by default, which would refuse a
// 100-megapixel photo; the pixel budget is the real guard, so Qt's limit is
// raised to hold it even at 16 bits a sample.
void prepare();

// The first frame only, or every frame of an animation (every page of a
// file of several).
enum class Frames { First, All };

// How a read ended; status, failureKind and reason as for a decode.
struct ReadOutcome {
    decoding::DecodeStatus status = decoding::DecodeStatus::Unreadable;
    decoding::FailureKind failureKind = decoding::FailureKind::Lasting;
    std::string reason;
};

// Takes each frame as Qt gives it (its own pixel format); returning false
// stops the read (the outcome is then Ok with the frames taken so far).
using FrameSink = std::function<bool(QImage& frame)>;

// Reads from `device` (at the file's start) with Qt's reader for `format`
// ("bmp", "jpeg", "gif"...; empty: decided by the content).
ReadOutcome readFrames(
    QIODevice* device, const QByteArray& format, Frames which, const FrameSink& sink);

// A BMP, JPEG or GIF file held in memory: refused when cut off (Qt's
// readers fill missing rows with grey and say nothing) or, for a GIF, when
// its data could not fill the picture it claims; then read as above.
ReadOutcome readFile(
    decoding::Bytes file, decoding::PictureType type, Frames which, const FrameSink& sink);

// Every frame of a BMP, JPEG or GIF file read as above, held together; a
// file whose pages differ in size is refused (one picture has one size).
ReadOutcome readAllFrames(
    decoding::Bytes file, decoding::PictureType type, std::vector<QImage>* frames);

// A frame as straight RGBA rows without padding, 8 or 16 bits a sample: the
// whole-folder search's form. A palette index without a colour reads as
// opaque black here (the search's fingerprints rest on it).
std::vector<std::uint8_t> packedRgba(const QImage& frame, bool sixteenBit);

// A frame as straight 8-bit RGBA rows as the window shows it (through
// ARGB32): a palette index without a colour reads as transparent black.
// Equal to packedRgba() for every other 8-bit frame.
std::vector<std::uint8_t> windowRgba(const QImage& frame);

// Whether a frame holds samples of more than 8 bits.
bool isSixteenBit(const QImage& frame);

// Every frame of a BMP, JPEG or GIF file in the shared pixel form (RGBA).
// JPEG goes to decoding/JpegDecoder (libjpeg itself): the same pixels as
// Qt's reader for RGB and grey, faster, and CMYK kept as its inks (Qt would
// turn them into RGB, where different inks look alike). Only options.asShown
// counts: the picture turned as a viewer shows it (decoding::decodeAsShown).
decoding::DecodeOutcome decode(
    decoding::Bytes file, decoding::PictureType type, const decoding::DecodeOptions& options = {});

} // namespace qtreading
