#pragma once
// How a caller wants the pixels of a decoded picture.

namespace decoding {

struct DecodeOptions {
    // Samples of more than 8 bits are reduced to 8 bits, rounded to the
    // nearest value (v * 255 / maximum), and every picture is made RGBA
    // (CMYK and other colour spaces converted, extra samples dropped), for
    // callers that can only show or write 8-bit RGBA pictures.
    // Off (the search form): every sample is kept as stored, with its
    // meaning (colour space, sample format, extra samples) and its depth, so
    // pictures that differ in any stored sample never compare equal; a file
    // that cannot be held so exactly is refused as unsupported.
    bool eightBit = false;
    // Only the first frame or page is decoded (an animated PNG gives its
    // default image), for a caller that accounts for the rest itself, as
    // Corvane's search does for its converter with a digest of the rest.
    // Off: every frame is decoded, or the picture is refused.
    bool firstFrameOnly = false;
    // The picture as a viewer shows it: a JPEG's or TIFF's orientation tag
    // is applied (PictureOrientation.h), and width and height are the shown
    // ones. The whole-folder search reads every picture so. Off: the stored
    // rows, as the first design's converter shows them.
    bool asShown = false;
};

} // namespace decoding
