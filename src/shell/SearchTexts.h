#pragma once
// The main window's words about a search: the caption under the progress bar
// and the closing and cancel messages, for the neighbour search, the
// whole-folder search and the pair walk over its groups alike.

#include "search/ComparisonView.h"

#include <QString>

namespace SearchTexts {

// The closing message. Files that could not be read (so some of their pairs
// were never compared) and candidates left out for their names each add a line.
QString closingText(const SearchTally& tally);
// The caption of lblFiles during a search; searchFolder ends with "/".
QString filesCaption(const QString& searchFolder, int count);
QString canceledText();

} // namespace SearchTexts
