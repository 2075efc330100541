#include "shell/SearchTexts.h"

namespace SearchTexts {

QString closingText(const SearchTally& tally)
{
    QString text = QStringLiteral("Compared %1 files.\r\n").arg(tally.compared);
    if (tally.deleted > 0)
        text += QStringLiteral("Deleted %1 duplicate(s).").arg(tally.deleted);
    else
        text += QStringLiteral("Found no duplicates.");
    // "No duplicates" is only as good as the files that could be read.
    if (tally.unreadable == 1)
        text += QStringLiteral("\r\n1 file could not be read.");
    else if (tally.unreadable > 1)
        text += QStringLiteral("\r\n%1 files could not be read.").arg(tally.unreadable);
    if (tally.skippedNames == 1)
        text += QStringLiteral("\r\n1 file was left out: its name is not valid UTF-8.");
    else if (tally.skippedNames > 1)
        text += QStringLiteral("\r\n%1 files were left out: their names are not valid UTF-8.")
                    .arg(tally.skippedNames);
    return text;
}

QString filesCaption(const QString& searchFolder, int count)
{
    return searchFolder + QStringLiteral(" (%1 files)").arg(count);
}

QString canceledText()
{
    return QStringLiteral("Search canceled.");
}

} // namespace SearchTexts
