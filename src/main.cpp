// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Platform.h"
#include "platform/TerminationSignals.h"
#include "ui/App.h"
#include "ui/SingleApplication.h"

#include <QFont>
#include <QFontDatabase>

#include <cstdio>

int main(int argc, char** argv)
{
    // No periodic polling of network bearers.
    qputenv("QT_BEARER_POLL_TIMEOUT", QByteArray::number(-1));
    // The program draws nothing with OpenGL, but Qt's X11 platform loads the GL driver (with Mesa, an LLVM of 40 MiB)
    // for the first window it shows unless told not to.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QCoreApplication::setApplicationName(QStringLiteral("Stackpaste"));
    QCoreApplication::setOrganizationName(QStringLiteral("Halcyon Works"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.0.6"));

    // Without an X server Qt would abort with advice to reinstall; say what is missing instead.
    if (const QString problem = display_problem(argc, argv); !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
        return 2;
    }

    SingleApplication application(argc, argv);
    quit_on_termination_signals();
    Q_INIT_RESOURCE(images);

    App app;
    QApplication::setActiveWindow(&app);

    // A font of our own, should one ever be shipped among the resources; today there is none and Qt's stays.
    if (QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Roboto-Regular.ttf")) != -1)
        QApplication::setFont(QFont(QStringLiteral("MyFont"), -1, -1, false));

    QObject::connect(&application, &QCoreApplication::aboutToQuit, &app, &App::quit);
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&application, &SingleApplication::show_up, &app, &App::open_app);
    return application.exec();
}
