// SPDX-License-Identifier: GPL-3.0-or-later
// What a copy keeps of what an owner offers: the targets transferred, and the formats Qt names them by, the same
// for the X11 reader's transfers and for a read through Qt's clipboard.
#include "core/CaptureRules.h"
#include "core/MimeCopy.h"
#include "core/ServedPasteTrigger.h"
#include "core/ServedRequests.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

class TestCaptureRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wanted_targets_skip_pseudo_targets_and_extra_image_encodings()
    {
        QCOMPARE(capture_rules::wanted_targets({"TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS", "image/bmp",
                                                "image/png", "image/jpeg", "text/html", "UTF8_STRING", "UTF8_STRING"}),
                 (QStringList{"image/png", "text/html", "UTF8_STRING"}));
        QCOMPARE(capture_rules::wanted_targets({"image/bmp", "image/jpeg"}), QStringList{"image/bmp"});
        QCOMPARE(capture_rules::wanted_targets({"application/x-qt-image", "image/png", "image/bmp"}),
                 QStringList{"image/png"});
    }

    void the_text_is_transferred_once_however_many_encodings_are_offered()
    {
        // What a GTK program offers for a copied text: six names of one text.
        const QStringList gtk{"TIMESTAMP",    "TARGETS",     "MULTIPLE",
                              "SAVE_TARGETS", "UTF8_STRING", "COMPOUND_TEXT",
                              "TEXT",         "STRING",      "text/plain;charset=utf-8",
                              "text/plain"};
        QCOMPARE(capture_rules::wanted_targets(gtk), QStringList{"UTF8_STRING"});
        QCOMPARE(capture_rules::wanted_targets({"COMPOUND_TEXT", "STRING"}), QStringList{"STRING"});
        QCOMPARE(capture_rules::wanted_targets({"COMPOUND_TEXT"}), QStringList{"COMPOUND_TEXT"});
        QCOMPARE(capture_rules::wanted_targets({"text/plain;charset=utf-8", "text/html"}),
                 (QStringList{"text/plain;charset=utf-8", "text/html"}));
        QCOMPARE(capture_rules::wanted_targets({"text/x-moz-url", "text/uri-list"}), QStringList{"text/uri-list"});
        // UTF-8 before Latin-1, which would lose every other character.
        QCOMPARE(capture_rules::wanted_targets({"STRING", "text/plain;charset=utf-8"}),
                 QStringList{"text/plain;charset=utf-8"});
        QCOMPARE(capture_rules::wanted_targets({"application/x-qt-image", "TIMESTAMP"}),
                 QStringList{"application/x-qt-image"});

        // Both names of the text get the same bytes, and Latin-1 becomes UTF-8.
        const auto formats = capture_rules::formats_of({{"STRING", QByteArray("Gr\xfc"
                                                                              "\xdf"
                                                                              "e")}},
                                                       gtk);
        QCOMPARE(formats.size(), 2);
        QCOMPARE(formats.at(0).first, QStringLiteral("text/plain"));
        QCOMPARE(QString::fromUtf8(formats.at(0).second), QStringLiteral("Grüße"));
        QCOMPARE(formats.at(1).first, QStringLiteral("text/plain;charset=utf-8"));
        QCOMPARE(formats.at(1).second, formats.at(0).second);
        const auto only_charset = capture_rules::formats_of({{"text/plain;charset=utf-8", QByteArray("plain")}},
                                                            {"text/plain;charset=utf-8"});
        QCOMPARE(only_charset.at(0).first, QStringLiteral("text/plain"));
        // A zero byte at the end is no part of the text; a Qt owner's picture is PNG.
        QCOMPARE(capture_rules::formats_of({{"UTF8_STRING", QByteArray("words\0", 6)}}, {}).at(0).second,
                 QByteArray("words"));
        const auto qt_image = capture_rules::formats_of({{"application/x-qt-image", QByteArray("png")}}, {});
        QCOMPARE(qt_image.at(0).first, QStringLiteral("image/png"));
    }

    void html_in_utf16_and_browser_links_are_named_and_encoded_as_qt_does()
    {
        const QString html = QStringLiteral("<b>Grüße</b>");
        QByteArray utf16("\xff\xfe");
        utf16.append(reinterpret_cast<const char*>(html.utf16()), html.size() * 2);
        const QString links = QStringLiteral("https://a.example/x\nA page\nhttps://b.example/y\nAnother");
        const QByteArray moz(reinterpret_cast<const char*>(links.utf16()), links.size() * 2);
        const auto formats = capture_rules::formats_of(
            {{"text/html", utf16}, {"text/x-moz-url", moz}, {"application/x-own", QByteArray("kept\0as is", 10)}}, {});
        QCOMPARE(formats.size(), 3);
        QCOMPARE(formats.at(0).second, html.toUtf8());
        QCOMPARE(formats.at(1).first, QStringLiteral("text/uri-list"));
        QCOMPARE(formats.at(1).second, QByteArray("https://a.example/x\r\nhttps://b.example/y\r\n"));
        QCOMPARE(formats.at(2).second, QByteArray("kept\0as is", 10));
        QCOMPARE(capture_rules::formats_of({{"text/html", QByteArray("<i>x</i>\0", 9)}}, {}).at(0).second,
                 QByteArray("<i>x</i>"));
    }

    // Qt's clipboard names the formats itself; what is read of them follows the same rules: one text transfer for
    // both names of the text, no pseudo-target, one image encoding, HTML without its closing zero byte.
    void a_read_through_qt_keeps_what_the_reader_keeps()
    {
        QMimeData source;
        for (const char* target : {"TARGETS", "NULL", "COMPOUND_TEXT", "image/bmp", "image/png"})
            source.setData(target, "x");
        source.setData("text/plain;charset=utf-8", "words");
        source.setData("text/plain", "words in another encoding");
        source.setData("text/html", QByteArray("<i>x</i>\0", 9));
        const ClipboardCapture capture = MimeCopy::read(source, QString());
        QStringList names;
        for (const ClipboardCapture::Format& format : capture.formats)
            names << format.format;
        QCOMPARE(names, (QStringList{"image/png", "text/plain", "text/plain;charset=utf-8", "text/html"}));
        QCOMPARE(capture.formats.at(1).payload, capture.formats.at(2).payload);
        QCOMPARE(capture.formats.at(1).payload->bytes(), QByteArray("words"));
        QCOMPARE(capture.formats.at(3).payload->bytes(), QByteArray("<i>x</i>"));
        QMimeData only_null;
        only_null.setData("NULL", QByteArray());
        QVERIFY(MimeCopy::is_empty_change(only_null));
    }

    // A keeper's read right after an offer, the type list, a second type of the same paste and a request for an
    // offer already replaced are no paste; the first content request after the keepers' moment is one, once.
    void only_the_first_late_content_request_of_the_current_offer_is_a_paste()
    {
        using namespace std::chrono_literals;
        ServedRequests requests;
        const auto start = ServedRequests::Clock::now();
        const quint64 first = requests.offered(start);
        QVERIFY(!requests.is_paste(first, QStringLiteral("text/plain;charset=utf-8"), start + 2ms));
        QVERIFY(!requests.is_paste(first, QStringLiteral("TARGETS"), start + 500ms));
        QVERIFY(requests.is_paste(first, QStringLiteral("UTF8_STRING"), start + 500ms));
        QVERIFY(!requests.is_paste(first, QStringLiteral("text/html"), start + 501ms));
        const quint64 second = requests.offered(start + 502ms);
        QVERIFY(second != first);
        QVERIFY(!requests.is_paste(first, QStringLiteral("text/plain"), start + 600ms));
        QVERIFY(requests.is_paste(second, QStringLiteral("text/plain"), start + 600ms));
    }

    // A served paste is told once the paste had the time to ask for more types; a copy arriving meanwhile is
    // recorded after the paste's step, not before it.
    void a_served_paste_is_told_after_it_settled_and_before_a_copy()
    {
        struct Source : ClipboardSource {
            void own(std::unique_ptr<QMimeData>) override {}
            bool reads_off_the_main_thread() const override { return true; }
        } source;
        ServedPasteTrigger trigger(source);
        QStringList order;
        connect(&trigger, &PasteTrigger::signal_paste, this, [&] { order << "paste"; });
        connect(&source, &ClipboardSource::captured, this, [&] { order << "copy"; });
        Q_EMIT source.served();
        Q_EMIT source.served();
        QCOMPARE(order, QStringList());
        QTRY_COMPARE(order, QStringList{"paste"});
        Q_EMIT source.served();
        Q_EMIT source.captured(ClipboardCapture{});
        QCOMPARE(order, (QStringList{"paste", "paste", "copy"}));
        QTest::qWait(50);
        QCOMPARE(order.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestCaptureRules)
#include "TestCaptureRules.moc"
