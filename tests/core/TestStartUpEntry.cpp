// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/StartUpEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// HOME and XDG_CONFIG_HOME / XDG_DATA_HOME point into the test session's temporary folder.
class TestStartUpEntry : public QObject {
    Q_OBJECT

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void write(const QString& path, const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    static QString applications() { return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation); }
    static QString desktop() { return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation); }

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("Stackpaste"));
        QVERIFY2(qEnvironmentVariable("XDG_CONFIG_HOME").contains(QLatin1String("stackpaste-test")),
                 "run through scripts/test-session");
    }

    void entry_lies_in_the_autostart_folder_and_quotes_the_program()
    {
        QCOMPARE(start_up_entry_path(), qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/Stackpaste.desktop");
        const QString content = start_up_entry_content();
        QVERIFY(content.startsWith(QLatin1String("[Desktop Entry]\n")));
        QVERIFY(content.contains("\nExec=\"" + QCoreApplication::applicationFilePath() + "\"\n"));
    }

    // What a launcher reads back must be the program's path, whatever the folder names hold.
    void exec_value_survives_odd_folder_names_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("space") << "/opt/Stack paste/stackpaste"
                               << "\"/opt/Stack paste/stackpaste\"";
        // A lone % would be a field code: "%20" loses its "%2".
        QTest::newRow("percent") << "/home/u/Stack%20paste/sp"
                                 << "\"/home/u/Stack%%20paste/sp\"";
        // Inside the quotes: \$ and \\ and \"; then the value doubles each backslash.
        QTest::newRow("shell characters") << "/a/$HOME\\b\"c`d"
                                          << "\"/a/\\\\$HOME\\\\\\\\b\\\\\"c\\\\`d\"";
        // A line break must not end the line, or the rest of the path becomes a key of its own.
        QTest::newRow("line break") << "/a/b\nExec=/bin/evil"
                                    << "\"/a/b\\nExec=/bin/evil\"";
    }
    void exec_value_survives_odd_folder_names()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QCOMPARE(desktop_exec_value(program), exec);
    }

    void add_writes_only_when_the_content_differs()
    {
        const QString path = start_up_entry_path();
        QFile::remove(path);
        add_start_up_entry();
        QCOMPARE(read(path), start_up_entry_content().toUtf8());

        // Unchanged content is not rewritten: the file keeps its identity and time.
        const QDateTime written = QFileInfo(path).lastModified();
        QFile::setPermissions(path, QFile::ReadOwner); // a write would now have to replace the file
        const auto inode_before = QFileInfo(path).metadataChangeTime();
        add_start_up_entry();
        QCOMPARE(QFileInfo(path).lastModified(), written);
        QCOMPARE(QFileInfo(path).metadataChangeTime(), inode_before);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

        // A moved program (another Exec) is rewritten.
        write(path, "[Desktop Entry]\nType=Application\nName=Stackpaste\nExec=\"/old/place/stackpaste\"\n");
        add_start_up_entry();
        QCOMPARE(read(path), start_up_entry_content().toUtf8());
    }

    void remove_takes_away_an_entry_written_by_anyone()
    {
        const QString path = start_up_entry_path();
        write(path, "[Desktop Entry]\nExec=somebody-else\n");
        remove_start_up_entry();
        QVERIFY(!QFile::exists(path));
        remove_start_up_entry(); // nothing there: nothing happens
        QVERIFY(!QFile::exists(path));
    }

    void shortcut_files_are_created_once_and_never_replaced()
    {
        QDir().mkpath(desktop());
        const QString menu = applications() + "/Stackpaste/Stackpaste.desktop";
        const QString uninstall = applications() + "/Stackpaste/uninstall.desktop";
        const QString on_desktop = desktop() + "/Stackpaste.desktop";
        create_shortcut_files();
        for (const QString& path : {menu, uninstall, on_desktop})
            QVERIFY2(QFile::exists(path), qPrintable(path));
        QVERIFY(read(menu).contains("Exec=\"" + QCoreApplication::applicationFilePath().toUtf8() + "\"\n"));
        // No uninstall program exists beside the test: TryExec keeps the entry out of menus.
        const QByteArray uninstall_entry = read(uninstall);
        QVERIFY(
            uninstall_entry.contains("TryExec=" + QCoreApplication::applicationDirPath().toUtf8() + "/uninstall\n"));

        write(on_desktop, "edited by the user");
        create_shortcut_files();
        QCOMPARE(read(on_desktop), QByteArray("edited by the user"));
        QCOMPARE(read(uninstall), uninstall_entry);
    }

    // A system-wide menu entry of an installed program: our own would list the program twice in the menu.
    void an_installed_menu_entry_is_not_doubled()
    {
        QTemporaryDir system;
        QVERIFY(QDir().mkpath(system.filePath(QStringLiteral("applications"))));
        QFile entry(system.filePath(QStringLiteral("applications/org.stackpaste.Stackpaste.desktop")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.close();
        QDir(applications() + "/Stackpaste").removeRecursively();
        const QByteArray data_dirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_DIRS", QFile::encodeName(system.path()));
        QCOMPARE(installed_menu_entry(), entry.fileName());
        create_shortcut_files();
        qputenv("XDG_DATA_DIRS", data_dirs);
        QVERIFY(!QFile::exists(applications() + "/Stackpaste/Stackpaste.desktop"));
        QVERIFY(installed_menu_entry().isEmpty() || installed_menu_entry() != entry.fileName());
    }

    void missing_desktop_folder_is_left_alone()
    {
        QDir(desktop()).removeRecursively();
        create_shortcut_files();
        QVERIFY(!QFileInfo::exists(desktop()));
        QVERIFY(QFile::exists(applications() + "/Stackpaste/Stackpaste.desktop"));
    }
};

QTEST_GUILESS_MAIN(TestStartUpEntry)
#include "TestStartUpEntry.moc"
