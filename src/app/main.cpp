#include "shell/Form1.h"
#include "shell/SystemDesktop.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    SystemDesktop desktop;
    Form1 window(&desktop);
    window.Form_Load();
    return app.exec();
}
