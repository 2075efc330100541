#pragma once
// What the report forms share: numbers as every form writes them, and the
// figures of a same-photo group's members as measured against its first one.

#include "finder/FinderResult.h"

#include <QByteArray>

#include <array>
#include <utility>
#include <vector>

namespace findreport::detail {

// A number with a fixed count of decimals, as every form writes it.
QByteArray number(double value, int decimals);

// The figures of a file other than a same-photo group's best copy: its
// member's difference, or none at all (0) for a file identical to the best copy.
similar::PhotoDifference differenceOf(const SamePhotoMember& member, const SamePhotoMember& best);

// The worst region, in the pixels of the best copy (the reference every
// member was measured against) rather than in the measured ones.
std::array<std::uint32_t, 4> regionInReference(
    const similar::PhotoDifference& d, const SamePhotoMember& best);

// The groups measured against a first member, by the kind each report names:
// the same photo, then edited copies.
std::array<std::pair<const char*, const std::vector<SamePhotoGroup>*>, 2> groupKinds(
    const FinderResult& result);

} // namespace findreport::detail
