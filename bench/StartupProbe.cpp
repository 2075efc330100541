// Corvane's start-up up to the idle window, as a whole process: the same
// steps as the corvane program (application, desktop, Form1, Form_Load), but
// the process ends once the window has painted. Compared with BareWindow.
// scripts/bench runs it with a scratch settings folder and the update check
// pointed at a closed local port.
#include "QuitOnFirstPaint.h"
#include "shell/Form1.h"
#include "shell/SystemDesktop.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    SystemDesktop desktop;
    Form1 window(&desktop, QStringLiteral(CORVANE_BIN_DIR));
    QuitOnFirstPaint quit(&window);
    window.Form_Load();
    return app.exec();
}
