// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's requests and answers: what the arguments make, what the running copy reads off a connection.
#include "core/RemoteCommand.h"

#include <QTest>

using namespace remote;

class TestRemoteCommand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void arguments()
    {
        const Parsed push = parse_arguments({"push", "two", "words"});
        QVERIFY(push.request);
        QCOMPARE(push.request->text, QByteArray("two words"));
        QVERIFY(!push.request->from_stdin);
        QVERIFY(parse_arguments({"push", "-"}).request->from_stdin);
        QCOMPARE(parse_arguments({"order", "forward"}).request->argument, QString("forward"));
        QCOMPARE(header(*parse_arguments({"list", "--json"}).request), QByteArray("STACKPASTE 2 list --json\n"));
        QVERIFY(parse_arguments({"show"}).request);
        // Each usage error names what is wrong.
        QVERIFY(parse_arguments({"push"}).error.contains("push"));
        QVERIFY(parse_arguments({"paste"}).error.contains("\"paste\""));
        QVERIFY(parse_arguments({"order", "up"}).error.contains("\"up\""));
        QVERIFY(parse_arguments({"order"}).error.contains("backward|forward|manual"));
        QVERIFY(parse_arguments({"quit", "now"}).error.contains("\"now\""));
        QVERIFY(parse_arguments({"list", "--json", "x"}).error.contains("one argument"));
        QVERIFY(help_text().contains("toggle-pause") && help_text().contains("show window|history"));
        // Every shortcut's command has a name of its own for the desktop's key bindings.
        QCOMPARE(parse_arguments({"shortcut", "switch-paste-order"}).request->argument, QString("switch-paste-order"));
        QVERIFY(parse_arguments({"shortcut", "paste"}).error.contains("lock-current-position"));
        for (int row = 0; row < 12; ++row)
            QCOMPARE(shortcut_row(shortcut_name(row)), row);
        QCOMPARE(shortcut_name(7), QString("clipboard-undo-with-arrow"));
    }

    void reading_requests()
    {
        // A header that arrives byte by byte, and the first version's only request.
        RequestReader reader;
        const QByteArray line = "STACKPASTE 2 order manual\n";
        for (int i = 0; i + 1 < line.size(); ++i)
            QCOMPARE(reader.feed(line.mid(i, 1)), RequestReader::State::incomplete);
        QCOMPARE(reader.feed("\n"), RequestReader::State::complete);
        QCOMPARE(reader.request().argument, QString("manual"));
        RequestReader first;
        QCOMPARE(first.feed("STACKPASTE 1 show\n"), RequestReader::State::complete);
        QCOMPARE(first.request().version, 1);

        // A push body in chunks, split anywhere.
        const QByteArray body = "STACKPASTE 2 push\n" + chunk("hello ") + chunk(QByteArray(300, 'x')) + chunk({});
        RequestReader push;
        for (int i = 0; i < body.size(); i += 7)
            push.feed(body.mid(i, 7));
        QCOMPARE(push.state(), RequestReader::State::complete);
        QCOMPARE(push.request().text, "hello " + QByteArray(300, 'x'));
        RequestReader half;
        QCOMPARE(half.feed("STACKPASTE 2 push\n5\nab"), RequestReader::State::incomplete);

        // Junk, a line without end, another version, a bad chunk length, a text beyond the limit.
        for (const QByteArray& junk :
             {QByteArray("GET / HTTP/1.0\n"), QByteArray(k_max_header + 1, 'a'), QByteArray("STACKPASTE 9 list\n"),
              QByteArray("STACKPASTE 1 quit\n"), QByteArray("STACKPASTE 2 rm -rf\n"),
              QByteArray("STACKPASTE 2 push now\n"), QByteArray("STACKPASTE 2 push\nzz\n"),
              "STACKPASTE 2 push\n" + QByteArray::number(k_max_push_bytes + 1, 16) + "\n"}) {
            RequestReader bad;
            QCOMPARE(bad.feed(junk), RequestReader::State::failed);
            QVERIFY(!bad.error().isEmpty());
        }
    }

    void answers()
    {
        const QByteArray bytes = encode({k_exit_not_text, "out\n", "err"});
        for (int i = 0; i < bytes.size(); ++i)
            QCOMPARE(decode(bytes.left(i)).state, Decoded::State::incomplete);
        const Decoded decoded = decode(bytes);
        QCOMPARE(decoded.state, Decoded::State::complete);
        QCOMPARE(decoded.answer.status, k_exit_not_text);
        QCOMPARE(decoded.answer.out, QByteArray("out\n"));
        QCOMPARE(decoded.answer.err, QByteArray("err"));
        const Decoded error = decode(encode_error("bad\nthing"));
        QCOMPARE(error.state, Decoded::State::error);
        QCOMPARE(error.why, QString("bad thing"));
        QCOMPARE(decode("HTTP/1.0 200\n").state, Decoded::State::garbage);
        QCOMPARE(decode("OK\n").state, Decoded::State::garbage);
    }
};

QTEST_GUILESS_MAIN(TestRemoteCommand)
#include "TestRemoteCommand.moc"
