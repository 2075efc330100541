#include "shell/frmFolderSearch.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
enum Column { PathColumn, ProtectedColumn };
}

frmFolderSearch::frmFolderSearch(const FolderSearchChoices& choices, const SearchChoices& boxes,
    std::function<QString()> pickFolder, QWidget* parent)
    : QDialog(parent)
    , m_boxes(boxes)
    , m_pickFolder(std::move(pickFolder))
{
    setObjectName(QStringLiteral("frmFolderSearch"));
    setWindowTitle(QStringLiteral("Search folders"));

    auto* foldersLabel = new QLabel(QStringLiteral("&Folders to search:"), this);
    m_folders = new QTreeWidget(this);
    m_folders->setObjectName(QStringLiteral("lstFolders"));
    m_folders->setColumnCount(2);
    m_folders->setHeaderLabels({QStringLiteral("Folder"), QStringLiteral("Protected")});
    m_folders->setRootIsDecorated(false);
    m_folders->header()->setStretchLastSection(false);
    m_folders->header()->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    m_folders->header()->setSectionResizeMode(ProtectedColumn, QHeaderView::ResizeToContents);
    m_folders->headerItem()->setToolTip(ProtectedColumn,
        QStringLiteral("Files in a protected folder are found, but never marked or acted on"));
    foldersLabel->setBuddy(m_folders);
    m_add = new QPushButton(QStringLiteral("&Add..."), this);
    m_add->setObjectName(QStringLiteral("cmdAddFolder"));
    m_remove = new QPushButton(QStringLiteral("&Remove"), this);
    m_remove->setObjectName(QStringLiteral("cmdRemoveFolder"));
    auto* folderButtons = new QVBoxLayout;
    folderButtons->addWidget(m_add);
    folderButtons->addWidget(m_remove);
    folderButtons->addStretch();
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folders, 1);
    folderRow->addLayout(folderButtons);

    m_excludes = new QPlainTextEdit(this);
    m_excludes->setObjectName(QStringLiteral("txtExcludes"));
    m_excludes->setPlaceholderText(QStringLiteral("**/Thumbnails/**\n**/cache/**"));
    m_excludes->setToolTip(QStringLiteral("One pattern a line, on the path below each folder: "
                                          "* within one name, ** across folders"));
    m_excludes->setTabChangesFocus(true);
    m_excludes->setFixedHeight(m_excludes->fontMetrics().lineSpacing() * 4 + 12);
    m_minimumSize = new QLineEdit(this);
    m_minimumSize->setObjectName(QStringLiteral("txtMinimumSize"));
    m_minimumSize->setPlaceholderText(QStringLiteral("0"));
    m_minimumSize->setToolTip(QStringLiteral("Bytes, or with K, M or G: 200K leaves icons out"));
    m_subfolders = new QCheckBox(QStringLiteral("Include &subfolders"), this);
    m_subfolders->setObjectName(QStringLiteral("chkSubfolders"));
    m_samePhoto
        = new QCheckBox(QStringLiteral("Also find the same &photo saved differently"), this);
    m_samePhoto->setObjectName(QStringLiteral("chkSamePhoto"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Leave out:"), m_excludes);
    form->addRow(QStringLiteral("S&mallest size:"), m_minimumSize);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_search = buttons->addButton(QStringLiteral("Search"), QDialogButtonBox::AcceptRole);
    m_search->setObjectName(QStringLiteral("cmdSearch"));
    m_search->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(foldersLabel);
    layout->addLayout(folderRow, 1);
    layout->addLayout(form);
    layout->addWidget(m_subfolders);
    layout->addWidget(m_samePhoto);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("lblProblem"));
    m_problem->setWordWrap(true);
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->hide();
    layout->addWidget(m_problem);
    layout->addWidget(buttons);

    for (const FolderSearchChoices::Folder& folder : choices.folders) {
        addFolder(folder.path);
        m_folders->topLevelItem(m_folders->topLevelItemCount() - 1)
            ->setCheckState(ProtectedColumn, folder.isProtected ? Qt::Checked : Qt::Unchecked);
    }
    m_excludes->setPlainText(choices.excludes.join(QLatin1Char('\n')));
    m_minimumSize->setText(choices.minimumSize);
    m_subfolders->setChecked(boxes.subfolders);
    m_samePhoto->setChecked(boxes.samePhoto);

    connect(m_add, &QPushButton::clicked, this, &frmFolderSearch::addPicked);
    connect(m_remove, &QPushButton::clicked, this, &frmFolderSearch::removeSelected);
    connect(m_folders, &QTreeWidget::itemSelectionChanged, this, &frmFolderSearch::updateButtons);
    connect(buttons, &QDialogButtonBox::accepted, this, &frmFolderSearch::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmFolderSearch::reject);
    updateButtons();
    resize(560, 420);
}

void frmFolderSearch::addFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(folder);
    for (int row = 0; row < m_folders->topLevelItemCount(); ++row)
        if (m_folders->topLevelItem(row)->text(PathColumn) == path)
            return;
    auto* item = new QTreeWidgetItem(m_folders);
    item->setText(PathColumn, path);
    item->setToolTip(PathColumn, path);
    item->setCheckState(ProtectedColumn, Qt::Unchecked);
    updateButtons();
}

FolderSearchChoices frmFolderSearch::choices() const
{
    FolderSearchChoices choices;
    for (int row = 0; row < m_folders->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = m_folders->topLevelItem(row);
        choices.folders.append(
            {item->text(PathColumn), item->checkState(ProtectedColumn) == Qt::Checked});
    }
    for (const QString& line : m_excludes->toPlainText().split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            choices.excludes.append(line.trimmed());
    choices.minimumSize = m_minimumSize->text().trimmed();
    return choices;
}

SearchChoices frmFolderSearch::boxes() const
{
    SearchChoices boxes = m_boxes;
    boxes.subfolders = m_subfolders->isChecked();
    boxes.samePhoto = m_samePhoto->isChecked();
    return boxes;
}

void frmFolderSearch::accept()
{
    const QString problem = choices().problem();
    if (!problem.isEmpty()) {
        m_problem->setText(problem);
        m_problem->show();
        return;
    }
    QDialog::accept();
}

void frmFolderSearch::addPicked()
{
    const QString folder = m_pickFolder ? m_pickFolder() : QString();
    if (!folder.isEmpty())
        addFolder(folder);
}

void frmFolderSearch::removeSelected()
{
    qDeleteAll(m_folders->selectedItems());
    updateButtons();
}

void frmFolderSearch::updateButtons()
{
    m_remove->setEnabled(!m_folders->selectedItems().isEmpty());
}
