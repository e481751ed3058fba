// SPDX-License-Identifier: GPL-3.0-or-later
// The clipboard reader against real owners on the private X server: xclip, a large incremental transfer, a 4K PNG,
// owners that hang, and our own writes.
#include "platform/x11/ClipboardReader.h"
#include "support/Desktop.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QX11Info>

#include <xcb/xcb.h>

using namespace desktop;

namespace {

QByteArray format(const ClipboardReader::Capture& capture, const QString& target)
{
    for (const ClipboardReader::Format& f : capture.formats)
        if (f.target == target)
            return f.data;
    return QByteArray();
}

ClipboardReader::Capture last(const QSignalSpy& spy)
{
    return qvariant_cast<ClipboardReader::Capture>(spy.last().first());
}

// An owner that never answers a request (with `--targets`: that answers the list of targets only).
class HungOwner {
public:
    explicit HungOwner(bool answers_targets)
    {
        m_process.start(QStringLiteral(SILENT_OWNER), answers_targets ? QStringList{"--targets"} : QStringList{});
        m_process.waitForReadyRead(10000);
    }
    ~HungOwner()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
};

} // namespace

class TestClipboardReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void wanted_targets_skip_pseudo_targets_and_extra_image_encodings()
    {
        QCOMPARE(ClipboardReader::wanted_targets({"TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS", "image/bmp",
                                                  "image/png", "image/jpeg", "text/html", "UTF8_STRING", "UTF8_STRING"}),
                 (QStringList{"image/png", "text/html", "UTF8_STRING"}));
        QCOMPARE(ClipboardReader::wanted_targets({"image/bmp", "image/jpeg"}), QStringList{"image/bmp"});
    }

    void a_text_an_incremental_megabyte_dump_and_a_png_arrive_whole()
    {
        ClipboardReader reader;
        QVERIFY(reader.start());
        QSignalSpy spy(&reader, &ClipboardReader::captured);

        copy_with_xclip("plain words");
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        QCOMPARE(format(last(spy), QStringLiteral("UTF8_STRING")), QByteArray("plain words"));

        // Far beyond one request: xclip sends it in chunks.
        QByteArray dump;
        for (int i = 0; dump.size() < 30 * 1024 * 1024; ++i)
            dump += "row " + QByteArray::number(i) + " of a data dump\n";
        QFile file(m_dir.filePath(QStringLiteral("dump.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(dump);
        file.close();
        run(QStringLiteral("xclip"), {"-selection", "clipboard", "-i", file.fileName()});
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 20000);
        QCOMPARE(format(last(spy), QStringLiteral("UTF8_STRING")).size(), dump.size());
        QVERIFY(format(last(spy), QStringLiteral("UTF8_STRING")) == dump);

        QImage image(3840, 2160, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); x += 7)
                image.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
        const QString png = m_dir.filePath(QStringLiteral("shot.png"));
        QVERIFY(image.save(png));
        QFile png_file(png);
        QVERIFY(png_file.open(QIODevice::ReadOnly));
        const QByteArray png_bytes = png_file.readAll();
        run(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", "-i", png});
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, 20000);
        QVERIFY(format(last(spy), QStringLiteral("image/png")) == png_bytes);
    }

    void a_hung_owner_ends_at_the_deadline_and_the_next_copy_is_read_data()
    {
        QTest::addColumn<bool>("answers_targets");
        QTest::newRow("answers nothing") << false;
        QTest::newRow("answers the targets only") << true;
    }
    void a_hung_owner_ends_at_the_deadline_and_the_next_copy_is_read()
    {
        QFETCH(bool, answers_targets);
        ClipboardReader reader(ClipboardReader::Limits{300, 1000});
        QVERIFY(reader.start());
        QSignalSpy spy(&reader, &ClipboardReader::captured);
        {
            HungOwner owner(answers_targets);
            QElapsedTimer timer;
            timer.start();
            QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
            QVERIFY(last(spy).formats.isEmpty());
            QCOMPARE(last(spy).abandoned.isEmpty(), !answers_targets);
            copy_with_xclip("after the hang");
            QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
            QCOMPARE(format(last(spy), QStringLiteral("UTF8_STRING")), QByteArray("after the hang"));
        }
    }

    void a_newer_owner_never_waits_behind_a_hung_one()
    {
        ClipboardReader reader(ClipboardReader::Limits{5000, 5000});
        QVERIFY(reader.start());
        QSignalSpy spy(&reader, &ClipboardReader::captured);
        HungOwner owner(true);
        QTest::qWait(300);
        QElapsedTimer timer;
        timer.start();
        copy_with_xclip("right away");
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 2, 3000);
        QVERIFY2(timer.elapsed() < 3000, "the new copy waited for the hung owner's deadline");
        QCOMPARE(format(last(spy), QStringLiteral("UTF8_STRING")), QByteArray("right away"));
    }

    void our_own_writes_are_not_captured()
    {
        ClipboardReader reader;
        QVERIFY(reader.start());
        QSignalSpy captured(&reader, &ClipboardReader::captured);
        QSignalSpy own(&reader, &ClipboardReader::own_change);
        xcb_connection_t* connection = QX11Info::connection();
        const xcb_window_t window = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, QX11Info::appRootWindow(), 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        reader.set_own_window(window);
        const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, 9, "CLIPBOARD");
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
        QVERIFY(atom);
        xcb_set_selection_owner(connection, window, atom->atom, QX11Info::getTimestamp());
        xcb_flush(connection);
        QTRY_COMPARE_WITH_TIMEOUT(own.count(), 1, 5000);
        QTest::qWait(200);
        QCOMPARE(captured.count(), 0);
        xcb_destroy_window(connection, window);
        xcb_flush(connection);
    }
};

QTEST_MAIN(TestClipboardReader)
#include "TestClipboardReader.moc"
