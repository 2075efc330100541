#include "shell/BrowseDirectorysOnly.h"

#include "shell/SearchChoices.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QStyle>
#include <QTreeView>

namespace BrowseDirectorysOnly {
namespace {
QString g_browseStartFolder;
} // namespace

QString BrowseStartFolder()
{
    return g_browseStartFolder;
}

QString withoutTrailingSlash(const QString& path)
{
    QString result = QDir::cleanPath(path);
    while (result.size() > 1 && result.endsWith(QLatin1Char('/')))
        result.chop(1);
    return result;
}

void widenColumns(QFileDialog& dialog)
{
    // The detail view's columns open at widths that cut "Date Modified" and
    // its dates short: every column gets the width of its header or its
    // longest likely entry, whichever is more, and the names take the rest.
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view || !view->model())
        return;
    QHeaderView* header = view->header();
    const QFontMetrics headerFont(header->font());
    const QFontMetrics itemFont(view->font());
    const int margin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header)
        + header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + 12;
    const QString sampleDate
        = QLocale().toString(QDateTime(QDate(2026, 12, 28), QTime(23, 58)), QLocale::ShortFormat);
    // Size, Type and Date Modified hold at most these.
    const QStringList samples
        = {QString(), QStringLiteral("1023.9 KiB"), QStringLiteral("Folder"), sampleDate};
    int used = 0;
    for (int column = 1; column < header->count(); ++column) {
        const QString title = view->model()->headerData(column, Qt::Horizontal).toString();
        int width = headerFont.horizontalAdvance(title) + margin;
        if (column < samples.size())
            width = qMax(width, itemFont.horizontalAdvance(samples[column]) + margin);
        header->resizeSection(column, width);
        used += width;
    }
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setMinimumSectionSize(headerFont.horizontalAdvance(QStringLiteral("Name")) + margin);
    // Room for the names as well.
    const QWidget* sidebar = dialog.findChild<QWidget*>(QStringLiteral("sidebar"));
    const int wanted = used + itemFont.horizontalAdvance(QStringLiteral("A folder of a long name"))
        + (sidebar ? sidebar->sizeHint().width() : 0) + 80;
    if (dialog.width() < wanted)
        dialog.resize(wanted, dialog.height());
}

QString BrowseForFolder(
    QWidget* owner, const QString& title, const QString& startFolder, SearchChoices* choices)
{
    g_browseStartFolder = startFolder;

    QFileDialog dialog(owner, title);
    dialog.setObjectName(QStringLiteral("BrowseForFolderDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);

    // Preselect the start folder: open its parent with the folder selected.
    // A start folder that is gone (or was never a folder) gives the user's
    // home; left alone, the dialog would open at the working folder, which
    // means nothing to the user.
    QFileInfo start(withoutTrailingSlash(startFolder));
    if (!start.isAbsolute() || !start.isDir())
        start = QFileInfo(QDir::homePath());
    if (start.isDir() && !start.isRoot()) {
        dialog.setDirectory(start.absolutePath());
        dialog.selectFile(start.fileName());
    } else if (start.isDir()) {
        dialog.setDirectory(start.absoluteFilePath());
    }

    auto* status = new QLabel(&dialog);
    status->setObjectName(QStringLiteral("statusText"));
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status->setText(start.isDir() ? start.absoluteFilePath() : QString());
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(status, grid->rowCount(), 0, 1, grid->columnCount());
    QObject::connect(&dialog, &QFileDialog::currentChanged, status, [status](const QString& path) {
        if (QFileInfo(path).isDir())
            status->setText(withoutTrailingSlash(QFileInfo(path).absoluteFilePath()));
    });

    QCheckBox* everyPicture = nullptr;
    QCheckBox* subfolders = nullptr;
    QCheckBox* samePhoto = nullptr;
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()); grid && choices) {
        everyPicture
            = new QCheckBox(QStringLiteral("Compare every picture, whatever its size"), &dialog);
        everyPicture->setObjectName(QStringLiteral("chkEveryPicture"));
        everyPicture->setChecked(choices->everyPicture);
        subfolders = new QCheckBox(QStringLiteral("Include subfolders"), &dialog);
        subfolders->setObjectName(QStringLiteral("chkSubfolders"));
        subfolders->setChecked(choices->subfolders);
        samePhoto
            = new QCheckBox(QStringLiteral("Also find the same photo saved differently"), &dialog);
        samePhoto->setObjectName(QStringLiteral("chkSamePhoto"));
        samePhoto->setChecked(choices->samePhoto);
        for (QCheckBox* box : {everyPicture, subfolders, samePhoto})
            grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    }

    widenColumns(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    if (everyPicture && subfolders && samePhoto) {
        choices->everyPicture = everyPicture->isChecked();
        choices->subfolders = subfolders->isChecked();
        choices->samePhoto = samePhoto->isChecked();
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || !QFileInfo(chosen.first()).isDir())
        return QString();
    return withoutTrailingSlash(chosen.first());
}

} // namespace BrowseDirectorysOnly
