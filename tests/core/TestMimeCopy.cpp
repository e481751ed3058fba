// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ClipboardHistory.h"
#include "core/MimeCopy.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Variant = MimeCopy::Variant;
Q_DECLARE_METATYPE(MimeCopy::Variant)

namespace {

using test_files::make_file;
using test_files::read_all;

const QString k_uri_list = QStringLiteral("text/uri-list");
const QString k_gnome = QStringLiteral("x-special/gnome-copied-files");
const QString k_kde_cut = QStringLiteral("application/x-kde-cutselection");
const QString k_kde_urls = QStringLiteral("application/x-kde4-urilist");

QByteArray png_of(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QMimeData* with_urls(const QList<QUrl>& urls)
{
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

// The files a captured item lists once its snapshots are made.
QList<QUrl> snapshots_of(MimeCopy& mime_copy, const QMimeData& item)
{
    if (!mime_copy.wait_for_paste_copies(30000))
        return {};
    return MimeCopy::listed_files(item).value_or(QList<QUrl>());
}

// The snapshots of a captured item, so that snapshots that block (a FIFO opened for reading) fail the test instead of
// hanging it: after the timeout a writer is attached to the FIFO, which releases the blocked reader.
QList<QUrl> snapshots_without_blocking(MimeCopy& mime_copy, const QMimeData& item, const QString& fifo)
{
    if (mime_copy.wait_for_paste_copies(10000))
        return MimeCopy::listed_files(item).value_or(QList<QUrl>());
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0)
        ::close(fd);
    mime_copy.wait_for_paste_copies(10000);
    return {};
}

} // namespace

class TestMimeCopy : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_files;
    QString file_path(const QString& name) const { return m_files.filePath(name); }

private Q_SLOTS:
    void reduce_format_name_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("reduced");
        QTest::newRow("no quote") << "text/html"
                                  << "text/html";
        QTest::newRow("native name in quotes") << "application/x-qt-windows-mime;value=\"Rich Text Format\""
                                               << "Rich Text Format";
        QTest::newRow("one quote: to the end") << "a;value=\"open"
                                               << "open";
        QTest::newRow("empty between quotes") << "a\"\"b"
                                              << "";
        QTest::newRow("third quote ignored") << "a\"one\"two\""
                                             << "one";
    }
    void reduce_format_name()
    {
        QFETCH(QString, format);
        QFETCH(QString, reduced);
        QCOMPARE(MimeCopy::reduce_format_name(format), reduced);
    }

    // Also with an item that outlives it (what is on the clipboard at the end of the run).
    void temporary_directory_is_private_and_goes_with_everything_in_it()
    {
        QString path;
        std::unique_ptr<QMimeData> copy;
        {
            MimeCopy mime_copy;
            QVERIFY(mime_copy.is_valid());
            path = mime_copy.path();
            QVERIFY(path.startsWith(QDir::tempPath()));
            for (const QString& folder : {path, path + "/temp", path + "/curr"}) {
                struct stat status {};
                QVERIFY(::stat(QFile::encodeName(folder).constData(), &status) == 0);
                QVERIFY(S_ISDIR(status.st_mode));
                QCOMPARE(status.st_mode & 0777, 0700u);
            }
            const std::unique_ptr<QMimeData> source(
                with_urls({QUrl::fromLocalFile(make_file(file_path("kept.txt"), 10))}));
            copy = mime_copy.copy(*source, Variant::Capture, true);
            QVERIFY(snapshots_of(mime_copy, *copy).value(0).toLocalFile().startsWith(path + "/temp/"));
        }
        QVERIFY(!QFileInfo::exists(path));
        copy.reset();
    }

    void formats_are_kept_byte_for_byte_without_selection_targets()
    {
        const QByteArray binary("\x00\x01\xff\r\n tail", 10);
        QMimeData source;
        for (const char* target : {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "DELETE"})
            source.setData(target, "x");
        source.setData("application/x-custom", binary);
        source.setData("application/x-qt-windows-mime;value=\"Native\"", "not read");
        source.setData("Native", "native bytes");
        source.setHtml("<b>bold</b>");
        source.setText("plain");
        source.setColorData(QColor(10, 20, 30));

        MimeCopy mime_copy;
        const auto copy = mime_copy.copy(source, Variant::Capture, true);
        QCOMPARE(copy->formats(),
                 QStringList({"application/x-custom", "Native", "text/html", "text/plain", "application/x-color"}));
        QCOMPARE(copy->data("application/x-custom"), binary);
        QCOMPARE(copy->data("Native"), QByteArray("native bytes"));
        QCOMPARE(copy->html(), QString("<b>bold</b>"));
        QCOMPARE(copy->text(), QString("plain"));
        QCOMPARE(qvariant_cast<QColor>(copy->colorData()), QColor(10, 20, 30));
        QCOMPARE(MimeCopy::display_text(*copy), QString("plain"));
    }

    void image_keeps_its_own_bytes_once_data()
    {
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("png among the encodings")
            << QStringList{"image/bmp", "image/png", "image/jpeg", "image/xpm", "image/x-xpixmap"}
            << QStringList{"image/png"};
        QTest::newRow("no png: the first encoding offered")
            << QStringList{"image/jpeg", "image/bmp", "image/ppm"} << QStringList{"image/jpeg"};
        QTest::newRow("formats the clipboard cannot make go too")
            << QStringList{"image/svg+xml", "image/png", "image/gif"} << QStringList{"image/png"};
    }
    void image_keeps_its_own_bytes_once()
    {
        QFETCH(QStringList, offered);
        QFETCH(QStringList, kept);
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(QColor(200, 40, 90));
        QMimeData source;
        source.setImageData(image);
        for (const QString& format : offered)
            source.setData(format, format == "image/png" ? png_of(image) : format.toUtf8());
        source.setData("application/x-custom", "custom");

        MimeCopy mime_copy;
        for (const Variant variant : {Variant::Capture, Variant::Paste}) {
            const auto copy = mime_copy.copy(source, variant, true);
            QVERIFY(copy->hasImage());
            QCOMPARE(qvariant_cast<QImage>(copy->imageData()).convertToFormat(QImage::Format_RGB32), image);
            for (const QString& format : offered)
                QCOMPARE(copy->hasFormat(format), kept.contains(format));
            for (const QString& format : kept)
                QCOMPARE(copy->data(format), source.data(format));
            QCOMPARE(copy->data("application/x-custom"), QByteArray("custom"));
            QCOMPARE(MimeCopy::display_text(*copy), QString("Image Data"));
        }
    }

    void file_limits_at_the_exact_byte_data()
    {
        QTest::addColumn<Variant>("variant");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("copied");
        QTest::newRow("capture 10,999,999") << Variant::Capture << qint64(10'999'999) << true;
        QTest::newRow("capture 11,000,000") << Variant::Capture << qint64(11'000'000) << false;
        QTest::newRow("paste 5,999,999") << Variant::Paste << qint64(5'999'999) << true;
        QTest::newRow("paste 6,000,000") << Variant::Paste << qint64(6'000'000) << false;
    }
    void file_limits_at_the_exact_byte()
    {
        QFETCH(Variant, variant);
        QFETCH(qint64, size);
        QFETCH(bool, copied);
        const QUrl big = QUrl::fromLocalFile(make_file(file_path("limit/big.bin"), size, "head"));
        const QUrl small = QUrl::fromLocalFile(make_file(file_path("limit/small.txt"), 5, "small"));
        const std::unique_ptr<QMimeData> source(with_urls({big, small}));

        MimeCopy mime_copy;
        const std::unique_ptr<QMimeData> item = mime_copy.copy(*source, Variant::Capture, true);
        const QList<QUrl> snapshots = snapshots_of(mime_copy, *item);
        QList<QUrl> urls = snapshots;
        if (variant == Variant::Paste) {
            const std::unique_ptr<QMimeData> pasted = mime_copy.copy(*item, Variant::Paste, true);
            QVERIFY(pasted);
            urls = pasted->urls();
        }
        const QString folder = mime_copy.path() + (variant == Variant::Capture ? "/temp/" : "/curr/");
        QCOMPARE(urls.size(), 2);
        // Each file on its own: the small one after the big one is copied whatever becomes of the big one.
        for (int i = copied ? 0 : 1; i < 2; ++i) {
            const QString copy_path = urls.at(i).toLocalFile();
            QVERIFY2(copy_path.startsWith(folder), qPrintable(copy_path));
            QCOMPARE(QFileInfo(copy_path).fileName(), QFileInfo(source->urls().at(i).toLocalFile()).fileName());
            QCOMPARE(read_all(copy_path), read_all(source->urls().at(i).toLocalFile()));
        }
        // Not copied: kept where it was, the original at capture, the snapshot at paste.
        if (!copied)
            QCOMPARE(urls.at(0), variant == Variant::Capture ? big : snapshots.at(0));
    }

    // A paste hands out the one paste copy of each snapshot, made after the capture; one that the receiving program
    // changed or removed is made again before it is handed out, and the snapshot is never touched.
    void pastes_reuse_one_intact_copy_per_snapshot()
    {
        const QString original = make_file(file_path("paste/report.pdf"), 4, "%PDF");
        const std::unique_ptr<QMimeData> source(with_urls({QUrl::fromLocalFile(original)}));
        MimeCopy mime_copy;
        const auto item = mime_copy.copy(*source, Variant::Capture, true);
        const QString snapshot = snapshots_of(mime_copy, *item).value(0).toLocalFile();
        QFile::remove(original); // the snapshot outlives its source

        const auto paste = [&] {
            const auto pasted = mime_copy.copy(*item, Variant::Paste, true);
            return pasted ? pasted->urls().at(0).toLocalFile() : QString();
        };
        const QString first = paste();
        QVERIFY(first.startsWith(mime_copy.path() + "/curr/"));
        QCOMPARE(QFileInfo(first).fileName(), QString("report.pdf"));
        QCOMPARE(read_all(first), QByteArray("%PDF"));
        QCOMPARE(paste(), first);
        QCOMPARE(QDir(QFileInfo(first).path() + "/..").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);

        for (const bool removed : {true, false}) {
            if (removed) {
                QFile::remove(first); // the receiving program moved it away
            } else {
                QFile changed(first);
                QVERIFY(changed.open(QIODevice::Append));
                changed.write(" edited");
            }
            QCOMPARE(paste(), QString()); // not ready: nothing is handed out
            QVERIFY(mime_copy.wait_for_paste_copies(10000));
            QCOMPARE(paste(), first);
            QCOMPARE(read_all(first), QByteArray("%PDF"));
        }
        QCOMPARE(read_all(snapshot), QByteArray("%PDF"));
    }

    // A file manager's list of copied files follows the URL list and says "copy", and a cut mark never survives: with
    // "cut" and the user's URLs a paste from the history would move the user's own files. A list offered without a
    // URL list of its own gets the same snapshots and paste copies.
    void file_manager_lists_point_at_our_copies_and_say_copy_data()
    {
        QTest::addColumn<QStringList>("formats");
        QTest::newRow("URL list and both cut marks") << QStringList{k_uri_list, k_gnome, k_kde_cut};
        QTest::newRow("GNOME list alone") << QStringList{k_gnome};
        QTest::newRow("KDE list with its cut mark") << QStringList{k_kde_urls, k_kde_cut};
    }
    void file_manager_lists_point_at_our_copies_and_say_copy()
    {
        QFETCH(QStringList, formats);
        const QByteArray original = QUrl::fromLocalFile(make_file(file_path("fm/photo.jpg"), 3, "jpg")).toEncoded();
        QMimeData source;
        for (const QString& format : formats) {
            const QByteArray bytes = format == k_gnome ? "cut\n" + original : format == k_kde_cut ? "1" : original;
            source.setData(format, bytes);
        }
        MimeCopy mime_copy;
        const auto item = mime_copy.copy(source, Variant::Capture, true);
        QVERIFY(mime_copy.wait_for_paste_copies(10000));
        const auto pasted = mime_copy.copy(*item, Variant::Paste, true);
        QVERIFY(pasted);
        const QByteArray url = pasted->urls().value(0).toEncoded();
        QVERIFY2(pasted->urls().value(0).toLocalFile().startsWith(mime_copy.path() + "/curr/"), url.constData());
        QCOMPARE(read_all(pasted->urls().at(0).toLocalFile()), QByteArray("jpg"));
        for (const QMimeData* data : {item.get(), pasted.get()}) {
            QVERIFY(!data->hasFormat(k_kde_cut));
            if (formats.contains(k_gnome))
                QCOMPARE(data->data(k_gnome), "copy\n" + data->urls().value(0).toEncoded());
            if (formats.contains(k_kde_urls))
                QCOMPARE(data->data(k_kde_urls), data->urls().value(0).toEncoded() + "\r\n");
        }
    }

    // The snapshots and their paste copies go with the last item that lists them: one dropped for the 101st copy,
    // one deleted, and a cleared history; a paste on the clipboard, which a program may still read, keeps them.
    void a_paste_before_the_copies_are_made_hands_out_the_files_as_a_copy()
    {
        // Files large enough that their snapshots are still being made when the paste comes.
        QList<QUrl> urls;
        for (int i = 0; i < 20; ++i)
            urls.append(QUrl::fromLocalFile(make_file(file_path(QString("early/%1.bin").arg(i)), 3'000'000, "e")));
        QByteArray list = "cut";
        for (const QUrl& url : urls)
            list += "\n" + url.toEncoded();
        QMimeData source;
        source.setData(k_gnome, list);
        MimeCopy mime_copy;
        const auto item = mime_copy.copy(source, Variant::Capture, true);
        const auto pasted = mime_copy.copy(*item, Variant::Paste, true);
        QVERIFY(pasted);
        QVERIFY(pasted->data(k_gnome).startsWith("copy\n"));
        QCOMPARE(pasted->urls().size(), urls.size());
        QVERIFY(mime_copy.wait_for_paste_copies(30000));
    }

    void snapshots_and_paste_copies_go_with_their_items()
    {
        const std::unique_ptr<QMimeData> files(
            with_urls({QUrl::fromLocalFile(make_file(file_path("go/a.txt"), 1, "a"))}));
        QMimeData text;
        text.setText("text");
        MimeCopy mime_copy;
        ClipboardHistory history;
        const auto add = [&](const QMimeData& source) {
            history.copy_step();
            history.add_mime(mime_copy.copy(source, Variant::Capture, true));
        };
        const auto folders_left = [&] {
            if (!mime_copy.wait_for_paste_copies(10000))
                return -1;
            const auto count = [](const QString& path) {
                return QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
            };
            return count(mime_copy.path() + "/temp") + count(mime_copy.path() + "/curr");
        };

        add(*files);
        QCOMPARE(folders_left(), 2); // a snapshot and its paste copy
        for (int i = 0; i < ClipboardHistory::k_max_items; ++i)
            add(text);
        QCOMPARE(folders_left(), 0);

        add(*files);
        QCOMPARE(folders_left(), 2);
        QVERIFY(history.delete_row(0));
        QCOMPARE(folders_left(), 0);

        add(*files);
        QCOMPARE(folders_left(), 2);
        const std::optional<int> chosen = history.paste_step();
        QVERIFY(chosen);
        std::unique_ptr<QMimeData> pasted = mime_copy.copy(*history.mime_at(*chosen), Variant::Paste, true);
        QVERIFY(pasted);
        history.clear();
        QCOMPARE(folders_left(), 2);
        QCOMPARE(read_all(pasted->urls().value(0).toLocalFile()), QByteArray("a"));
        pasted.reset();
        QCOMPARE(folders_left(), 0);

        // The receiving program put a link to a folder of its own in place of the folder it was handed: only the
        // link goes, never what it points to.
        add(*files);
        QCOMPARE(folders_left(), 2);
        pasted = mime_copy.copy(*history.mime_at(*history.paste_step()), Variant::Paste, true);
        const QString handed = QFileInfo(pasted->urls().value(0).toLocalFile()).path();
        const QString precious = make_file(file_path("theirs/keep.txt"), 4, "mine");
        QVERIFY(QDir(handed).removeRecursively());
        QVERIFY(QFile::link(QFileInfo(precious).path(), handed));
        pasted.reset();
        history.clear();
        QCOMPARE(folders_left(), 0);
        QVERIFY(!QFileInfo(handed).isSymLink());
        QCOMPARE(read_all(precious), QByteArray("mine"));
    }

    void snapshots_of_a_killed_run_are_removed_at_the_next_start()
    {
        // A process id that is surely gone: a child that has been reaped.
        QProcess child;
        child.start("true", QStringList());
        QVERIFY(child.waitForFinished());
        const qint64 gone = child.processId() ? child.processId() : 999999;
        const QString prefix = QDir::tempPath() + "/" + QCoreApplication::applicationName() + "-";
        const QString stale = prefix + QString::number(gone) + "-AbCdEf";
        const QString running = prefix + QString::number(QCoreApplication::applicationPid()) + "-Running";
        const QString unnamed = prefix + "XyZ123"; // an older run's name without a process id: left alone
        for (const QString& folder : {stale, running, unnamed})
            QVERIFY(QDir().mkpath(folder + "/temp/1"));
        MimeCopy mime_copy;
        QVERIFY(!QFileInfo::exists(stale));
        QVERIFY(QFileInfo::exists(running));
        QVERIFY(QFileInfo::exists(unnamed));
        QVERIFY(mime_copy.path().startsWith(prefix + QString::number(QCoreApplication::applicationPid()) + "-"));
        QDir(running).removeRecursively();
        QDir(unnamed).removeRecursively();
    }

    void files_of_the_same_name_keep_their_own_content()
    {
        const QUrl first = QUrl::fromLocalFile(make_file(file_path("one/notes.txt"), 5, "first"));
        const QUrl second = QUrl::fromLocalFile(make_file(file_path("two/notes.txt"), 6, "second"));
        const std::unique_ptr<QMimeData> both(with_urls({first, second}));
        const std::unique_ptr<QMimeData> only_second(with_urls({second}));

        MimeCopy mime_copy;
        const auto both_item = mime_copy.copy(*both, Variant::Capture, true);
        const auto second_item = mime_copy.copy(*only_second, Variant::Capture, true);
        const QList<QUrl> together = snapshots_of(mime_copy, *both_item);
        const QList<QUrl> alone = snapshots_of(mime_copy, *second_item);
        for (const QUrl& url : together + alone)
            QVERIFY(url.toLocalFile().startsWith(mime_copy.path() + "/temp/"));
        QCOMPARE(read_all(together.at(0).toLocalFile()), QByteArray("first"));
        QCOMPARE(read_all(together.at(1).toLocalFile()), QByteArray("second"));
        QCOMPARE(read_all(alone.at(0).toLocalFile()), QByteArray("second"));
        for (const QUrl& url : together + alone)
            QCOMPARE(url.fileName(), QString("notes.txt"));
        const auto pasted = mime_copy.copy(*both_item, Variant::Paste, true);
        QCOMPARE(read_all(pasted->urls().at(0).toLocalFile()), QByteArray("first"));
        QCOMPARE(read_all(pasted->urls().at(1).toLocalFile()), QByteArray("second"));
    }

    void urls_that_are_not_regular_files_keep_their_place()
    {
        const QString fifo = file_path("odd/pipe");
        QDir().mkpath(file_path("odd/folder"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QList<QUrl> urls = {
            QUrl("https://example.org/page.html"),
            QUrl::fromLocalFile(fifo),
            QUrl::fromLocalFile(make_file(file_path("odd/a.txt"), 1, "a")),
            QUrl::fromLocalFile(file_path("odd/missing.txt")),
            QUrl::fromLocalFile(file_path("odd/folder")),
            QUrl::fromLocalFile("/dev/zero"),
            QUrl::fromLocalFile("/proc/self/mem"), // a regular file whose first bytes cannot be read
            QUrl::fromLocalFile(make_file(file_path("odd/b.txt"), 1, "b")),
        };
        const std::unique_ptr<QMimeData> source(with_urls(urls));
        MimeCopy mime_copy;
        const auto item = mime_copy.copy(*source, Variant::Capture, true);
        const QList<QUrl> snapshots = snapshots_without_blocking(mime_copy, *item, fifo);
        QVERIFY2(!snapshots.isEmpty(), "the snapshots blocked on a FIFO");
        QList<QUrl> expected = urls;
        expected[2] = snapshots.at(2);
        expected[7] = snapshots.at(7);
        QCOMPARE(snapshots, expected);
        QCOMPARE(read_all(expected[2].toLocalFile()), QByteArray("a"));
        QCOMPARE(read_all(expected[7].toLocalFile()), QByteArray("b"));
        QVERIFY(expected[2].toLocalFile().startsWith(mime_copy.path()));
    }

    void file_copy_off_or_no_directory_keeps_the_urls()
    {
        const QList<QUrl> urls = {QUrl::fromLocalFile(make_file(file_path("plain.txt"), 5, "plain"))};
        const std::unique_ptr<QMimeData> source(with_urls(urls));
        {
            MimeCopy mime_copy;
            QCOMPARE(mime_copy.copy(*source, Variant::Capture, false)->urls(), urls);
            QVERIFY(QDir(mime_copy.path() + "/temp").isEmpty());
        }
        const QByteArray saved = qgetenv("TMPDIR");
        qputenv("TMPDIR", file_path("no/such/folder").toLocal8Bit());
        MimeCopy without_directory;
        qputenv("TMPDIR", saved);
        QVERIFY(!without_directory.is_valid());
        QCOMPARE(without_directory.copy(*source, Variant::Capture, true)->urls(), urls);
    }

    void empty_changes_and_secrets_data()
    {
        QTest::addColumn<QStringList>("formats");
        QTest::addColumn<QByteArray>("hint");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<bool>("secret");
        QTest::newRow("owner gone") << QStringList() << QByteArray() << true << false;
        QTest::newRow("selection targets only") << QStringList{"TARGETS", "TIMESTAMP"} << QByteArray() << true << false;
        QTest::newRow("text") << QStringList{"text/plain"} << QByteArray() << false << false;
        QTest::newRow("password") << QStringList{"text/plain"} << QByteArray("secret") << false << true;
        QTest::newRow("password, any case, spaces")
            << QStringList{"text/plain"} << QByteArray(" Secret\n") << false << true;
        QTest::newRow("hint of another kind") << QStringList{"text/plain"} << QByteArray("public") << false << false;
    }
    void empty_changes_and_secrets()
    {
        QFETCH(QStringList, formats);
        QFETCH(QByteArray, hint);
        QFETCH(bool, empty);
        QFETCH(bool, secret);
        QMimeData data;
        for (const QString& format : formats)
            data.setData(format, "x");
        if (!hint.isNull())
            data.setData("x-kde-passwordManagerHint", hint);
        QCOMPARE(MimeCopy::is_empty_change(data), empty);
        QCOMPARE(MimeCopy::is_secret(data), secret);
    }
};

QTEST_GUILESS_MAIN(TestMimeCopy)
#include "TestMimeCopy.moc"
