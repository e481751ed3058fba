// SPDX-License-Identifier: GPL-3.0-or-later
// The Debian package: built from this build, unpacked into a temporary root without installing it, checked, and
// its program run once on the private X server to copy and paste.
#include "E2eSupport.h"

#include <QDirIterator>

using namespace e2e;

namespace {

QStringList files_under(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size());
    files.sort();
    return files;
}

} // namespace

class TestPackage : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_deb;

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray out = run(QStringLiteral("cpack"),
                                   {"-G", "DEB", "-B", m_dir.filePath(QStringLiteral("out")), "--config",
                                    QStringLiteral(STACKPASTE_BINARY_DIR "/CPackConfig.cmake")},
                                   240000);
        const QStringList debs = QDir(m_dir.filePath(QStringLiteral("out"))).entryList({"*.deb"});
        QVERIFY2(debs.size() == 1, out.constData());
        m_deb = m_dir.filePath(QStringLiteral("out/") + debs.first());
    }

    void the_package_names_its_libraries_and_valid_desktop_files()
    {
        const QByteArray info = run(QStringLiteral("dpkg-deb"), {"--info", m_deb});
        for (const char* library : {"libqt5core5a", "libqt5gui5", "libqt5widgets5", "libqt5sql5", "libxcb1"})
            QVERIFY2(info.contains(library), library);
        QVERIFY(info.contains("Section: utils"));
        const QString root = m_dir.filePath(QStringLiteral("root"));
        run(QStringLiteral("dpkg-deb"), {"-x", m_deb, root});
        const QStringList files = files_under(root);
        for (const char* path : {"/usr/bin/stackpaste", "/usr/share/applications/org.stackpaste.Stackpaste.desktop",
                                 "/usr/share/metainfo/org.stackpaste.Stackpaste.metainfo.xml",
                                 "/usr/share/icons/hicolor/16x16/apps/org.stackpaste.Stackpaste.png",
                                 "/usr/share/icons/hicolor/256x256/apps/org.stackpaste.Stackpaste.png",
                                 "/usr/share/man/man1/stackpaste.1", "/usr/share/doc/stackpaste/hidden-features.html"})
            QVERIFY2(files.contains(QLatin1String(path)), path);
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"),
                       {root + QStringLiteral("/usr/share/applications/org.stackpaste.Stackpaste.desktop")});
        QVERIFY(validate.waitForFinished(30000));
        QVERIFY2(validate.exitCode() == 0, validate.readAll().constData());
        validate.start(QStringLiteral("appstreamcli"),
                       {"validate", "--no-net",
                        root + QStringLiteral("/usr/share/metainfo/org.stackpaste.Stackpaste.metainfo.xml")});
        QVERIFY(validate.waitForFinished(60000));
        QVERIFY2(validate.exitCode() == 0, validate.readAll().constData());
    }

    // A first start of the unpacked program: it pastes, writes nothing into its installation, makes no menu entry
    // of its own beside the installed one, and its autostart entry names the installed executable.
    void the_unpacked_program_pastes_and_keeps_its_files_in_the_users_folders()
    {
        const QString root = m_dir.filePath(QStringLiteral("root"));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/usr/bin/stackpaste")));
        const QStringList installed = files_under(root);
        {
            Stackpaste app(root + QStringLiteral("/usr/bin/stackpaste"));
            QVERIFY(app.start());
            for (const char* text : {"one ", "two ", "three "}) {
                const int before = count(app.output(), "END copy_to_stackpaste_clipboard()");
                copy_with_xclip(text);
                QTRY_VERIFY_WITH_TIMEOUT(count(app.output(), "END copy_to_stackpaste_clipboard()") > before, 10000);
            }
            TextField target;
            QVERIFY(target.open());
            press(app, "ctrl+v", "three ");
            press(app, "ctrl+v", "two ");
            QCOMPARE(target.finish(), QByteArray("three two"));
        }
        QCOMPARE(files_under(root), installed);
        const QString data = qEnvironmentVariable("XDG_DATA_HOME");
        QVERIFY(!QFileInfo::exists(data + QStringLiteral("/applications/Stackpaste/Stackpaste.desktop")));
        QFile autostart(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/Stackpaste.desktop"));
        QVERIFY(autostart.open(QIODevice::ReadOnly));
        QVERIFY(autostart.readAll().contains(
            "Exec=\"" + QFile::encodeName(QFileInfo(root + QStringLiteral("/usr/bin/stackpaste")).canonicalFilePath()) +
            "\""));
        QVERIFY(QFileInfo::exists(qEnvironmentVariable("XDG_CONFIG_HOME") +
                                  QStringLiteral("/Halcyon Works/Stackpaste/Stackpaste_settings.ini")));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "TestPackage.moc"
