#pragma once
// What the headers of a BMP, JPEG or GIF file say about its size, read from
// the file's first bytes without decoding a pixel. The whole-folder search
// asks this of every file so that it decodes only pictures that another
// picture could equal. Every length and offset is checked against the bytes
// given; anything that does not add up gives ok = false (the caller then
// decodes the file to find out what it holds).

#include "decoding/DecodedPicture.h"

namespace decoding {

// `head` is the start of the file (a few kilobytes are enough for a BMP or GIF;
// a JPEG's size follows its metadata, which can be longer). The result's type
// is set whenever the signature matches, even when ok is false.
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
// The test above for `type`, after checking that the bytes carry its
// signature; false for any other type.
bool isComplete(Bytes file, PictureType type);

} // namespace decoding
