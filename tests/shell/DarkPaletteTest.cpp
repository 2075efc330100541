// Every window under a dark desktop palette (Fusion, light text on dark
// grounds): each text a window shows keeps a contrast of at least 4.5 to 1
// against the ground it is drawn on. A window that fixes a ground for a light
// palette must fix its text with it, or the desktop's light text lands on it.
// Each window's picture is written to <build>/dark-palette/<case>.png.
#include "FakeDesktop.h"
#include "ShellTestSupport.h"

#include "handling/frmInfo.h"
#include "review/frmReview.h"
#include "shell/BrowseDirectorysOnly.h"
#include "shell/Form1.h"
#include "shell/SearchChoices.h"
#include "shell/basMsgBoxEx.h"
#include "update/frmUpdate.h"

#include "controls/chameleonButton.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <QTextEdit>
#include <QTimer>

#include <cmath>
#include <functional>

namespace {

QPalette darkPalette()
{
    QPalette p;
    const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(52, 52, 56));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(60, 60, 64));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(90, 90, 96));
    p.setColor(QPalette::Midlight, QColor(75, 75, 80));
    p.setColor(QPalette::Mid, QColor(40, 40, 42));
    p.setColor(QPalette::Dark, QColor(25, 25, 26));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(38, 110, 190));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
    p.setColor(QPalette::Link, QColor(110, 170, 255));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(140, 140, 140));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(140, 140, 140));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(140, 140, 140));
    return p;
}

double luminance(const QColor& c)
{
    auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The ground a widget's text lands on when the widget paints none of its own:
// the nearest widget that fills its background, or the window.
QColor groundBehind(const QWidget* w)
{
    for (const QWidget* at = w; at; at = at->parentWidget()) {
        if (at->autoFillBackground() || at->isWindow())
            return at->palette().color(at->backgroundRole());
    }
    return w->palette().color(QPalette::Window);
}

struct TextOnGround {
    QString what;
    QColor text;
    QColor ground;
};

// Every text a window shows, with the colours a Qt style draws it in. The
// custom button paints its own face and caption and is left as it is.
QList<TextOnGround> textsOf(QWidget* window)
{
    QList<TextOnGround> texts;
    const auto group
        = [](const QWidget* w) { return w->isEnabled() ? QPalette::Active : QPalette::Disabled; };
    auto describe = [](const QWidget* w, const QString& text) {
        return QStringLiteral("%1 '%2' \"%3\"")
            .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), text.left(40));
    };
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        // Disabled controls need no contrast (they say so by fading).
        if (!w->isVisibleTo(window) || !w->isEnabled() || qobject_cast<chameleonButton*>(w))
            continue;
        const QPalette& p = w->palette();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (!label->text().isEmpty())
                texts.append({describe(w, label->text()),
                    p.color(group(w), label->foregroundRole()), groundBehind(w)});
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (button->text().isEmpty())
                continue;
            const bool ownFace = w->inherits("QPushButton") || w->inherits("QToolButton");
            texts.append({describe(w, button->text()),
                p.color(group(w), ownFace ? QPalette::ButtonText : QPalette::WindowText),
                ownFace ? p.color(group(w), QPalette::Button) : groundBehind(w)});
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            texts.append({describe(w, combo->currentText()),
                p.color(group(w), combo->isEditable() ? QPalette::Text : QPalette::ButtonText),
                p.color(group(w), combo->isEditable() ? QPalette::Base : QPalette::Button)});
        } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)
            || qobject_cast<QTextEdit*>(w)) {
            texts.append({describe(w, QString()), p.color(group(w), QPalette::Text),
                p.color(group(w), QPalette::Base)});
        } else if (auto* header = qobject_cast<QHeaderView*>(w)) {
            texts.append({describe(w, QStringLiteral("header")),
                header->palette().color(group(w), QPalette::ButtonText),
                header->palette().color(group(w), QPalette::Button)});
        } else if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
            texts.append({describe(w, QStringLiteral("items")), p.color(group(w), QPalette::Text),
                p.color(group(w), QPalette::Base)});
            if (view->alternatingRowColors())
                texts.append({describe(w, QStringLiteral("alternate rows")),
                    p.color(group(w), QPalette::Text), p.color(group(w), QPalette::AlternateBase)});
            texts.append({describe(w, QStringLiteral("selected items")),
                p.color(group(w), QPalette::HighlightedText),
                p.color(group(w), QPalette::Highlight)});
            // Colours the model gives its items itself.
            if (QAbstractItemModel* model = view->model()) {
                for (int row = 0; row < std::min(model->rowCount(), 20); ++row) {
                    for (int column = 0; column < model->columnCount(); ++column) {
                        const QModelIndex index = model->index(row, column);
                        const QVariant fore = model->data(index, Qt::ForegroundRole);
                        const QVariant back = model->data(index, Qt::BackgroundRole);
                        if (fore.isValid() || back.isValid())
                            texts.append({describe(w, index.data().toString()),
                                fore.isValid() ? fore.value<QBrush>().color()
                                               : p.color(QPalette::Text),
                                back.isValid() ? back.value<QBrush>().color()
                                               : p.color(QPalette::Base)});
                    }
                }
            }
        } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
            if (!box->title().isEmpty())
                texts.append({describe(w, box->title()), p.color(group(w), QPalette::WindowText),
                    groundBehind(w)});
        }
    }
    return texts;
}

void writePicture(QWidget* window, const QString& name)
{
    const QString folder = QStringLiteral(CORVANE_BIN_DIR "/../dark-palette");
    QDir().mkpath(folder);
    window->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// Runs `inspect` on the modal window `open` shows, then closes it.
void whileModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inspect)
{
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || seen)
            return;
        seen = true;
        QCoreApplication::processEvents();
        inspect(modal);
        modal->close();
    });
    poll.start();
    open();
    poll.stop();
    EXPECT_TRUE(seen) << "the modal window never showed";
}

