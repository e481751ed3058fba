// SPDX-License-Identifier: GPL-3.0-or-later
// The Wayland clipboard inside a private headless compositor, with wl-copy and wl-paste as the other programs: copies
// captured byte for byte, our own offers served and never captured, the pastes among the requests, an owner that
// never writes, and a clipboard manager that takes every offer back.
#include "core/StoredMimeData.h"
#include "platform/wayland/WaylandClipboard.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Runs a program to its end; its standard output.
QByteArray run(const QString& program, const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return "(did not start)";
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(10000))
        process.kill();
    return process.readAllStandardOutput();
}

void wl_copy(const QByteArray& bytes, const QString& type = QString())
{
    run(QStringLiteral("wl-copy"), type.isEmpty() ? QStringList() : QStringList{"--type", type}, bytes);
}

QByteArray wl_paste(const QString& type)
{
    return run(QStringLiteral("wl-paste"), {"--no-newline", "--type", type});
}

ClipboardCapture last(const QSignalSpy& spy)
{
    return qvariant_cast<ClipboardCapture>(spy.last().at(0));
}

std::shared_ptr<const Payload> payload(const ClipboardCapture& capture, const QString& name)
{
    for (const ClipboardCapture::Format& f : capture.formats)
        if (f.format == name)
            return f.payload;
    return nullptr;
}

// A 4K screenshot-like PNG of about 1 MB (a band of noise): large enough for a file of its own.
QByteArray screenshot()
{
    QImage image(3840, 2160, QImage::Format_RGB32);
    image.fill(Qt::white);
    quint32 noise = 12345;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < image.width(); ++x) {
            noise = noise * 1103515245u + 12345u;
            image.setPixel(x, y, noise >> 8);
        }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// A program that keeps reading the clipboard: it runs command for each change, with the content on its input.
class Watcher {
public:
    explicit Watcher(const QString& command)
    {
        m_process.start(QStringLiteral("wl-paste"), {"--no-newline", "--watch", "sh", "-c", command});
        m_process.waitForStarted(5000);
    }
    ~Watcher()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
};

int lines_of(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
}

} // namespace

