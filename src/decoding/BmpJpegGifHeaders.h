#pragma once
// The one header reader of each of BMP, JPEG and GIF: every fact Corvane takes
// from these files without decoding a pixel comes from one walk per type
// here. The whole-folder search asks for a picture's size (so that it decodes
// only pictures that another picture could equal), every Qt reader asks
// whether the file is whole before Qt sees it, and the converter's report
// takes compression, depth, resolution and frame count. Every length and
// offset is checked against the bytes given; nothing is trusted beyond them.

#include "decoding/DecodedPicture.h"

#include <array>
#include <vector>

namespace decoding {

// --- BMP -------------------------------------------------------------------

// The file header and the information header of a bitmap.
struct BmpLayout {
    bool signature = false; // "BM"
    // The information header is of a size Corvane knows (12, or 16 to 124
    // bytes) and its size fields lie within the bytes.
    bool readable = false;
    std::uint32_t infoSize = 0;
    std::uint32_t pixelOffset = 0;
    std::int64_t width = 0; // as stored
    std::int64_t height = 0; // as stored; negative: rows stored top-down
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    // 0 none, 1 RLE8, 2 RLE4, 3 and 6 bit fields, 4 JPEG, 5 PNG; 0 for a
    // header too short to say.
    std::uint32_t compression = 0;
    // Pixels per metre; 0 where the header holds none.
    std::int32_t xPixelsPerMetre = 0;
    std::int32_t yPixelsPerMetre = 0;
    // The widest colour or alpha field of a bit-field bitmap (compression 3
    // or 6), in bits; 0 for any other bitmap.
    int widestField = 0;
};
BmpLayout readBmpLayout(Bytes head);

// --- JPEG ------------------------------------------------------------------

// How far a JPEG's segments are walked: up to its frame header (enough for
// its size), up to its first scan (every table and header before the
// compressed data), or over every scan to the end of the image (each scan's
// header and the length of its compressed data).
enum class JpegWalk { ToFrame, ToFirstScan, AllScans };

// One component of the frame header.
struct JpegComponent {
    std::uint8_t id = 0;
    int horizontal = 1; // sampling factors, 1 to 4
    int vertical = 1;
};

// One scan met by JpegWalk::AllScans.
struct JpegScan {
    std::vector<int> components; // indexes into JpegLayout::frameComponents
    int spectralStart = 0; // Ss
    int spectralEnd = 63; // Se
    int approximationHigh = 0; // Ah: 0 in a first scan, above 0 in a refinement
    int approximationLow = 0; // Al: 0 in the scan that gives a coefficient its last bit
    // Bytes of entropy-coded data after the scan header, up to the next
    // marker that is not a restart marker (stuffed bytes and restart markers
    // included), or to the end of the bytes.
    std::uint64_t dataBytes = 0;
};

struct JpegLayout {
    bool signature = false; // FF D8 FF
    // The first frame header (start-of-frame segment).
    bool hasFrame = false;
    std::uint8_t frameMarker = 0; // C0 baseline, C2 progressive, C3 lossless, ...
    std::uint8_t precision = 0; // bits a sample
    std::uint16_t width = 0;
    std::uint16_t height = 0; // 0: announced later (DNL)
    std::uint8_t components = 0;
    // False when anything but whole segments stands before the frame header:
    // a stray byte, a second start of image, a scan, the end of the image, a
    // segment too short for its length field or running past the bytes.
    bool cleanBeforeFrame = true;
    // The first quantisation table of slot 0 (the luminance table), as stored.
    bool hasLuminanceTable = false;
    std::array<int, 64> luminanceTable{};
    // The JFIF header's pixel density: units 0 (aspect only), 1 dots per
    // inch, 2 dots per centimetre.
    bool hasJfifDensity = false;
    std::uint8_t densityUnits = 0;
    std::uint16_t xDensity = 0;
    std::uint16_t yDensity = 0;
    // Where the first scan's compressed data begins; 0 when the walk met the
    // end of the image, damage or the end of the bytes first.
    std::size_t firstScanData = 0;
    // The frame's components (JpegWalk::ToFirstScan and AllScans; empty when
    // the frame header is cut short or holds more than four).
    std::vector<JpegComponent> frameComponents;
    // Every scan, in file order (JpegWalk::AllScans only).
    std::vector<JpegScan> scans;

