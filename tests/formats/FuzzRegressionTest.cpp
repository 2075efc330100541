// Inputs the fuzz targets once found trouble with (fuzz/regressions): the
// WebP and HEIF/AVIF decoders end on each with a clear outcome.

#include "FormatFiles.h"

#include "decoding/CodingFacts.h"
#include "decoding/HeifDecoder.h"
#include "decoding/WebpDecoder.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

TEST(NewerTypesFuzzRegressions, EveryKeptInputEndsCleanly)
{
    const QDir folder(QStringLiteral(CORVANE_SOURCE_DIR "/fuzz/regressions"));
    const QStringList files
        = folder.entryList({QStringLiteral("*.webp"), QStringLiteral("*.heic"),
                               QStringLiteral("*.heif"), QStringLiteral("*.avif")},
            QDir::Files);
    if (files.isEmpty())
        GTEST_SKIP() << "no kept fuzz inputs of these types";
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = FormatFiles::readBytes(folder.filePath(name));
        const bool webp = name.endsWith(QLatin1String(".webp"));
        // The report's chunk and box readers see the same files (under the
        // sanitizers, a read past the end fails the test).
        if (webp)
            decoding::webpCodingFacts(FormatFiles::bytesOf(bytes));
        else
            decoding::heifCodingFacts(FormatFiles::bytesOf(bytes));
        const decoding::DecodeOutcome outcome = webp
            ? decoding::decodeWebp(FormatFiles::bytesOf(bytes))
            : decoding::decodeHeif(FormatFiles::bytesOf(bytes));
        if (outcome.status == decoding::DecodeStatus::Ok) {
            EXPECT_FALSE(outcome.picture.frames.empty());
        } else {
            EXPECT_FALSE(outcome.reason.empty());
        }
        // Kept because it once made the decoder allocate gigabytes.
        if (name == QLatin1String("heic-grid-canvas-over-budget.heic")) {
            EXPECT_EQ(outcome.status, decoding::DecodeStatus::TooLarge) << outcome.reason;
        }
    }
}

} // namespace
