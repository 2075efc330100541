#pragma once
// The search window: several folders, each with a "Protected" box, patterns
// left out, the smallest size, and the subfolder and same-photo boxes. It
// only holds the choices; the main window stores them and searches.

#include "shell/FolderSearchChoices.h"
#include "shell/SearchChoices.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

class frmFolderSearch : public QDialog {
    Q_OBJECT
public:
    // pickFolder asks for a folder to add ("" when cancelled).
    frmFolderSearch(const FolderSearchChoices& choices, const SearchChoices& boxes,
        std::function<QString()> pickFolder, QWidget* parent = nullptr);

    FolderSearchChoices choices() const;
    SearchChoices boxes() const; // the boxes given, with this window's two
    void addFolder(const QString& folder);

    // Not while a choice does not read: the window says why instead.
    void accept() override;
    QLabel* lblProblem() const { return m_problem; }

private:
    void addPicked();
    void removeSelected();
    void updateButtons();

    SearchChoices m_boxes;
    std::function<QString()> m_pickFolder;
    QTreeWidget* m_folders = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QPlainTextEdit* m_excludes = nullptr;
    QLineEdit* m_minimumSize = nullptr;
    QCheckBox* m_subfolders = nullptr;
    QCheckBox* m_samePhoto = nullptr;
    QPushButton* m_search = nullptr;
    QLabel* m_problem = nullptr;
};
