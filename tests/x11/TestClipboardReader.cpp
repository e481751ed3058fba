// SPDX-License-Identifier: GPL-3.0-or-later
// The clipboard reader against real owners on the private X server: xclip, a large incremental transfer, a 4K PNG,
// owners that hang, and our own writes.
#include "core/MimeCopy.h"
#include "platform/x11/ClipboardReader.h"
#include "support/Desktop.h"
#include "support/TestImages.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QX11Info>

#include <xcb/xcb.h>

using namespace desktop;
using test_images::png_announcing;

namespace {

std::shared_ptr<const Payload> payload(const ClipboardCapture& capture, const QString& name)
{
    for (const ClipboardCapture::Format& f : capture.formats)
        if (f.format == name)
            return f.payload;
    return nullptr;
}

QByteArray format(const ClipboardCapture& capture, const QString& name)
{
    const std::shared_ptr<const Payload> found = payload(capture, name);
    return found ? found->bytes() : QByteArray();
}

QByteArray read_file(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write_file(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// What a second client reads from the clipboard; our event loop keeps serving it meanwhile.
QByteArray xclip_output(const QString& type)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-o", "-selection", "clipboard", "-t", type});
    if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 20000))
        xclip.kill();
    return xclip.readAllStandardOutput();
}

ClipboardCapture last(const QSignalSpy& spy)
{
    return qvariant_cast<ClipboardCapture>(spy.last().first());
}

// An owner that never answers a request (with `--targets`: that answers the list of targets only).
class HungOwner {
public:
    explicit HungOwner(const QString& mode)
    {
        m_process.start(QStringLiteral(SILENT_OWNER), mode.isEmpty() ? QStringList{} : QStringList{mode});
        m_process.waitForReadyRead(10000);
    }
    // Waits until the owner has printed the line (and serves our events meanwhile).
    bool wait_for_line(const QByteArray& line)
    {
        return QTest::qWaitFor(
            [&] {
                m_output += m_process.readAllStandardOutput();
                return m_output.contains(line + '\n');
            },
            10000);
    }
    ~HungOwner()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

} // namespace

class TestClipboardReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void a_text_a_dump_of_100_mb_and_a_png_arrive_whole()
    {
        ClipboardReader reader;
        QTemporaryDir storage;
        reader.set_storage_folder(storage.path());
        QVERIFY(reader.start());
        QSignalSpy spy(&reader, &ClipboardReader::captured);

        copy_with_xclip("plain words");
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        QCOMPARE(format(last(spy), QStringLiteral("text/plain")), QByteArray("plain words"));
        QVERIFY(!payload(last(spy), QStringLiteral("text/plain"))->is_in_file());

        // Far beyond one request: xclip sends it in chunks.
        QByteArray dump;
        for (int i = 0; dump.size() < 100 * 1024 * 1024; ++i)
            dump += "row " + QByteArray::number(i) + " of a data dump\n";
        QFile file(m_dir.filePath(QStringLiteral("dump.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(dump);
        file.close();
        run(QStringLiteral("xclip"), {"-selection", "clipboard", "-i", file.fileName()});
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 20000);
        // Large payloads wait in a private file, not in memory.
        const std::shared_ptr<const Payload> kept = payload(last(spy), QStringLiteral("text/plain"));
        QVERIFY(kept);
        QTRY_VERIFY(kept->is_in_file()); // written once the item was handed over
        QVERIFY(kept->path().startsWith(storage.path()));
        QCOMPARE(QFileInfo(kept->path()).permissions() & 0x0077, QFileDevice::Permissions());
        QCOMPARE(kept->size(), qint64(dump.size()));
        QVERIFY(kept->bytes() == dump);

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
        QCOMPARE(last(spy).image_format, QStringLiteral("image/png"));
        QVERIFY(last(spy).image_decodable);

        // 20000 x 20000 pixels in a few hundred bytes: kept as it came, never decoded.
        const QString bomb = m_dir.filePath(QStringLiteral("bomb.png"));
        QFile bomb_file(bomb);
        QVERIFY(bomb_file.open(QIODevice::WriteOnly));
        bomb_file.write(png_announcing(20000, 20000));
        bomb_file.close();
        run(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", "-i", bomb});
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 4, 20000);
        QCOMPARE(format(last(spy), QStringLiteral("image/png")), png_announcing(20000, 20000));
        QVERIFY(!last(spy).image_decodable);
    }

    void a_format_beyond_the_size_limit_is_left_out_and_the_rest_kept()
    {
        ClipboardReader reader(ClipboardReader::Limits{1000, 5000, 1024 * 1024});
        QVERIFY(reader.start());
        QSignalSpy spy(&reader, &ClipboardReader::captured);
        const QString big = m_dir.filePath(QStringLiteral("big.txt"));
        write_file(big, QByteArray(3 * 1024 * 1024, 'b'));
        run(QStringLiteral("xclip"), {"-selection", "clipboard", "-i", big});
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 10000);
        QVERIFY(last(spy).formats.isEmpty());
        QCOMPARE(last(spy).abandoned, QStringList{"UTF8_STRING"});
        copy_with_xclip("small again");
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
        QCOMPARE(format(last(spy), QStringLiteral("text/plain")), QByteArray("small again"));
    }

    void a_thousand_targets_arrive_within_the_deadline()
    {
        ClipboardReader reader;
        QVERIFY(reader.start());
        QSignalSpy spy(&reader, &ClipboardReader::captured);
        HungOwner owner(QStringLiteral("--many-targets"));
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 8000);
        QVERIFY2(last(spy).abandoned.isEmpty(), qPrintable(last(spy).abandoned.join(' ')));
        QCOMPARE(last(spy).formats.size(), 1001);
        QCOMPARE(format(last(spy), QStringLiteral("application/x-many-999")), QByteArray("many"));
    }

    void a_hung_owner_ends_at_the_deadline_and_the_next_copy_is_read_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("abandons");
        QTest::newRow("answers nothing") << QString() << false;
        QTest::newRow("answers the targets only") << QStringLiteral("--targets") << true;
        QTest::newRow("stops in an incremental transfer") << QStringLiteral("--incr-stall") << true;
        QTest::newRow("dies in an incremental transfer") << QStringLiteral("--incr-die") << true;
    }
    void a_hung_owner_ends_at_the_deadline_and_the_next_copy_is_read()
    {
        QFETCH(QString, mode);
        QFETCH(bool, abandons);
        ClipboardReader reader(ClipboardReader::Limits{300, 1000});
        QVERIFY(reader.start());
        QSignalSpy spy(&reader, &ClipboardReader::captured);
        {
            HungOwner owner(mode);
            QElapsedTimer timer;
            timer.start();
            QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
            QVERIFY2(timer.elapsed() < 2500, "the capture outlived its deadline");
            QVERIFY(last(spy).formats.isEmpty());
            QCOMPARE(!last(spy).abandoned.isEmpty(), abandons);
            copy_with_xclip("after the hang");
            QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
            QCOMPARE(format(last(spy), QStringLiteral("text/plain")), QByteArray("after the hang"));
        }
    }

    // A paste right after a copy makes us the owner while the copy is still arriving: the transfer under way goes
    // on, and the copy is recorded whole.
    void a_copy_still_arriving_when_we_take_the_clipboard_is_kept()
    {
        ClipboardReader reader;
        QVERIFY(reader.start());
        QSignalSpy spy(&reader, &ClipboardReader::captured);
        QSignalSpy own(&reader, &ClipboardReader::own_change);
        HungOwner owner(QStringLiteral("--incr-slow"));
        QVERIFY(owner.wait_for_line("sending"));
        QGuiApplication::clipboard()->setText(QStringLiteral("our paste"));
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        QCOMPARE(own.count(), 1);
        QVERIFY(last(spy).abandoned.isEmpty());
        QVERIFY(format(last(spy), QStringLiteral("text/plain")) == QByteArray(10 * 64 * 1024, 'x'));
        QGuiApplication::clipboard()->clear();
    }

    void a_newer_owner_never_waits_behind_a_hung_one()
    {
        ClipboardReader reader(ClipboardReader::Limits{5000, 5000});
        QVERIFY(reader.start());
        QSignalSpy spy(&reader, &ClipboardReader::captured);
        HungOwner owner(QStringLiteral("--targets"));
        QTest::qWait(300);
        QElapsedTimer timer;
        timer.start();
        copy_with_xclip("right away");
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 2, 3000);
        QVERIFY2(timer.elapsed() < 3000, "the new copy waited for the hung owner's deadline");
        QCOMPARE(format(last(spy), QStringLiteral("text/plain")), QByteArray("right away"));
    }

    // What the reader captured goes back on the clipboard as the history's paste, and programs read it as it came:
    // a screenshot byte for byte (and converted on request), a large text, a file list (as snapshots), a file
    // manager's list, and a picture too large to decode, which offers no converted encodings.
    void captured_items_paste_back_as_they_came()
    {
        MimeCopy mime_copy;
        ClipboardReader reader;
        reader.set_storage_folder(mime_copy.data_folder());
        QVERIFY(reader.start());
        QSignalSpy spy(&reader, &ClipboardReader::captured);
        const auto capture_item = [&](const QStringList& xclip_arguments) -> std::unique_ptr<StoredMimeData> {
            const int before = spy.count();
            run(QStringLiteral("xclip"), QStringList{"-selection", "clipboard"} + xclip_arguments);
            if (!QTest::qWaitFor([&] { return spy.count() > before; }, 20000))
                return nullptr;
            auto item = MimeCopy::assemble(last(spy));
            mime_copy.capture_files(*item, true);
            return item;
        };
        const auto paste = [&](const StoredMimeData& item) {
            QGuiApplication::clipboard()->setMimeData(mime_copy.copy(item, MimeCopy::Variant::Paste, true).release());
        };

        QImage image(3840, 2160, QImage::Format_RGB32);
        image.fill(QColor(10, 20, 30));
        for (int y = 0; y < image.height(); y += 3)
            for (int x = y % 5; x < image.width(); x += 4)
                image.setPixel(x, y, qRgb(x % 256, y % 256, (x ^ y) % 256));
        const QString png = m_dir.filePath(QStringLiteral("paste.png"));
        QVERIFY(image.save(png));
        const QByteArray png_bytes = read_file(png);
        const auto shot = capture_item({"-t", "image/png", "-i", png});
        QVERIFY(shot);
        QVERIFY(shot->payload(QStringLiteral("image/png"))->size() == png_bytes.size());
        paste(*shot);
        QVERIFY(xclip_output(QStringLiteral("image/png")) == png_bytes);
        const QList<QByteArray> targets = xclip_output(QStringLiteral("TARGETS")).split('\n');
        QVERIFY(targets.contains("image/bmp"));
        QCOMPARE(QImage::fromData(xclip_output(QStringLiteral("image/bmp"))).convertToFormat(QImage::Format_RGB32),
                 image);

        QByteArray text;
        for (int i = 0; text.size() < 3 * 1024 * 1024; ++i)
            text += "Zeile " + QByteArray::number(i) + " mit Umlauten: \xc3\xa4\xc3\xb6\xc3\xbc\n";
        const QString text_file = m_dir.filePath(QStringLiteral("paste.txt"));
        write_file(text_file, text);
        const auto long_text = capture_item({"-i", text_file});
        QVERIFY(long_text);
        QVERIFY(long_text->payload(QStringLiteral("text/plain"))->size() == text.size());
        paste(*long_text);
        QVERIFY(xclip_output(QStringLiteral("UTF8_STRING")) == text);

        const QString notes = m_dir.filePath(QStringLiteral("notes.txt"));
        write_file(notes, "notes");
        const QString list_file = m_dir.filePath(QStringLiteral("list.txt"));
        write_file(list_file, QUrl::fromLocalFile(notes).toEncoded() + "\r\n");
        const auto files = capture_item({"-t", "text/uri-list", "-i", list_file});
        QVERIFY(files);
        QVERIFY(mime_copy.wait_for_paste_copies(5000));
        const QString snapshot = MimeCopy::listed_files(*files).value_or(QList<QUrl>()).value(0).toLocalFile();
        QVERIFY2(snapshot.startsWith(mime_copy.path() + QStringLiteral("/temp/")), qPrintable(snapshot));
        paste(*files);
        const QString handed_out =
            QUrl(QString::fromUtf8(xclip_output(QStringLiteral("text/uri-list")).trimmed())).toLocalFile();
        QVERIFY2(handed_out.startsWith(mime_copy.path() + QStringLiteral("/curr/")), qPrintable(handed_out));
        QCOMPARE(read_file(handed_out), QByteArray("notes"));
        // A file manager's "cut" offered alone pastes back as a copy of our paste copy, never of the user's file.
        write_file(list_file, "cut\n" + QUrl::fromLocalFile(notes).toEncoded());
        const auto cut = capture_item({"-t", "x-special/gnome-copied-files", "-i", list_file});
        QVERIFY(cut);
        QVERIFY(mime_copy.wait_for_paste_copies(5000));
        paste(*cut);
        const QByteArray cut_list = xclip_output(QStringLiteral("x-special/gnome-copied-files"));
        const QString cut_file = QUrl::fromEncoded(cut_list.mid(5)).toLocalFile();
        QVERIFY2(cut_list.startsWith("copy\n") && cut_file.startsWith(mime_copy.path() + QStringLiteral("/curr/")),
                 cut_list.constData());
        QCOMPARE(read_file(cut_file), QByteArray("notes"));

        const QString bomb = m_dir.filePath(QStringLiteral("bomb-paste.png"));
        write_file(bomb, png_announcing(20000, 20000));
        const auto bombed = capture_item({"-t", "image/png", "-i", bomb});
        QVERIFY(bombed);
        QVERIFY(!bombed->hasImage());
        paste(*bombed);
        const QList<QByteArray> bomb_targets = xclip_output(QStringLiteral("TARGETS")).split('\n');
        QVERIFY(bomb_targets.contains("image/png"));
        QVERIFY(!bomb_targets.contains("image/bmp"));
        QCOMPARE(xclip_output(QStringLiteral("image/png")), png_announcing(20000, 20000));
        QGuiApplication::clipboard()->clear();
    }

    // Every window of this process's X connection is ours (Qt's clipboard owner among them), and a foreign copy
    // that lands right after our own write is still captured: nothing waits for an echo of our write.
    void our_own_writes_are_not_captured_and_a_copy_right_after_one_is()
    {
        ClipboardReader reader;
        QVERIFY(reader.start());
        QSignalSpy captured(&reader, &ClipboardReader::captured);
        QSignalSpy own(&reader, &ClipboardReader::own_change);
        xcb_connection_t* connection = QX11Info::connection();
        const xcb_window_t window = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, QX11Info::appRootWindow(), 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, 9, "CLIPBOARD");
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
        QVERIFY(atom);
        xcb_set_selection_owner(connection, window, atom->atom, QX11Info::getTimestamp());
        xcb_flush(connection);
        copy_with_xclip("right after ours");
        QTRY_COMPARE_WITH_TIMEOUT(captured.count(), 1, 5000);
        QCOMPARE(own.count(), 1);
        QCOMPARE(format(last(captured), QStringLiteral("text/plain")), QByteArray("right after ours"));

        // Qt's own clipboard writes too.
        QGuiApplication::clipboard()->setText(QStringLiteral("ours"));
        QTRY_COMPARE_WITH_TIMEOUT(own.count(), 2, 5000);
        QTest::qWait(200);
        QCOMPARE(captured.count(), 1);
        QGuiApplication::clipboard()->clear();
        xcb_destroy_window(connection, window);
        xcb_flush(connection);
    }
};

QTEST_MAIN(TestClipboardReader)
#include "TestClipboardReader.moc"
