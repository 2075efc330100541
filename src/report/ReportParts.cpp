#include "report/ReportParts.h"

namespace findreport::detail {

QByteArray number(double value, int decimals)
{
    return QByteArray::number(value, 'f', decimals);
}

similar::PhotoDifference differenceOf(const SamePhotoMember& member, const SamePhotoMember& best)
{
    if (member.difference)
        return *member.difference;
    similar::PhotoDifference same;
    same.ssim = 1.0;
    same.comparedWidth = best.width;
    same.comparedHeight = best.height;
    return same;
}

std::array<std::uint32_t, 4> regionInReference(
    const similar::PhotoDifference& d, const SamePhotoMember& best)
{
    if (d.comparedWidth == 0 || d.comparedHeight == 0)
        return {};
    const double sx = double(best.width) / d.comparedWidth;
    const double sy = double(best.height) / d.comparedHeight;
    const auto& r = d.local.region;
    return {std::uint32_t(r[0] * sx), std::uint32_t(r[1] * sy), std::uint32_t(r[2] * sx + 0.5),
        std::uint32_t(r[3] * sy + 0.5)};
}

std::array<std::pair<const char*, const std::vector<SamePhotoGroup>*>, 2> groupKinds(
    const FinderResult& result)
{
    return {{{"same photo", &result.samePhotoGroups}, {"edited", &result.editedGroups}}};
}

} // namespace findreport::detail
