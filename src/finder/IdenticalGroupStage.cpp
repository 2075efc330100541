#include "finder/PictureTypes.h"
#include "finder/SearchStages.h"

#include <algorithm>

namespace finder {

namespace {

std::int64_t totalSize(const DuplicateGroup& group)
{
    std::int64_t total = 0;
    for (const FoundFile& file : group.files)
        total += file.identity.size;
    return total;
}

} // namespace

void groupIdentical(FileTable& files, FinderResult& result)
{
    std::vector<FileId> fingerprinted;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileRecord& record = files[i];
        if (record.state == FileState::Fingerprinted) {
            fingerprinted.push_back(FileId(i));
        } else if (record.state != FileState::Unreadable) {
            continue;
        } else if (!record.pictureName && record.type == decoding::PictureType::Unknown
            && record.reason == kNotAPicture) {
            // Examined only because every name was asked for, and no
            // picture: no fault of the file, so it is counted, not listed.
            ++result.filesNotPictures;
        } else {
            result.unreadable.push_back(
                {record.path, record.reason, record.identity.size, finder::typeName(record.type)});
        }
    }
    std::stable_sort(fingerprinted.begin(), fingerprinted.end(),
        [&](FileId a, FileId b) { return files[a].fingerprint < files[b].fingerprint; });
    // Each group beside the ids of its files, so that the rows learn their
    // group's place once the groups are in their order.
    std::vector<std::pair<DuplicateGroup, std::vector<FileId>>> groups;
    for (std::size_t first = 0; first < fingerprinted.size();) {
        std::size_t end = first + 1;
        const PixelFingerprint& print = files[fingerprinted[first]].fingerprint;
        while (end < fingerprinted.size() && files[fingerprinted[end]].fingerprint == print)
            ++end;
        if (end - first > 1) {
            DuplicateGroup group;
            group.width = print.width;
            group.height = print.height;
            group.frames = print.frames;
            std::vector<FileId> ids;
            for (std::size_t k = first; k < end; ++k) {
                const FileRecord& record = files[fingerprinted[k]];
                group.files.push_back(
                    {record.path, record.identity, finder::typeName(record.type)});
                ids.push_back(fingerprinted[k]);
            }
            groups.emplace_back(std::move(group), std::move(ids));
        }
        first = end;
    }
    std::stable_sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) {
        const std::int64_t sizeA = totalSize(a.first);
        const std::int64_t sizeB = totalSize(b.first);
        if (sizeA != sizeB)
            return sizeA > sizeB;
        return a.first.files.front().path < b.first.files.front().path;
    });
    for (auto& [group, ids] : groups) {
        for (FileId id : ids)
            files[id].identicalGroup = int(result.groups.size());
        result.groups.push_back(std::move(group));
    }
    std::sort(result.unreadable.begin(), result.unreadable.end(),
        [](const UnreadableFile& a, const UnreadableFile& b) { return a.path < b.path; });
    result.filesExamined = std::int64_t(files.size());
}

} // namespace finder
