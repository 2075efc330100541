#pragma once
// JPEG 2000 (JP2 files and bare codestreams) through OpenJPEG, decoded with
// one OpenJPEG thread per core. Components of up to 8 bits give an 8-bit
// picture, deeper ones a 16-bit picture (each scaled to the full range of its
// sample size, rounded); sub-sampled components are upsampled by repeating
// their samples; sYCC is turned into RGB.

#include "decoding/DecodeOptions.h"
#include "decoding/DecodedPicture.h"

#include <string>

namespace decoding::jpeg2000 {

// What the codestream's main header says, for the converter's report.
struct Facts {
    std::string wavelet; // "reversible 5/3 wavelet", "irreversible 9/7 wavelet" or ""
    int qualityLayers = 0;
    int bitsPerPixel = 0; // sum of the precisions of the components shown
};

PictureHeader readHeader(Bytes file);
DecodeOutcome decode(Bytes file, const DecodeOptions& options = {}, Facts* facts = nullptr);

} // namespace decoding::jpeg2000
