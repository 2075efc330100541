// The reference for Corvane's start-up: a bare Qt window that does nothing,
// shown and ended on its first paint (see StartupProbe). With the argument
// "text" it also shows one line of text, so that the cost of bringing up the
// font system, which any window with a caption pays, can be told apart.
#include "QuitOnFirstPaint.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    // Corvane's own first size, so both paint the same area.
    window.resize(696, 398);
    if (argc > 1 && std::strcmp(argv[1], "text") == 0)
        new QLabel(QStringLiteral("Search"), &window);
    QuitOnFirstPaint quit(&window);
    window.show();
    return app.exec();
}
