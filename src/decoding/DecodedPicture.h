#pragma once
// Corvane's one pixel form, shared by the converter program, the whole-folder
// search and its front-ends. Qt-free on purpose: the converter starts many
// times a second and must not load Qt's libraries.
//
// Pixels are straight (not premultiplied) RGBA, rows packed without padding,
// 8 or 16 bits a sample; 16-bit samples are in host byte order. A palette or
// grey picture is expanded to RGBA, so it equals a true-colour picture with
// the same colours. Every frame (animation) or page (multi-page file, several
// pictures in one HEIF) is kept, in file order, each fully composed as a
// viewer shows it.

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

struct DecodedPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bytesPerSample = 1; // 1 or 2
    // Each frame holds width * height * 4 * bytesPerSample bytes.
    std::vector<std::vector<std::uint8_t>> frames;

    std::size_t frameBytes() const
    {
        return std::size_t(width) * height * 4 * std::size_t(bytesPerSample);
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
};

using Bytes = std::span<const std::uint8_t>;

} // namespace decoding
