// SPDX-License-Identifier: GPL-3.0-or-later
// The spells of the real program, typed through the tray menu's "Hidden features" entry: trayer is the tray host,
// and a stand-in xdg-open first on the program's PATH records every address the program asks the desktop to open.
#include "E2eSupport.h"

#include <QFileInfo>
#include <QSettings>

using namespace e2e;

namespace {

// The spell window, 170 x 90 pixels.
qulonglong spell_window(int timeout_ms = 10000)
{
    return our_window([](const QRect& rect) { return rect.size() == QSize(170, 90); }, timeout_ms);
}

// Leaves a screenshot of the whole screen in $STACKPASTE_SHOTS, when that names a folder.
void screenshot(const QString& name)
{
    const QString folder = qEnvironmentVariable("STACKPASTE_SHOTS");
    if (!folder.isEmpty())
        run(QStringLiteral("import"), {"-window", "root", folder + QLatin1Char('/') + name + QStringLiteral(".png")});
}

} // namespace

class TestSpellsE2e : public QObject {
    Q_OBJECT

    QTemporaryDir m_bin;
    QString record_path() const { return m_bin.filePath(QStringLiteral("opened")); }
    QByteArray opened() const
    {
        QFile file(record_path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A portable copy with its help page beside it and the stand-in xdg-open on its PATH.
    void prepare(Stackpaste& app, const QByteArray& settings)
    {
        const QString page = QFileInfo(QStringLiteral(STACKPASTE_EXECUTABLE)).dir().filePath("hidden-features.html");
        QVERIFY2(QFile::copy(page, app.folder() + QStringLiteral("/hidden-features.html")), qPrintable(page));
        app.set_environment(QStringLiteral("PATH"), m_bin.path() + QLatin1Char(':') + qEnvironmentVariable("PATH"));
        QFile file(app.settings_path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\nSaveVersion=2\nIsFirstStart=false\n" + settings);
    }

    // Right click on the tray icon, then the menu's "&Hidden features" by its mnemonic.
    static void choose_hidden_features()
    {
        const qulonglong icon = tray_icon();
        QVERIFY2(icon, "no tray icon in the tray");
        click(icon, 3);
        QVERIFY(our_window(
            [](const QRect& rect) { return rect.width() > 60 && rect.height() > 60 && rect.width() != 420; }));
        xdotool({"key", "h"});
    }

    static void cast(Stackpaste& app, const QString& spell)
    {
        const qulonglong window = spell_window();
        QVERIFY2(window, "no spell window");
        xdotool({"windowfocus", "--sync", QString::number(window)});
        xdotool({"type", "--delay", "20", spell});
        screenshot(QStringLiteral("spell-window"));
        const int before = count(app.output(), "Hidden feature spell:");
        xdotool({"key", "Return"});
        QTRY_COMPARE_WITH_TIMEOUT(count(app.output(), "Hidden feature spell:"), before + 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!spell_window(200), 10000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QFile script(m_bin.filePath(QStringLiteral("xdg-open")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record_path().toUtf8() + "'\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void init() { QFile::remove(record_path()); }

    // The first choice opens the help page beside the program; the second the spell window, whose spell lands in the
    // settings file while the program runs.
    void help_first_then_a_spell_with_return()
    {
        const auto tray = start_tray();
        Stackpaste app;
        prepare(app, "StartAtStartup=false\n");
        QVERIFY(app.start());

        choose_hidden_features();
        QTRY_VERIFY_WITH_TIMEOUT(!opened().isEmpty(), 10000);
        QCOMPARE(opened().trimmed(),
                 QUrl::fromLocalFile(app.folder() + QStringLiteral("/hidden-features.html")).toEncoded());
        QVERIFY(!spell_window(500));

        choose_hidden_features();
        cast(app, QStringLiteral("off monitor 2"));
        QVERIFY(app.wait_for_output("Notification: \"Monitor 2 disabled\""));
        QTRY_COMPARE_WITH_TIMEOUT(
            QSettings(app.settings_path(), QSettings::IniFormat).value("IgnoreMonitors").toString(),
            QStringLiteral("2:"), 10000);
        QCOMPARE(QSettings(app.settings_path(), QSettings::IniFormat).value("HiddenFeaturesHelpAlreadyShown").toBool(),
                 true);
        QCOMPARE(opened().count('\n'), 1);
    }

    void spells_remove_the_autostart_entry_and_name_an_invalid_one()
    {
        const auto tray = start_tray();
        Stackpaste app;
        prepare(app, "StartAtStartup=true\nHiddenFeaturesHelpAlreadyShown=true\n");
        QVERIFY(app.start());
        const QString entry = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/Stackpaste.desktop");
        QVERIFY(QFile::exists(entry));

        choose_hidden_features();
        cast(app, QStringLiteral("disable start at startup"));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(entry), 10000);
        QVERIFY(app.wait_for_output("Notification: \"Start at startup disabled\""));

        choose_hidden_features();
        cast(app, QStringLiteral("on monitor two"));
        QVERIFY(app.wait_for_output("Notification: \"Invalid spell\""));
        QVERIFY(app.output().contains("Invalid spell: \"on monitor two\""));
        // The tray's message is a window of ours beside the tray.
        QVERIFY(our_window([](const QRect& rect) { return rect.width() > 200 && rect.width() != 420; }));
        screenshot(QStringLiteral("notification"));
        QVERIFY(opened().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSpellsE2e)
#include "TestSpellsE2e.moc"