class TestWaylandClipboard : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    WaylandClipboard::Limits m_limits{300, 1500, 1024LL * 1024 * 1024};

    std::unique_ptr<WaylandClipboard> started()
    {
        auto clipboard = std::make_unique<WaylandClipboard>(m_dir.path(), m_limits);
        return clipboard->start() ? std::move(clipboard) : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            QSKIP("needs a Wayland compositor with data-control (scripts/wayland-session --sway)");
        QVERIFY(m_dir.isValid());
    }

    void copies_are_captured_byte_for_byte()
    {
        const auto clipboard = started();
        QVERIFY(clipboard);
        QVERIFY(clipboard->paste_road().contains(QLatin1String("data_control_manager_v1")));
        QSignalSpy spy(clipboard.get(), &ClipboardSource::captured);

        const QByteArray text = QStringLiteral("Grüße aus Wayland\n\ttab").toUtf8();
        wl_copy(text);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        QVERIFY(payload(last(spy), QStringLiteral("text/plain")));
        QCOMPARE(payload(last(spy), QStringLiteral("text/plain"))->bytes(), text);

        // From an owner that writes in one plain loop and gives up at the first short write, as many programs do:
        // the pipe it writes to must block when full.
        const QByteArray png = screenshot();
        QVERIFY(png.size() > Payload::k_file_threshold);
        const QString png_path = m_dir.filePath(QStringLiteral("copied.png"));
        QFile png_file(png_path);
        QVERIFY(png_file.open(QIODevice::WriteOnly) && png_file.write(png) == png.size());
        png_file.close();
        QProcess owner;
        owner.start(QStringLiteral(WAYLAND_OWNER), {"image/png", png_path});
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 10000);
        const std::shared_ptr<const Payload> image = payload(last(spy), QStringLiteral("image/png"));
        QVERIFY(image);
        QCOMPARE(last(spy).image_format, QStringLiteral("image/png"));
        QVERIFY(image->bytes() == png);
        // Moved to its file on the worker after the capture was handed over.
        QTRY_VERIFY_WITH_TIMEOUT(image->is_in_file(), 5000);
        QVERIFY(image->path().startsWith(m_dir.path()));
        QVERIFY(image->bytes() == png);
    }

    void own_content_is_served_byte_for_byte_and_never_captured()
    {
        const auto clipboard = started();
        QVERIFY(clipboard);
        QSignalSpy captured(clipboard.get(), &ClipboardSource::captured);

        const QByteArray png = screenshot();
        auto item = std::make_unique<StoredMimeData>();
        item->set_format(QStringLiteral("text/plain"), QByteArray("caption of the picture"));
        item->set_format(QStringLiteral("image/png"), Payload::keep(png, m_dir.path()));
        item->set_image_format(QStringLiteral("image/png"), true);
        clipboard->own(std::move(item));
        QTRY_COMPARE_WITH_TIMEOUT(wl_paste(QStringLiteral("UTF8_STRING")), QByteArray("caption of the picture"), 5000);
        QCOMPARE(wl_paste(QStringLiteral("text/plain;charset=utf-8")), QByteArray("caption of the picture"));
        QVERIFY(wl_paste(QStringLiteral("image/png")) == png);

        // A program that stops reading half-way is given up by the deadline, and holds up no other.
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("image/png took no bytes for")));
        QProcess stalled;
        stalled.start(QStringLiteral("sh"), {"-c", "wl-paste --type image/png | sleep 10"});
        QVERIFY(stalled.waitForStarted(5000));
        QCOMPARE(wl_paste(QStringLiteral("TEXT")), QByteArray("caption of the picture"));
        QTest::qWait(m_limits.quiet_ms * 5);
        stalled.kill();
        stalled.waitForFinished(5000);

        // A plain QMimeData too, and a copy made right after ours is still captured.
        auto text = std::make_unique<QMimeData>();
        text->setText(QStringLiteral("plain"));
        clipboard->own(std::move(text));
        QTRY_COMPARE_WITH_TIMEOUT(wl_paste(QStringLiteral("text/plain")), QByteArray("plain"), 5000);
        wl_copy("theirs");
        QTRY_COMPARE_WITH_TIMEOUT(captured.count(), 1, 5000);
        QCOMPARE(payload(last(captured), QStringLiteral("text/plain"))->bytes(), QByteArray("theirs"));
    }

    void pastes_are_told_apart_from_keepers_reads()
    {
        const auto clipboard = started();
        QVERIFY(clipboard);
        QSignalSpy served(clipboard.get(), &ClipboardSource::served);
        QSignalSpy captured(clipboard.get(), &ClipboardSource::captured);

        auto first = std::make_unique<QMimeData>();
        first->setText(QStringLiteral("first"));
        clipboard->own(std::move(first));
        // Waits for the offer without asking for its data.
        QTRY_VERIFY_WITH_TIMEOUT(
            run(QStringLiteral("wl-paste"), {"--list-types"}).contains(WaylandClipboard::k_own_marker), 5000);

        // A keeper reads every change within a few milliseconds: never a paste.
        const QString reads = m_dir.filePath(QStringLiteral("keeper-reads"));
        Watcher keeper(QStringLiteral("cat >/dev/null; echo read >>'%1'").arg(reads));
        QTRY_COMPARE_WITH_TIMEOUT(lines_of(reads), 1, 5000); // its read of "first", at its start
        QTest::qWait(50);
        served.clear();
        auto second = std::make_unique<QMimeData>();
        second->setText(QStringLiteral("second"));
        clipboard->own(std::move(second));
        QTRY_COMPARE_WITH_TIMEOUT(lines_of(reads), 2, 5000);
        QTest::qWait(100);
        QCOMPARE(served.count(), 0);

        // A paste 100 ms later counts, once, whatever more is asked of the same offer.
        QCOMPARE(wl_paste(QStringLiteral("text/plain;charset=utf-8")), QByteArray("second"));
        QTRY_COMPARE_WITH_TIMEOUT(served.count(), 1, 5000);
        QCOMPARE(wl_paste(QStringLiteral("UTF8_STRING")), QByteArray("second"));
        QTest::qWait(100);
        QCOMPARE(served.count(), 1);
        QCOMPARE(captured.count(), 0);
    }

    void owner_that_never_writes_is_given_up()
    {
        const auto clipboard = started();
        QVERIFY(clipboard);
        QSignalSpy captured(clipboard.get(), &ClipboardSource::captured);
        QProcess hung;
        hung.start(QStringLiteral(WAYLAND_OWNER), {"--hang", "--text", "never sent"});
        QVERIFY(hung.waitForReadyRead(5000)); // "owning ..."
        wl_copy("sent after the hung one");
        QTRY_COMPARE_WITH_TIMEOUT(captured.count(), 1, 5000);
        QCOMPARE(payload(last(captured), QStringLiteral("text/plain"))->bytes(), QByteArray("sent after the hung one"));
        hung.kill();
        hung.waitForFinished(5000);

        // Alone, it is given up by the deadline and nothing is recorded; an offer of ours made meanwhile waits for
        // the end of that copy rather than cut it short, and the next copy is captured.
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("did not send them in time")));
        hung.start(QStringLiteral(WAYLAND_OWNER), {"--hang", "--text", "never sent"});
        QVERIFY(hung.waitForReadyRead(5000));
        QTest::qWait(100);
        auto ours = std::make_unique<QMimeData>();
        ours->setText(QStringLiteral("offered during the copy"));
        clipboard->own(std::move(ours));
        QTest::qWait(m_limits.total_ms + 200);
        QCOMPARE(captured.count(), 1);
        QCOMPARE(wl_paste(QStringLiteral("text/plain;charset=utf-8")), QByteArray("offered during the copy"));
        wl_copy("the next copy");
        QTRY_COMPARE_WITH_TIMEOUT(captured.count(), 2, 5000);
        QCOMPARE(payload(last(captured), QStringLiteral("text/plain"))->bytes(), QByteArray("the next copy"));
        hung.kill();
        hung.waitForFinished(5000);
    }

    void rival_manager_is_reported_once_and_never_recorded()
    {
        const auto clipboard = started();
        QVERIFY(clipboard);
        QSignalSpy captured(clipboard.get(), &ClipboardSource::captured);
        QSignalSpy rival(clipboard.get(), &ClipboardSource::rival_noticed);
        // Takes every offer of ours back with the same text, as a clipboard manager that keeps its own copy does.
        const QString taken = m_dir.filePath(QStringLiteral("taken"));
        Watcher manager(QStringLiteral("wl-paste --list-types | grep -qx '%1' || exit 0; echo >>'%2'; exec wl-copy")
                            .arg(QLatin1String(WaylandClipboard::k_own_marker), taken));
        QTest::qWait(300);
        for (const char* text : {"one", "two", "three"}) {
            const int before = lines_of(taken);
            auto content = std::make_unique<QMimeData>();
            content->setText(QLatin1String(text));
            clipboard->own(std::move(content));
            QTRY_COMPARE_WITH_TIMEOUT(lines_of(taken), before + 1, 5000);
            QTRY_COMPARE_WITH_TIMEOUT(wl_paste(QStringLiteral("text/plain")), QByteArray(text), 5000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(rival.count(), 1, 5000);
        QTest::qWait(200);
        QCOMPARE(rival.count(), 1);
        QCOMPARE(captured.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestWaylandClipboard)
#include "TestWaylandClipboard.moc"
