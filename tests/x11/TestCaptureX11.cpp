// SPDX-License-Identifier: GPL-3.0-or-later
// What the capture makes of a real foreign clipboard owner's data, read through the xcb clipboard: a Qt owner of
// the tests' own (clipboard_owner) and xclip. Also what the clipboard offers again when a copy is pasted.
#include "core/MimeCopy.h"
#include "support/TestFiles.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

using Variant = MimeCopy::Variant;

namespace {

const QStringList k_selection_targets = {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS"};

using test_files::make_file;
using test_files::read_all;

QImage test_image()
{
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.fillRect(20, 20, 120, 80, QColor(200, 30, 60));
    painter.fillRect(160, 90, 140, 90, QColor(20, 120, 220));
    return image;
}

QImage as_rgb32(const QVariant& image)
{
    return qvariant_cast<QImage>(image).convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestCaptureX11 : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_files;
    std::unique_ptr<QProcess> m_owner;
    QClipboard* m_clipboard = nullptr;

    QString file_path(const QString& name) const { return m_files.filePath(name); }

    // Starts a foreign owner and waits until this process sees its data on the clipboard.
    bool start_owner(const QString& program, const QStringList& arguments, const QString& offered_format)
    {
        m_owner = std::make_unique<QProcess>();
        m_owner->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_owner->start(program, arguments);
        if (!m_owner->waitForStarted(10'000))
            return false;
        return QTest::qWaitFor([&] { return m_clipboard->mimeData()->hasFormat(offered_format); }, 10'000);
    }
    bool start_qt_owner(const QStringList& arguments, const QString& offered_format)
    {
        return start_owner(QStringLiteral(CLIPBOARD_OWNER), arguments, offered_format);
    }
    bool start_xclip(const QString& type, const QString& file)
    {
        const QStringList arguments = {"-quiet", "-selection", "clipboard", "-t", type, "-i", file};
        return start_owner(QStandardPaths::findExecutable("xclip"), arguments,
                           type == "UTF8_STRING" ? "text/plain" : type);
    }

    // What a second client reads from the clipboard; our event loop keeps serving it meanwhile.
    QByteArray xclip_output(const QString& type)
    {
        QProcess xclip;
        xclip.start(QStandardPaths::findExecutable("xclip"), {"-o", "-selection", "clipboard", "-t", type});
        if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10'000))
            xclip.kill();
        return xclip.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        QVERIFY2(!QStandardPaths::findExecutable("xclip").isEmpty(), "xclip is needed");
        m_clipboard = QGuiApplication::clipboard();
    }

    void cleanup()
    {
        if (m_clipboard->ownsClipboard())
            m_clipboard->clear();
        if (m_owner) {
            m_owner->kill();
            m_owner->waitForFinished(10'000);
            m_owner.reset();
        }
        // The next owner's data must not be mistaken for this one's.
        QTRY_VERIFY_WITH_TIMEOUT(m_clipboard->mimeData()->formats().isEmpty(), 10'000);
    }

    void qt_owner_text_html_and_custom_type_are_kept()
    {
        const QString text = QStringLiteral("plain \u00e4\u20ac");
        const QString html = QStringLiteral("<p>rich <b>\u00e4</b></p>");
        QVERIFY(start_qt_owner({"--text", text, "--html", html, "--data", "application/x-stackpaste-test=custom"},
                               "application/x-stackpaste-test"));
        const QMimeData& source = *m_clipboard->mimeData();
        for (const QString& target : k_selection_targets)
            QVERIFY2(source.formats().contains(target), qPrintable(target));

        MimeCopy mime_copy;
        const auto copy = mime_copy.copy(source, Variant::Capture, true);
        for (const QString& target : k_selection_targets)
            QVERIFY2(!copy->hasFormat(target), qPrintable(target));
        QCOMPARE(copy->text(), text);
        QCOMPARE(copy->html(), html);
        QCOMPARE(copy->data("application/x-stackpaste-test"), QByteArray("custom"));
        QVERIFY(!MimeCopy::is_secret(source));
    }

    void xclip_bytes_are_kept_byte_for_byte_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        QByteArray binary;
        for (int i = 0; i < 256; ++i)
            binary.append(static_cast<char>(i));
        QTest::newRow("default text") << "UTF8_STRING"
                                      << "text/plain" << QString("caf\u00e9\n").toUtf8();
        QTest::newRow("html") << "text/html"
                              << "text/html" << QByteArray("<i>x</i> \xc3\xa4");
        QTest::newRow("binary custom type") << "application/x-binary"
                                            << "application/x-binary" << binary;
    }
    void xclip_bytes_are_kept_byte_for_byte()
    {
        QFETCH(QString, type);
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        const QString file = make_file(file_path("xclip.bin"), bytes.size(), bytes);
        QVERIFY(start_xclip(type, file));
        MimeCopy mime_copy;
        const auto copy = mime_copy.copy(*m_clipboard->mimeData(), Variant::Capture, true);
        QCOMPARE(copy->data(format), bytes);
        QVERIFY(!copy->hasFormat("TARGETS"));
    }

    void qt_owner_image_keeps_png_and_the_image_and_pastes_every_encoding()
    {
        const QImage image = test_image();
        const QString file = file_path("owner.png");
        QVERIFY(image.save(file));
        QVERIFY(start_qt_owner({"--image-file", file}, "image/png"));
        const QMimeData& source = *m_clipboard->mimeData();
        QVERIFY(source.formats().contains("image/xpm")); // a Qt owner offers every encoding it can make

        MimeCopy mime_copy;
        const auto item = mime_copy.copy(source, Variant::Capture, true);
        QCOMPARE(item->formats(), QStringList({"image/png", "application/x-qt-image"}));
        QCOMPARE(as_rgb32(item->imageData()), image);
        QCOMPARE(MimeCopy::display_text(*item), QString("Image Data"));
        const QByteArray png = item->data("image/png");

        m_clipboard->setMimeData(mime_copy.copy(*item, Variant::Paste, true).release());
        const QList<QByteArray> targets = xclip_output("TARGETS").split('\n');
        for (const char* encoding : {"image/png", "image/bmp", "image/jpeg", "image/xpm"})
            QVERIFY2(targets.contains(encoding), encoding);
        QCOMPARE(xclip_output("image/png"), png);
        QCOMPARE(QImage::fromData(xclip_output("image/bmp")).convertToFormat(QImage::Format_RGB32), image);
    }

    void xclip_png_is_kept_byte_for_byte()
    {
        const QImage image = test_image();
        const QString file = file_path("xclip.png");
        QVERIFY(image.save(file));
        QVERIFY(start_xclip("image/png", file));
        MimeCopy mime_copy;
        const auto copy = mime_copy.copy(*m_clipboard->mimeData(), Variant::Capture, true);
        QCOMPARE(copy->data("image/png"), read_all(file));
        QCOMPARE(as_rgb32(copy->imageData()), image);
    }

    void file_list_from_a_qt_owner_is_snapshotted_file_by_file()
    {
        const QString fifo = file_path("list/pipe");
        QVERIFY(QDir().mkpath(file_path("list")));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QList<QUrl> urls = {
            QUrl("https://example.org/a.txt"),
            QUrl::fromLocalFile(make_file(file_path("list/n\u00e4me with space.txt"), 3, "one")),
            QUrl::fromLocalFile(fifo),
            QUrl::fromLocalFile(make_file(file_path("list/too big.bin"), 11'000'000, "too")),
            QUrl::fromLocalFile(make_file(file_path("list/after.txt"), 5, "after")),
        };
        QStringList arguments;
        for (const QUrl& url : urls)
            arguments << "--url" << url.toString();
        QVERIFY(start_qt_owner(arguments, "text/uri-list"));
        QCOMPARE(m_clipboard->mimeData()->urls(), urls);

        MimeCopy mime_copy;
        QList<QUrl> expected = urls;
        const auto item = mime_copy.copy(*m_clipboard->mimeData(), Variant::Capture, true);
        QVERIFY(mime_copy.wait_for_paste_copies(10000));
        const QList<QUrl> captured = MimeCopy::listed_files(*item).value_or(QList<QUrl>());
        const QString snapshot = captured.value(1).toLocalFile();
        QVERIFY2(snapshot.startsWith(mime_copy.path() + "/temp/"), qPrintable(snapshot));
        QCOMPARE(QFileInfo(snapshot).fileName(), QString("n\u00e4me with space.txt"));
        QCOMPARE(read_all(snapshot), QByteArray("one"));
        expected[1] = captured.at(1);
        // The file after the one over the limit is judged on its own.
        QVERIFY(captured.value(4).toLocalFile().startsWith(mime_copy.path() + "/temp/"));
        QCOMPARE(read_all(captured.value(4).toLocalFile()), QByteArray("after"));
        expected[4] = captured.at(4);
        QCOMPARE(captured, expected);
    }

    void owner_exit_is_an_empty_change_and_secrets_are_seen()
    {
        QVERIFY(start_qt_owner({"--text", "hunter2", "--data", "x-kde-passwordManagerHint=secret"},
                               "x-kde-passwordManagerHint"));
        QVERIFY(MimeCopy::is_secret(*m_clipboard->mimeData()));
        QVERIFY(!MimeCopy::is_empty_change(*m_clipboard->mimeData()));
        m_owner->kill();
        QTRY_VERIFY_WITH_TIMEOUT(MimeCopy::is_empty_change(*m_clipboard->mimeData()), 10'000);
    }
};

QTEST_MAIN(TestCaptureX11)
#include "TestCaptureX11.moc"
