#include "finder/CompletedFiles.h"
#include "finder/FileReading.h"
#include "finder/PictureReader.h"
#include "finder/PictureTypes.h"
#include "finder/SearchStages.h"
#include "finder/TaskTimeline.h"
#include "finder/WorkerPool.h"

namespace finder {

namespace {

using decoding::PictureType;

// Enough for the header of a BMP, GIF, PNG, TIFF (mostly) and JPEG 2000 file.
constexpr qint64 kHeaderBytes = 64 * 1024;
// A JPEG's size follows its metadata, which a camera can make long.
constexpr qint64 kLongHeaderBytes = 2 * 1024 * 1024;

void readHeader(const SearchContext& context, FileRecord& record)
{
    FileBytes head = readFileStart(record.path, record.identity, kHeaderBytes);
    if (!head.ok) {
        record.state = FileState::Unreadable;
        record.reason = head.reason;
        return;
    }
    decoding::PictureHeader header = finder::readHeader(bytesOf(head.bytes));
    if (!header.ok && header.type == PictureType::Jpeg && record.identity.size > kHeaderBytes) {
        head = readFileStart(record.path, record.identity, kLongHeaderBytes);
        if (head.ok)
            header = finder::readHeader(bytesOf(head.bytes));
    }
    record.cacheable = head.ok && context.settled(head.newestChangeNs);
    record.type = header.type;
    if (header.type == PictureType::Unknown) {
        record.state = FileState::Unreadable;
        record.reason = kNotAPicture;
    } else if (!hasDecoder(header.type)) {
        record.state = FileState::Unreadable;
        record.reason = QStringLiteral("no decoder for %1").arg(finder::typeName(header.type));
    } else if (header.ok && std::uint64_t(header.width) * header.height > decoding::kPixelBudget) {
        record.state = FileState::Unreadable;
        record.reason = QStringLiteral("%1 x %2 is over the pixel budget")
                            .arg(header.width)
                            .arg(header.height);
    } else if (header.ok) {
        record.state = FileState::HeaderKnown;
        record.width = header.width;
        record.height = header.height;
        record.frames = header.frames;
    } else {
        record.state = FileState::HeaderUnknown;
    }
}

} // namespace

const QString kNotAPicture = QStringLiteral("not a picture of a type Corvane reads");

void readHeaders(SearchContext& context, FileTable& files)
{
    std::vector<FileId> listed;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].state == FileState::Listed)
            listed.push_back(FileId(i));
    }
    CompletedFiles completed(context, files);
    const auto total = std::int64_t(listed.size());
    context.report(FinderProgress::Stage::ReadingHeaders, 0, total);
    TaskTimeline timeline(listed.size());
    runOnWorkers(
        listed.size(), context.threads, context.stop,
        [&](std::size_t n) {
            timeline.run(n, [&] { readHeader(context, files[listed[n]]); });
            // A picture whose header did not say its size is done with
            // this stage only once it has been decoded (see the decode stage).
            if (files[listed[n]].state != FileState::HeaderUnknown)
                completed.complete(listed[n]);
        },
        [&] { completed.take(FinderProgress::Stage::ReadingHeaders, total); });
    context.stats.headersRead = std::int64_t(listed.size());
    if (!listed.empty())
        context.stats.spread.push_back(timeline.spread(QStringLiteral("headers"), context.threads));
}

} // namespace finder
