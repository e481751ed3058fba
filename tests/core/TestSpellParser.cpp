// SPDX-License-Identifier: GPL-3.0-or-later
// The spell tokeniser and matcher, the debug window's text and the addresses the spells open.
#include "core/ClipboardHistory.h"
#include "core/DebugText.h"
#include "core/SpellParser.h"
#include "core/StoredMimeData.h"
#include "core/WebPages.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using Kind = SpellToken::Kind;
Q_DECLARE_METATYPE(SpellToken::Kind)

class TestSpellParser : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void token_kinds_data()
    {
        QTest::addColumn<QByteArray>("word");
        QTest::addColumn<Kind>("kind");
        QTest::newRow("bool word") << QByteArray("Enable") << Kind::Bool;
        QTest::newRow("start is a bool") << QByteArray("start") << Kind::Bool;
        QTest::newRow("digits") << QByteArray("1") << Kind::Integer;
        QTest::newRow("signed") << QByteArray("-42") << Kind::Integer;
        QTest::newRow("largest 64 bits") << QByteArray("9223372036854775807") << Kind::Integer;
        QTest::newRow("smallest 64 bits") << QByteArray("-9223372036854775808") << Kind::Integer;
        QTest::newRow("beyond 64 bits") << QByteArray("9223372036854775808") << Kind::String;
        QTest::newRow("no integer part") << QByteArray(".5") << Kind::Float;
        QTest::newRow("no fraction") << QByteArray("5.") << Kind::Float;
        QTest::newRow("signed float") << QByteArray("-.5") << Kind::Float;
        QTest::newRow("point alone") << QByteArray(".") << Kind::String;
        QTest::newRow("sign alone") << QByteArray("+") << Kind::String;
        QTest::newRow("two points") << QByteArray("1.2.3") << Kind::String;
        QTest::newRow("exponent") << QByteArray("1e5") << Kind::String;
        QTest::newRow("word") << QByteArray("two") << Kind::String;
    }
    void token_kinds()
    {
        QFETCH(QByteArray, word);
        QFETCH(Kind, kind);
        const QList<SpellToken> tokens = spell_parser::tokenize(word);
        QCOMPARE(tokens.size(), 1);
        QCOMPARE(tokens.at(0).kind, kind);
    }

    void token_values()
    {
        const QList<SpellToken> tokens = spell_parser::tokenize("OFF -7 2. Yes");
        QCOMPARE(tokens.size(), 4);
        QCOMPARE(tokens.at(0).bool_value, false);
        QCOMPARE(tokens.at(0).text, QByteArray("off"));
        QCOMPARE(tokens.at(1).integer_value, qint64(-7));
        QCOMPARE(tokens.at(2).float_value, 2.0);
        QCOMPARE(tokens.at(3).bool_value, true);
        // Only ASCII letters are lower-cased; other UTF-8 bytes stay as typed.
        QCOMPARE(spell_parser::tokenize("ÄB").at(0).text, QByteArray("Äb"));
    }

    void matching_data()
    {
        QTest::addColumn<QByteArray>("spell");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<bool>("match");
        QTest::newRow("bool word as literal")
            << QByteArray("STOP START AT STARTUP") << QByteArray("%b start at startup") << true;
        QTest::newRow("any bool word") << QByteArray("Enable start at startup") << QByteArray("%b start at startup")
                                       << true;
        QTest::newRow("white space") << QByteArray("  On \t HIDDEN\n\n features  ") << QByteArray("%b hidden features")
                                     << true;
        QTest::newRow("integer is no bool")
            << QByteArray("1 hidden features") << QByteArray("%b hidden features") << false;
        QTest::newRow("missing bool") << QByteArray("hidden features") << QByteArray("%b hidden features") << false;
        QTest::newRow("extra word") << QByteArray("on hidden features now") << QByteArray("%b hidden features")
                                    << false;
        QTest::newRow("monitor number") << QByteArray("off monitor 2") << QByteArray("%b monitor %d") << true;
        QTest::newRow("monitor word") << QByteArray("on monitor two") << QByteArray("%b monitor %d") << false;
        QTest::newRow("overflow is no integer")
            << QByteArray("on monitor 99999999999999999999") << QByteArray("%b monitor %d") << false;
        QTest::newRow("float is no integer") << QByteArray("on monitor 2.") << QByteArray("%b monitor %d") << false;
        QTest::newRow("%f takes an integer") << QByteArray("3") << QByteArray("%f") << true;
        QTest::newRow("%f takes a float") << QByteArray(".3") << QByteArray("%f") << true;
        QTest::newRow("%s takes a word") << QByteArray("salsa") << QByteArray("%s") << true;
        QTest::newRow("%s refuses a bool") << QByteArray("on") << QByteArray("%s") << false;
        QTest::newRow("literal integer") << QByteArray("+1") << QByteArray("+1") << true;
        QTest::newRow("empty spell") << QByteArray("   ") << QByteArray("help") << false;
    }
    void matching()
    {
        QFETCH(QByteArray, spell);
        QFETCH(QByteArray, pattern);
        QFETCH(bool, match);
        QCOMPARE(spell_parser::matches(spell_parser::tokenize(spell), pattern), match);
    }

    void debug_body_of_texts()
    {
        ClipboardHistory history;
        HistoryOptions options;
        options.is_rich_text_copy_enabled = false;
        history.set_options(options);
        QCOMPARE(debug_text::body(history), QStringLiteral("Current clipboard history position:-1\n"));
        history.copy_step();
        history.add_text(QStringLiteral("a"));
        history.copy_step();
        history.add_text(QStringLiteral("b\nc"));
        const QString body = debug_text::body(history);
        QVERIFY2(body.endsWith(QStringLiteral("\n0: a\n1: b⏎c\n")), qPrintable(body));

        const QString long_text(100000, QLatin1Char('x'));
        const QString cut = debug_text::cut(long_text);
        QVERIFY(cut.size() < 200);
        QVERIFY2(cut.endsWith(QStringLiteral("(100000 characters)")), qPrintable(cut));

        // A text that reads right to left, or holds direction controls, is isolated with its controls balanced: it
        // cannot turn the item's number or the words after it around.
        const QString fsi(QChar(0x2068)), pdi(QChar(0x2069)), rlo(QChar(0x202E)), pdf(QChar(0x202C));
        history.copy_step();
        history.add_text(rlo + QStringLiteral("evil"));
        QVERIFY(debug_text::body(history).endsWith(QStringLiteral("2: ") + fsi + rlo + "evil" + pdf + pdi + "\n"));
        QCOMPARE(debug_text::isolated(QStringLiteral("a") + pdi + pdf + "b"), fsi + "ab" + pdi);
        QCOMPARE(debug_text::isolated(QChar(0x2067) + QStringLiteral("x") + rlo + "y" + pdi + pdf + "z" + rlo),
                 fsi + QChar(0x2067) + "x" + rlo + "y" + pdi + "z" + rlo + pdf + pdi);
        const QString hebrew = QStringLiteral("\u05E9\u05DC\u05D5\u05DD");
        QCOMPARE(debug_text::cut(hebrew), fsi + hebrew + pdi);
        // A right-to-left letter beyond the basic plane (Adlam) counts too.
        const QString adlam = QString::fromUcs4(U"\U0001E900");
        QCOMPARE(debug_text::isolated(adlam), fsi + adlam + pdi);
    }

    void debug_line_of_mime_items()
    {
        QMimeData text;
        text.setData(QStringLiteral("text/plain"), "abc");
        QCOMPARE(debug_text::mime_item_line(0, text), QStringLiteral("0: {{format:text/plain, mime_data:abc}, }\n"));

        // A screenshot: its type and size, never its bytes.
        QMimeData image;
        image.setData(QStringLiteral("image/png"), QByteArray(25'000'000, '\x89'));
        const QString line = debug_text::mime_item_line(3, image);
        QCOMPARE(line, QStringLiteral("3: {{format:image/png, mime_data:25000000 bytes}, }\n"));

        QMimeData html;
        html.setData(QStringLiteral("text/html"), QByteArray(1'000'000, 'h'));
        const QString html_line = debug_text::mime_item_line(1, html);
        QVERIFY(html_line.size() < 200);
        QVERIFY2(html_line.contains(QStringLiteral("(1000000 bytes)")), qPrintable(html_line));

        // A stored picture is described by its bytes, never decoded: this one's header promises 2000 x 2000 pixels
        // and then the bytes end, so a decode fails and says so.
        StoredMimeData picture;
        // A PNG signature and its header chunk, nothing more.
        picture.set_format(QStringLiteral("image/png"),
                           QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000007d0000007d008060000009a38c479"));
        picture.set_image_format(QStringLiteral("image/png"), true);
        picture.set_format(QStringLiteral("text/plain"), QByteArray("caption"));
        static QStringList messages;
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) { messages << message; });
        QVERIFY(picture.decode_image().isNull());
        const bool decode_speaks = !messages.isEmpty();
        messages.clear();
        const QString picture_line = debug_text::mime_item_line(0, picture);
        qInstallMessageHandler(previous);
        QVERIFY(decode_speaks);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join(QLatin1Char('\n'))));
        QCOMPARE(picture_line,
                 QStringLiteral("0: {{format:image/png, mime_data:33 bytes}, {format:text/plain, mime_data:caption}, "
                                "{format:application/x-qt-image, mime_data:the picture, decoded when a program asks "
                                "for it}, }\n"));
    }

    void help_page_beside_the_executable_comes_first()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/doc/stackpaste")));
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        const QString installed = prefix.filePath(QStringLiteral("share/doc/stackpaste/hidden-features.html"));
        const QString beside = prefix.filePath(QStringLiteral("bin/hidden-features.html"));

        QVERIFY(QUrl(web_pages::hidden_features_help(bin)).scheme().startsWith(QLatin1String("http")));
        QFile(installed).open(QIODevice::WriteOnly);
        QCOMPARE(web_pages::hidden_features_help(bin), QUrl::fromLocalFile(installed));
        QFile(beside).open(QIODevice::WriteOnly);
        QCOMPARE(web_pages::hidden_features_help(bin), QUrl::fromLocalFile(beside));
    }

    void every_page_spell_has_its_own_address()
    {
        QSet<QString> addresses;
        for (const QByteArray& spell : web_pages::page_spells()) {
            const QString address = web_pages::page_of_spell(spell);
            QVERIFY2(address.startsWith(QLatin1String(web_pages::k_site)), spell.constData());
            addresses.insert(address);
        }
        QCOMPARE(addresses.size(), web_pages::page_spells().size());
        QCOMPARE(web_pages::page_of_spell("affiliate"),
                 QLatin1String(web_pages::k_site) + QStringLiteral("/affiliate"));
    }
};

QTEST_GUILESS_MAIN(TestSpellParser)
#include "TestSpellParser.moc"
