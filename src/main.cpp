// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Memory.h"
#include "core/RemoteCommand.h"
#include "platform/Platform.h"
#include "platform/TerminationSignals.h"
#include "ui/App.h"
#include "ui/SingleApplication.h"

#include <QCommandLineParser>
#include <QDebug>
#include <QFont>
#include <QFontDatabase>

#include <cstdio>
#include <optional>

namespace {

// Reads the command line: the exit status when the program is not to start (help, version, a wrong option).
std::optional<int> read_command_line(int argc, char** argv)
{
    // The parser names the program from the application object's arguments; a light one is enough here.
    int count = argc;
    const QCoreApplication arguments(count, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Copy several things one after another, then every Ctrl+V pastes the next one."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // Qt's own options are taken by the application object later.
    for (const char* name : {"platform", "display", "style", "qwindowgeometry", "qwindowtitle", "qwindowicon"}) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("A command to the running copy (see below); none starts the program."),
                                 QStringLiteral("[COMMAND [ARGS...]]"));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // A command's words are its own (`list --json`, `push -`): they go to the running copy unread by the parser.
    if (argc > 1 && argv[1][0] != '-')
        return SingleApplication::run_command_line(QCoreApplication::arguments().mid(1));
    const QString help_text = parser.helpText() + QLatin1Char('\n') + remote::help_text();
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "%s\n\n%s", qPrintable(parser.errorText()), qPrintable(help_text));
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(help_text), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "Unexpected argument: %s\n\n%s", qPrintable(parser.positionalArguments().first()),
                     qPrintable(help_text));
        return 2;
    }
    return std::nullopt;
}

// Names the road pastes are followed on, once at start: a Wayland session only learns of pastes in Wayland programs
// where the clipboard source tells of the requests it serves.
void tell_about_wayland(App& app)
{
    const ClipboardSource& source = *app.clipboard_source();
    const QString text =
        source.tells_served_pastes()
            ? QStringLiteral("Wayland session: every paste takes the next item, followed %1.").arg(source.paste_road())
            : QStringLiteral("This is a Wayland session: pastes cannot be followed here, and Stackpaste pastes only "
                             "into X11 programs.");
    qDebug().noquote() << text;
    app.show_tray_message(QStringLiteral("Stackpaste"), text, QSystemTrayIcon::Information);
}

} // namespace

int main(int argc, char** argv)
{
    memory::tune_allocator();
    // No periodic polling of network bearers.
    qputenv("QT_BEARER_POLL_TIMEOUT", QByteArray::number(-1));
    // The program draws nothing with OpenGL, but Qt's X11 platform loads the GL driver (with Mesa, an LLVM of 40 MiB)
    // for the first window it shows unless told not to.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QCoreApplication::setApplicationName(QStringLiteral("Stackpaste"));
    QCoreApplication::setOrganizationName(QStringLiteral("Halcyon Works"));
    QCoreApplication::setApplicationVersion(QStringLiteral(STACKPASTE_VERSION));
    if (const std::optional<int> status = read_command_line(argc, argv))
        return *status;

    // The X11 backend's key interception and global shortcuts: in a Wayland session the program runs through XWayland.
    const bool wayland = needs_x11_platform() && is_wayland_session();
    if (wayland && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");

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
    if (wayland)
        tell_about_wayland(app);

    // A font of our own, should one ever be shipped among the resources; today there is none and Qt's stays.
    if (QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Roboto-Regular.ttf")) != -1)
        QApplication::setFont(QFont(QStringLiteral("MyFont"), -1, -1, false));

    QObject::connect(&application, &QCoreApplication::aboutToQuit, &app, &App::quit);
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&application, &SingleApplication::show_up, &app, &App::open_app);
    QObject::connect(&application, &SingleApplication::command_received, &app, &App::serve_command);
    return application.exec();
}