struct WindowCase {
    const char* name;
};

class DarkPaletteTest : public TemporarySettingsTest,
                        public ::testing::WithParamInterface<WindowCase> {
protected:
    void SetUp() override
    {
        TemporarySettingsTest::SetUp();
        m_style = QApplication::style()->name();
        m_palette = QApplication::palette();
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(darkPalette());
        ASSERT_TRUE(m_pictures.isValid());
        for (const char* sub : {"2019", "backup", "holiday", "phone"})
            ASSERT_TRUE(QDir().mkpath(folder() + QLatin1Char('/') + QLatin1String(sub)));
        m_window = std::make_unique<Form1>(&m_desktop, QStringLiteral(CORVANE_BIN_DIR));
        m_window->Form_Load();
    }

    void TearDown() override
    {
        if (frmInfo* info = frmInfo::existing())
            info->close();
        if (frmUpdate* update = frmUpdate::instance())
            update->close();
        QCoreApplication::processEvents();
        m_window.reset();
        QApplication::setStyle(QStyleFactory::create(m_style));
        QApplication::setPalette(m_palette);
    }

    void expectReadable(QWidget* window)
    {
        writePicture(window, QString::fromLatin1(GetParam().name));
        const QList<TextOnGround> texts = textsOf(window);
        EXPECT_FALSE(texts.isEmpty()) << "no text found to check";
        for (const TextOnGround& t : texts) {
            EXPECT_GE(contrast(t.text, t.ground), 4.5)
                << t.what.toStdString() << ": " << t.text.name().toStdString() << " on "
                << t.ground.name().toStdString();
        }
    }

    FinderResult twoCopies()
    {
        QImage picture(12, 9, QImage::Format_RGB32);
        picture.fill(qRgb(200, 120, 40));
        FinderResult result;
        result.folders = {QFile::encodeName(folder())};
        DuplicateGroup group;
        group.width = 12;
        group.height = 9;
        for (const char* name : {"a.png", "b.png"}) {
            const QString path = folder() + QLatin1Char('/') + QLatin1String(name);
            picture.save(path);
            FoundFile file;
            file.path = QFile::encodeName(path);
            file.identity.size = QFileInfo(path).size();
            file.type = QStringLiteral("PNG");
            group.files.push_back(file);
        }
        result.groups.push_back(group);
        result.filesExamined = 2;
        return result;
    }

    QString folder() const { return m_pictures.filePath(QStringLiteral("Pictures")); }

    QString m_style;
    QPalette m_palette;
    QTemporaryDir m_pictures{QDir::tempPath() + QStringLiteral("/home-XXXXXX")};
    FakeDesktop m_desktop;
    std::unique_ptr<Form1> m_window;
};

TEST_P(DarkPaletteTest, EveryTextIsReadable)
{
    const QString name = QString::fromLatin1(GetParam().name);
    if (name == QLatin1String("MainWindow")) {
        // A pair on show: the file names above the pictures, the folder below.
        QImage picture(160, 120, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(40 + x, 60 + y, 200 - x / 2));
        ASSERT_TRUE(picture.save(folder() + QStringLiteral("/beach.bmp")));
        ASSERT_TRUE(picture.save(folder() + QStringLiteral("/beach copy.bmp")));
        m_window->searchFolder(folder());
        ASSERT_EQ(m_window->lblPic1()->text(), QStringLiteral("beach copy.bmp"));
        QCoreApplication::processEvents();
        expectReadable(m_window.get());
    } else if (name == QLatin1String("FolderPicker")) {
        SearchChoices choices;
        whileModal(
            [&] {
                BrowseDirectorysOnly::BrowseForFolder(m_window.get(),
                    QStringLiteral("Select A Directory"), folder() + QStringLiteral("/holiday"),
                    &choices);
            },
            [&](QWidget* picker) { expectReadable(picker); });
    } else if (name == QLatin1String("MessageBox")) {
        whileModal(
            [&] {
                basMsgBoxEx::MsgBoxEx(m_window.get(), QStringLiteral("Folder not found: /nowhere"),
                    QStringLiteral("Corvane"), basMsgBoxEx::kStyleInformation, 400, 300);
            },
            [&](QWidget* box) { expectReadable(box); });
    } else if (name == QLatin1String("InfoWindow")) {
        frmInfo* info = frmInfo::instance();
        info->beginReport(m_window.get());
        info->setReport(QStringLiteral("a.png\n  12 x 9 pixels, 24 bits\n  PNG, 120 bytes"));
        QCoreApplication::processEvents();
        expectReadable(info);
    } else if (name == QLatin1String("UpdateWindow")) {
        frmUpdate::showFor(
            m_window.get(), QStringLiteral("1.20"), [](const QUrl&) { return true; });
        QCoreApplication::processEvents();
        ASSERT_NE(frmUpdate::instance(), nullptr);
        expectReadable(frmUpdate::instance());
    } else if (name == QLatin1String("ReviewWindow")) {
        frmReview review(twoCopies());
        review.show();
        QCoreApplication::processEvents();
        expectReadable(&review);
    }
}

const WindowCase kWindows[] = {
    {"MainWindow"},
    {"FolderPicker"},
    {"MessageBox"},
    {"InfoWindow"},
    {"UpdateWindow"},
    {"ReviewWindow"},
};

INSTANTIATE_TEST_SUITE_P(Windows, DarkPaletteTest, ::testing::ValuesIn(kWindows),
    [](const ::testing::TestParamInfo<WindowCase>& info) { return std::string(info.param.name); });

} // namespace
