#include "converter/Converter.h"

#include "converter/BmpRowWriter.h"
#include "converter/BmpWriter.h"
#include "converter/HeaderProbe.h"
#include "converter/ImageInfoReport.h"
#include "converter/ReaderModule.h"
#include "decoding/Jpeg2000Decoder.h"
#include "decoding/MappedFile.h"
#include "decoding/PictureType.h"
#include "decoding/PngDecoder.h"
#include "decoding/TiffDecoder.h"
#include "files/WholeIo.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ConverterContract;

namespace {

constexpr double kInchesPerMetre = 39.37007874015748;

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat first { };
    struct stat second { };
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0
        && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

ExitCode exitFor(decoding::DecodeStatus status)
{
    return status == decoding::DecodeStatus::TooLarge ? kExitTooLarge : kExitUnreadable;
}

std::uint32_t dotsPerMetre(double dpi)
{
    if (!(dpi > 0) || dpi * kInchesPerMetre > 0xFFFFFFFFu)
        return 0;
    return std::uint32_t(std::lround(dpi * kInchesPerMetre));
}

// The folder part of `path` ("." for a bare name).
std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

Converter::Converter(ConverterArguments arguments)
    : m_arguments(std::move(arguments))
{
}

ExitCode Converter::fail(ExitCode code, const std::string& why)
{
    m_error = why;
    removeStaleOutput(m_arguments.convertPath);
    removeStaleOutput(m_arguments.infoPath);
    return code;
}

void Converter::removeStaleOutput(const std::string& path) const
{
    if (path.empty() || sameFile(path, m_arguments.imagePath))
        return;
    struct stat status { };
    // Only a regular file of that name, never what a symbolic link points at.
    if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        ::unlink(path.c_str());
}

bool Converter::writeAtomically(const std::string& path, const std::function<bool(int fd)>& write)
{
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return false;
    struct stat target { };
    if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
        return false;
    std::string temporary = folderOf(path) + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // A temporary file is private to its owner; the output gets the usual
    // permissions of a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    const bool written = write(fd);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

ExitCode Converter::run()
{
    const std::string& path = m_arguments.imagePath;
    // Only regular files: a FIFO or device would block the read forever. The
    // file is mapped; main() turns a SIGBUS from a file cut short meanwhile
    // into an unreadable-image exit.
    const decoding::MappedFile file
        = decoding::MappedFile::open(path, decoding::MappedFile::Access::Map);
    if (!file.ok()) {
        if (file.errorNumber() == ENOENT)
            return fail(kExitUnreadable, "no such file: " + path);
        return fail(kExitUnreadable, "cannot read " + path + ": " + file.error());
    }
    const decoding::Bytes bytes = file.bytes();
    const decoding::PictureType type = decoding::detectType(bytes);
    if (type == decoding::PictureType::Unknown)
        return fail(kExitUnreadable, "not an image of a known type: " + path);

    const bool wantInfo = !m_arguments.infoPath.empty();
    HeaderFacts facts = HeaderProbe::probe(bytes, type);
    const bool checkLength
        = type == decoding::PictureType::Tiff || type == decoding::PictureType::Bmp;
    if (checkLength && !facts.complete)
        return fail(kExitUnreadable, path + " is cut off or damaged");
    const decoding::DecodeOptions options{.eightBit = true, .firstFrameOnly = true};
    const std::uint32_t dpmX = dotsPerMetre(facts.dpiX);
    const std::uint32_t dpmY = dotsPerMetre(facts.dpiY);

    // An opaque PNG or plain TIFF that only becomes a bitmap goes from the
    // decoder into the bitmap file row by row: no picture in memory, no
    // pass over its pixels besides the one into the bitmap's order.
    const bool streamable
        = type == decoding::PictureType::Png || type == decoding::PictureType::Tiff;
    if (streamable && !wantInfo) {
        decoding::StreamResult streamed = decoding::StreamResult::NotStreamable;
        std::string why;
        const bool written = writeAtomically(m_arguments.convertPath, [&](int fd) {
            BmpRowWriter rows(fd, dpmX, dpmY);
            streamed = type == decoding::PictureType::Png
                ? decoding::png::streamOpaqueRows(bytes, options, rows, &why)
                : decoding::tiff::streamOpaqueRows(bytes, options, rows, &why);
            return streamed == decoding::StreamResult::Streamed;
        });
        if (written)
            return kExitOk;
        if (streamed == decoding::StreamResult::Failed)
            return fail(kExitUnreadable, path + ": " + why);
        if (streamed == decoding::StreamResult::TooLarge)
            return fail(kExitTooLarge, path + ": " + why);
        if (streamed == decoding::StreamResult::Streamed)
            return fail(kExitWriteFailed, "cannot write " + m_arguments.convertPath);
    }

    // PNG, TIFF and JPEG 2000 by the decoders linked in; the other types by
    // the reader module (Qt's readers for the types Corvane's window reads
    // with Qt). Samples of more than 8 bits are rounded to 8 bits: a bitmap
    // holds no more. A bitmap holds one picture: the first page or frame, as
    // Qt's readers give it (Corvane's search adds a digest of the other pages
    // to the picture it compares).
    decoding::DecodeOutcome outcome;
    decoding::jpeg2000::Facts codestream;
    if (type == decoding::PictureType::Png)
        outcome = decoding::png::decode(bytes, options);
    else if (type == decoding::PictureType::Tiff)
        outcome = decoding::tiff::decode(bytes, options);
    else if (type == decoding::PictureType::Jpeg2000)
        outcome = decoding::jpeg2000::decode(bytes, options, &codestream);
    else
        outcome = ReaderModule::decode(bytes, type);
    if (outcome.status != decoding::DecodeStatus::Ok)
        return fail(exitFor(outcome.status), path + ": " + outcome.reason);
    const decoding::DecodedPicture& picture = outcome.picture;
    if (type == decoding::PictureType::Jpeg2000) {
        facts.compression = "JPEG 2000";
        if (!codestream.wavelet.empty())
            facts.compression += ", " + codestream.wavelet;
        if (codestream.qualityLayers > 1)
            facts.compression
                += ", " + std::to_string(codestream.qualityLayers) + " quality layers";
        facts.bitsPerPixel = codestream.bitsPerPixel;
    }

    if (!m_arguments.convertPath.empty()) {
        const bool written = writeAtomically(m_arguments.convertPath, [&](int fd) {
            return BmpWriter::write(
                picture, 0, dpmX, dpmY, [fd](const std::uint8_t* data, std::size_t size) {
                    return writeAll(fd, data, size) == 0;
                });
        });
        if (!written)
            return fail(kExitWriteFailed, "cannot write " + m_arguments.convertPath);
    }
    if (wantInfo) {
        const std::string report = ImageInfoReport::build(path, file.size(), bytes, facts, picture);
        const bool written = writeAtomically(m_arguments.infoPath,
            [&report](int fd) { return writeAll(fd, report.data(), report.size()) == 0; });
        if (!written)
            return fail(kExitWriteFailed, "cannot write " + m_arguments.infoPath);
    }
    return kExitOk;
}
