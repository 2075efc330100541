// The text form and the lines corvane-find writes to standard error.
#include "report/ReportParts.h"
#include "report/ReportWriters.h"

#include "finder/PathText.h"

namespace findreport {

using detail::groupKinds;
using detail::number;
using detail::regionInReference;

namespace {

// What the text form says after a path: "protected", "ignored" or both.
QByteArray flagsText(const FoundFile& file)
{
    QByteArray text;
    if (file.isProtected)
        text += "protected";
    if (file.ignored)
        text += text.isEmpty() ? "ignored" : ", ignored";
    return text;
}

QByteArray signedNumber(double value, int decimals)
{
    return (value >= 0 ? "+" : "") + number(value, decimals);
}

QByteArray differenceText(const similar::PhotoDifference& d, const SamePhotoMember& best)
{
    const auto region = regionInReference(d, best);
    return "ssim " + number(d.ssim, 4) + ", mean " + number(d.mean, 2) + ", max "
        + QByteArray::number(d.max) + ", local " + number(d.local.value, 1) + " of "
        + number(d.local.limit, 1) + " at " + QByteArray::number(region[0]) + ","
        + QByteArray::number(region[1]) + ", tone " + signedNumber(d.tone.mean[0], 1) + "/"
        + signedNumber(d.tone.mean[1], 1) + "/" + signedNumber(d.tone.mean[2], 1) + ", compared at "
        + QByteArray::number(d.comparedWidth) + " x " + QByteArray::number(d.comparedHeight);
}

// "1 file", "2 files": a count and a noun that agrees with it.
QString counted(std::int64_t count, const char* one, const char* many)
{
    return QString::number(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
}

} // namespace

QByteArray text(const FinderResult& result)
{
    QByteArray out;
    bool first = true;
    for (const DuplicateGroup& group : result.groups) {
        if (!first)
            out += '\n';
        first = false;
        if (result.samePhotoSearched)
            out += "identical, " + QByteArray::number(group.width) + " x "
                + QByteArray::number(group.height) + ":\n";
        for (const FoundFile& file : group.files) {
            out += pathtext::forText(file.path);
            const QByteArray flags = flagsText(file);
            if (!flags.isEmpty())
                out += "  (" + flags + ')';
            out += '\n';
        }
    }
    for (const auto& [kind, list] : groupKinds(result)) {
        for (const SamePhotoGroup& group : *list) {
            if (!first)
                out += '\n';
            first = false;
            out += QByteArray(kind) + ":\n";
            const bool edited = list == &result.editedGroups;
            const SamePhotoMember& best = group.members.front();
            for (const SamePhotoMember& member : group.members) {
                for (const FoundFile& file : member.files) {
                    out += pathtext::forText(file.path) + "  (" + QByteArray::number(member.width)
                        + " x " + QByteArray::number(member.height) + ", ";
                    const bool bestFile = !edited && group.bestFile >= 0
                        && &file == &best.files[std::size_t(group.bestFile)];
                    if (edited && &member == &best)
                        out += &file == &best.files.front() ? "edited from this"
                                                            : "identical to it";
                    else if (bestFile)
                        out += "best copy: " + group.bestBecause.toUtf8();
                    else if (group.bestFile < 0 && &file == &best.files.front())
                        out += group.bestBecause.toUtf8();
                    else if (&member == &best)
                        out += group.bestFile >= 0 ? "identical to the best copy"
                                                   : "identical to the first";
                    else
                        out += differenceText(*member.difference, best);
                    const QByteArray flags = flagsText(file);
                    if (!flags.isEmpty())
                        out += "; " + flags;
                    out += ")\n";
                }
            }
        }
    }
    return out;
}

QByteArray unreadableLines(const FinderResult& result)
{
    QByteArray out;
    for (const UnreadableFile& file : result.unreadable)
        out += "corvane-find: " + pathtext::forText(file.path) + ": " + file.reason.toUtf8() + '\n';
    return out;
}

QByteArray summaryLine(const FinderResult& result)
{
    std::int64_t grouped = 0;
    for (const DuplicateGroup& group : result.groups)
        grouped += std::int64_t(group.files.size());
    QString line = counted(result.filesExamined, "file", "files") + QStringLiteral(" examined: ")
        + counted(std::int64_t(result.groups.size()), "group", "groups")
        + QStringLiteral(" of identical pictures");
    if (grouped > 0)
        line += QStringLiteral(" (") + counted(grouped, "file", "files") + QLatin1Char(')');
    line += QStringLiteral(", %1 unreadable").arg(result.unreadable.size());
    if (result.filesNotPictures > 0)
        line += QStringLiteral(", ")
            + counted(result.filesNotPictures, "file not a picture", "files not pictures");
    const std::int64_t otherNames = result.filesNotExamined - result.filesTooSmall;
    if (otherNames > 0)
        line += QStringLiteral("; ") + counted(otherNames, "file", "files")
            + QStringLiteral(" not examined (names without a picture suffix; --any-name "
                             "examines them)");
    if (result.filesTooSmall > 0)
        line += QStringLiteral("; ") + counted(result.filesTooSmall, "file", "files")
            + QStringLiteral(" not examined (smaller than the minimum size)");
    if (result.groupsIgnored > 0)
        line += QStringLiteral("; ") + counted(result.groupsIgnored, "group", "groups")
            + QStringLiteral(" judged not duplicates left out (--show-ignored shows them)");
    return "corvane-find: " + line.toUtf8() + '\n';
}

QByteArray cacheNote(const QString& problem, bool usedAnyway)
{
    return "corvane-find: note: the fingerprint cache "
        + QByteArray(usedAnyway ? "was made anew: " : "was not used: ") + problem.toUtf8() + '\n';
}

} // namespace findreport
