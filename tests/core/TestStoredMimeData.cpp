// SPDX-License-Identifier: GPL-3.0-or-later
// History items that keep their bytes rather than decoded pictures: payloads in memory or in private files, images
// decoded only on demand and within the pixel budget, and paste copies that share the payloads.
#include "core/ClipboardHistory.h"
#include "core/MimeCopy.h"
#include "core/Payload.h"
#include "core/StoredMimeData.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray png_of(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QImage test_picture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(30, 140, 90));
    for (int x = 0; x < width; x += 3)
        image.setPixel(x, height / 2, qRgb(250, 10, 10));
    return image;
}

} // namespace

class TestStoredMimeData : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void large_payloads_live_in_private_files_that_go_with_the_last_owner()
    {
        QTemporaryDir folder;
        const auto small = Payload::keep(QByteArray(Payload::k_file_threshold - 1, 's'), folder.path());
        QVERIFY(!small->is_in_file());
        QCOMPARE(small->bytes(), QByteArray(Payload::k_file_threshold - 1, 's'));

        QByteArray large(3 * 1024 * 1024, Qt::Uninitialized);
        for (int i = 0; i < large.size(); ++i)
            large[i] = static_cast<char>(i * 7);
        auto kept = Payload::keep(large, folder.path());
        QVERIFY(kept->is_in_file());
        const QString path = kept->path();
        QCOMPARE(QFileInfo(path).dir().path(), folder.path());
        QCOMPARE(QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());
        QCOMPARE(kept->size(), qint64(large.size()));
        QVERIFY(kept->bytes() == large);
        QCOMPARE(kept->head(5), large.left(5));
        std::shared_ptr<const Payload> second_owner = kept;
        kept.reset();
        QVERIFY(QFile::exists(path));
        second_owner.reset();
        QVERIFY(!QFile::exists(path));

        // Without a folder everything stays in memory.
        QVERIFY(!Payload::keep(large)->is_in_file());
    }

    void a_full_disk_keeps_the_bytes_and_a_vanished_file_gives_none()
    {
        const QByteArray large(Payload::k_file_threshold, 'L');
        const auto unwritable = Payload::keep(large, QStringLiteral("/nonexistent/stackpaste-data"));
        QVERIFY(!unwritable->is_in_file());
        QVERIFY(unwritable->bytes() == large);

        QTemporaryDir folder;
        const auto kept = Payload::keep(large, folder.path());
        QVERIFY(QFile::remove(kept->path()));
        QVERIFY(kept->bytes().isEmpty());
        QVERIFY(kept->head(10).isEmpty());
    }

    void an_image_is_decoded_only_when_asked_and_within_the_budget()
    {
        const QImage picture = test_picture(640, 360);
        StoredMimeData item;
        const QByteArray png = png_of(picture);
        item.set_format(QStringLiteral("image/png"), png);
        QVERIFY(StoredMimeData::probe_image(png));
        item.set_image_format(QStringLiteral("image/png"), true);
        QCOMPARE(item.formats(), (QStringList{"image/png", "application/x-qt-image"}));
        QVERIFY(item.hasImage());
        QCOMPARE(qvariant_cast<QImage>(item.imageData()).convertToFormat(QImage::Format_RGB32), picture);
        QCOMPARE(item.data(QStringLiteral("image/png")), png);
        QCOMPARE(item.decode_image(QSize(64, 64)).size(), QSize(64, 36));

        // 20000 x 20000 pixels announced in a few bytes: kept as it came, never decoded, no encodings offered.
        const QByteArray bomb = test_images::png_announcing(20000, 20000);
        QString why;
        QVERIFY(!StoredMimeData::probe_image(bomb, &why));
        QVERIFY2(why.contains(QLatin1String("20000 x 20000")), qPrintable(why));
        QVERIFY(StoredMimeData::probe_image(test_images::png_announcing(10000, 10000)));
        QVERIFY(!StoredMimeData::probe_image(QByteArray("not a picture"), &why));
        QVERIFY(StoredMimeData::decode(bomb).isNull());
        StoredMimeData bombed;
        bombed.set_format(QStringLiteral("image/png"), bomb);
        bombed.set_image_format(QStringLiteral("image/png"), false);
        QVERIFY(!bombed.hasImage());
        QCOMPARE(bombed.formats(), QStringList{"image/png"});
        QVERIFY(bombed.decode_image().isNull());
        QCOMPARE(bombed.data(QStringLiteral("image/png")), bomb);
        QVERIFY(bombed.holds_image());
        QCOMPARE(ClipboardHistory::row_text_of(bombed), QStringLiteral("Image Data"));
        QCOMPARE(MimeCopy::display_text(bombed), QStringLiteral("Image Data"));
    }

    void a_paste_copy_shares_every_payload()
    {
        QTemporaryDir folder;
        StoredMimeData item;
        item.set_format(QStringLiteral("text/plain"), Payload::keep(QByteArray(1024 * 1024, 't'), folder.path()));
        item.set_format(QStringLiteral("text/html"), QByteArray("<b>t</b>"));
        MimeCopy mime_copy;
        const auto paste = mime_copy.copy(item, MimeCopy::Variant::Paste, true);
        QCOMPARE(paste->formats(), item.formats());
        for (const QString& format : item.formats())
            QCOMPARE(paste->payload(format).get(), item.payload(format).get());
        QCOMPARE(paste->text().size(), 1024 * 1024);
        // A row reads only the start of a large text.
        QCOMPARE(ClipboardHistory::row_text_of(item).size(), ClipboardHistory::k_row_characters + 1);
    }

    // What we own on the clipboard at exit is handed to the desktop's clipboard manager after the files are gone.
    void the_content_can_be_brought_back_into_memory()
    {
        auto folder = std::make_unique<QTemporaryDir>();
        const QByteArray large(Payload::k_file_threshold * 2, 'k');
        StoredMimeData item;
        item.set_format(QStringLiteral("text/plain"), Payload::keep(large, folder->path()));
        QVERIFY(item.payload(QStringLiteral("text/plain"))->is_in_file());
        item.keep_in_memory();
        folder.reset();
        QVERIFY(!item.payload(QStringLiteral("text/plain"))->is_in_file());
        QVERIFY(item.data(QStringLiteral("text/plain")) == large);
    }

    void a_file_list_reads_as_text_and_is_rewritten_as_a_copy()
    {
        QTemporaryDir files;
        QFile file(files.filePath(QStringLiteral("notes.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("notes");
        file.close();
        const QByteArray url = QUrl::fromLocalFile(file.fileName()).toEncoded();
        ClipboardCapture capture;
        capture.formats = {{QStringLiteral("text/uri-list"), Payload::keep(url + "\r\n")},
                           {QStringLiteral("x-special/gnome-copied-files"), Payload::keep("cut\n" + url)},
                           {QStringLiteral("application/x-kde-cutselection"), Payload::keep("1")}};
        const auto item = MimeCopy::assemble(capture);
        QCOMPARE(item->text(), file.fileName().prepend(QStringLiteral("file://")));
        MimeCopy mime_copy;
        mime_copy.capture_files(*item, true);
        // Recorded at once, listing the user's file: the snapshot is made on the maker's thread.
        QCOMPARE(item->urls().value(0).toLocalFile(), file.fileName());
        QVERIFY(mime_copy.wait_for_paste_copies(10000));
        const QString snapshot = MimeCopy::listed_files(*item).value_or(QList<QUrl>()).value(0).toLocalFile();
        QVERIFY2(snapshot.startsWith(mime_copy.path() + QStringLiteral("/temp/")), qPrintable(snapshot));
        QVERIFY(!item->hasFormat(QStringLiteral("application/x-kde-cutselection")));
        QVERIFY(item->data(QStringLiteral("x-special/gnome-copied-files")).startsWith("copy\n"));
    }
};

QTEST_GUILESS_MAIN(TestStoredMimeData)
#include "TestStoredMimeData.moc"
