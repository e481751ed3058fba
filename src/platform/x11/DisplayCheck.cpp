// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Platform.h"

#include <cstring>
#include <xcb/xcb.h>

namespace {

// The value after a Qt option such as "-platform" (Qt also takes it with two dashes), or null when absent.
const char* option_value(int argc, char** argv, const char* option)
{
    for (int i = 1; i + 1 < argc; ++i) {
        const char* argument = argv[i];
        if (std::strncmp(argument, "--", 2) == 0)
            ++argument;
        if (std::strcmp(argument, option) == 0)
            return argv[i + 1];
    }
    return nullptr;
}

} // namespace

QString display_problem(int argc, char** argv)
{
    const char* platform_option = option_value(argc, argv, "-platform");
    const QString platform =
        platform_option ? QString::fromLocal8Bit(platform_option) : qEnvironmentVariable("QT_QPA_PLATFORM");
    // Options may follow the name ("xcb:..."); this Qt picks xcb when nothing is set.
    const QString name = platform.section(QLatin1Char(':'), 0, 0);
    if (!name.isEmpty() && name != QLatin1String("xcb"))
        return QString();

    const char* display_option = option_value(argc, argv, "-display");
    const QByteArray display = display_option ? QByteArray(display_option) : qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("Stackpaste needs an X11 display, and DISPLAY is not set");
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool reachable = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (!reachable)
        return QStringLiteral("Stackpaste needs an X11 display, and none answers at DISPLAY=%1")
            .arg(QString::fromLocal8Bit(display));
    return QString();
}