    bool progressive() const;
    bool lossless() const;
    // Arithmetic coding: SOF9 and up.
    bool arithmetic() const;
};
JpegLayout readJpegLayout(Bytes head, JpegWalk walk);

// --- GIF -------------------------------------------------------------------

struct GifFrame {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    int localTableBits = 0; // 0 without a colour table of its own
    // Bytes of LZW codes in its sub-blocks (those of a cut-off last block
    // count as far as they go).
    std::uint64_t dataBytes = 0;
};

// How a GIF's walk of blocks ended.
enum class GifEnd {
    Trailer,
    BlockBoundary, // the bytes end exactly after a whole block
    CutOff, // the bytes end inside a block
    Damaged, // a block of no kind GIF has
};

struct GifLayout {
    bool signature = false; // GIF87a or GIF89a, with the 13-byte screen descriptor
    std::uint16_t screenWidth = 0;
    std::uint16_t screenHeight = 0;
    int globalTableBits = 0; // 0 without a global colour table
    // Every image descriptor met, in file order; after a cut-off walk the
    // last one may lack data.
    std::vector<GifFrame> frames;
    GifEnd end = GifEnd::CutOff;
};
GifLayout readGifLayout(Bytes file);

// --- What the searches ask ---------------------------------------------------

// `head` is the start of the file (a few kilobytes are enough for a BMP or GIF;
// a JPEG's size follows its metadata, which can be longer). The result's type
// is set whenever the signature matches, even when ok is false.
// A bitmap whose colour or alpha fields are wider than 8 bits (10-10-10-2,
// say) says beyondEightBitRgba: Qt reads it at 8 bits a sample, so two such
// files a low bit apart would read the same. Corvane refuses to read it.
PictureHeader readBmpHeader(Bytes head);
PictureHeader readJpegHeader(Bytes head);
// frames counts the pictures of an animation when the blocks up to the
// trailer lie within `head` (pass the whole file for a full count), and is 0
// when the bytes end before the trailer.
PictureHeader readGifHeader(Bytes head);

// Whether a file holds everything its headers point at. Qt's readers return a
// picture for a cut-off BMP (rows left unread), JPEG (the missing rows grey)
// or GIF and say nothing, so a file must pass this before they see it.
// A BMP's pixel rows (uncompressed layouts; run-length data is left to the
// reader), judged from its first bytes (headers included) and the file's size,
// so that a large bitmap is checked without reading it whole.
bool bmpComplete(Bytes head, std::uint64_t fileSize);
// A JPEG's end-of-image marker after its first scan.
bool jpegComplete(Bytes file);
// A GIF's blocks up to its trailer (or to the end of the file at a block
// boundary), with at least one picture.
bool gifComplete(Bytes file);
bool gifComplete(const GifLayout& layout);
// The test above for `type`, after checking that the bytes carry its
// signature; false for any other type.
bool isComplete(Bytes file, PictureType type);

// Whether a GIF's compressed data could fill the pictures it claims. GIF's
// LZW codes are at most 12 bits and one code stands for at most 4,096
// pixels, so a file cannot hold more than about 2,731 pixels per byte of
// image data. Qt's reader allocates the whole picture (its logical screen)
// from the header; a file of a few bytes that claims one of millions of
// pixels is refused with this before that. False for a frame, or a logical
// screen, that its data could not fill.
bool gifDataCanFill(const GifLayout& layout);

// Whether a Huffman-coded JPEG's compressed data could fill the picture its
// frame header claims; `layout` from JpegWalk::AllScans. Every block of a
// sequential scan, and of a progressive scan of DC coefficients (a first
// scan or a refinement, which takes exactly one bit), takes at least one
// bit, so each such scan needs a bit for each of its blocks; and every
// component needs such a scan, or it has no picture at all. libjpeg
// allocates its buffers (a progressive file's coefficients of the whole
// picture) from the header; a file of a few bytes claiming a picture of
// millions of pixels is refused with this first. True for arithmetic coding,
// which can code a flat block in a small part of a bit, and for lossless
// JPEG, which Corvane does not read.
bool jpegDataCanFill(const JpegLayout& layout);

// Whether every coefficient of every component of the frame is given its
// last bit by some scan; `layout` from JpegWalk::AllScans. A file cut off
// (or cut and closed with an end marker) between or within its first scans
// lacks the later ones, and libjpeg decodes what it has without a warning
// when the coding is arithmetic (where meeting a marker inside a scan is
// legal): two photos cut early would decode to the same grey picture. True
// for lossless JPEG and for a layout without a frame.
bool jpegScansComplete(const JpegLayout& layout);

} // namespace decoding
