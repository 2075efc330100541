#include "shell/BrowseDirectorysOnly.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Runs `act` on the picker once it is open.
void whenPickerOpens(std::function<void(QFileDialog*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(dialog);
                return;
            }
        }
    });
    timer->start();
}

TEST(BrowseForFolder, ReturnsThePreselectedStartFolderWithoutTrailingSlash)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("my pics")));
    const QString start = root.path() + QStringLiteral("/my pics/");
    QString title;
    QString status;
    whenPickerOpens([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        status = dialog->findChild<QLabel*>(QStringLiteral("statusText"))->text();
        static_cast<QDialog*>(dialog)->accept();
    });
    const QString chosen = BrowseDirectorysOnly::BrowseForFolder(
        nullptr, QStringLiteral("Select A Directory"), start);
    EXPECT_EQ(title, QStringLiteral("Select A Directory"));
    EXPECT_EQ(chosen, root.path() + QStringLiteral("/my pics"));
    EXPECT_EQ(status, root.path() + QStringLiteral("/my pics"));
}

// Every column of the detail view is wide enough for its header, and the
// dates for a date: "Date Modified" used to open cut short.
TEST(BrowseForFolder, EveryColumnHeaderIsReadable)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("photos")));
    QStringList cut;
    int columns = 0;
    whenPickerOpens([&](QFileDialog* dialog) {
        auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        if (view) {
            QHeaderView* header = view->header();
            const QFontMetrics metrics(header->font());
            columns = header->count();
            for (int i = 0; i < header->count(); ++i) {
                const QString title = view->model()->headerData(i, Qt::Horizontal).toString();
                if (header->isSectionHidden(i)
                    || header->sectionSize(i) < metrics.horizontalAdvance(title) + 16
                    || header->sectionPosition(i) + header->sectionSize(i)
                        > header->viewport()->width())
                    cut << title;
            }
        }
        static_cast<QDialog*>(dialog)->reject();
    });
    BrowseDirectorysOnly::BrowseForFolder(
        nullptr, QStringLiteral("Select A Directory"), root.path() + QStringLiteral("/photos"));
    EXPECT_EQ(columns, 4);
    EXPECT_TRUE(cut.isEmpty()) << cut.join(QStringLiteral(", ")).toStdString();
}

TEST(BrowseForFolder, StartFolderThatIsNotThereOpensAtHome)
{
    QTemporaryDir root;
    const QString file = root.path() + QStringLiteral("/photo.jpg");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // Working in another folder than home, so that falling back to the
    // working folder shows.
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("work/pics")));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.path() + QStringLiteral("/work")));
    const QString home = BrowseDirectorysOnly::withoutTrailingSlash(QDir::homePath());
    const QString starts[] = {
        root.path() + QStringLiteral("/gone/"), // removed since the last search
        root.path() + QStringLiteral("/gone"),
        QString(), // nothing stored
        file, // a file, not a folder
        QStringLiteral("pics"), // relative: must not be taken from the working folder
        QStringLiteral("/no such/folder/"),
    };
    for (const QString& start : starts) {
        QString status;
        whenPickerOpens([&](QFileDialog* dialog) {
            status = dialog->findChild<QLabel*>(QStringLiteral("statusText"))->text();
            static_cast<QDialog*>(dialog)->accept(); // Choose at once
        });
        const QString chosen = BrowseDirectorysOnly::BrowseForFolder(
            nullptr, QStringLiteral("Select A Directory"), start);
        EXPECT_EQ(chosen.toStdString(), home.toStdString()) << "start " << start.toStdString();
        EXPECT_EQ(status.toStdString(), home.toStdString()) << "start " << start.toStdString();
    }
    QDir::setCurrent(previous);
}

TEST(BrowseForFolder, CancelGivesEmptyTextAndKeepsTheStartFolder)
{
    QTemporaryDir root;
    whenPickerOpens([](QFileDialog* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    EXPECT_EQ(BrowseDirectorysOnly::BrowseForFolder(
                  nullptr, QStringLiteral("Select A Directory"), root.path() + QLatin1Char('/')),
        QString());
    EXPECT_EQ(BrowseDirectorysOnly::BrowseStartFolder(), root.path() + QLatin1Char('/'));
}

TEST(BrowseForFolder, TrailingSlashIsRemovedExceptForTheRoot)
{
    EXPECT_EQ(BrowseDirectorysOnly::withoutTrailingSlash(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(BrowseDirectorysOnly::withoutTrailingSlash(QStringLiteral("/home/a/")),
        QStringLiteral("/home/a"));
    EXPECT_EQ(BrowseDirectorysOnly::withoutTrailingSlash(QStringLiteral("/home/a b")),
        QStringLiteral("/home/a b"));
}

} // namespace
