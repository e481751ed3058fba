// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ClipboardHistory.h"
#include "core/MimeCopy.h"
#include "core/PasteMaker.h"

#include <QImage>
#include <QTest>
#include <QUrl>

// The history is driven by small scripts, one step per word:
//   c:X copy X    p paste (records the item's text, or "-" when none)    back / fwd manual moves
//   lock / unlock / toggle:R (the dialog's lock with row R selected; toggle: with none)    del:R delete dialog row R
//   move:F>T drag row F to row T    switch the paste order    clear    mode:<text> (underscores for spaces)
struct Run {
    QStringList pasted;
    QStringList items;
    int position = -1;
    int mispredicted = 0; // pastes whose item next_paste() did not name beforehand
};

// The options of a settings file that names the order by `order`: a text that names none walks as backward.
static HistoryOptions options_for(PasteOrder order, bool automatic, bool rich)
{
    HistoryOptions options;
    options.paste_order = order;
    options.use_automatic_position_movement = automatic;
    options.is_rich_text_copy_enabled = rich;
    return options;
}

static HistoryOptions options_for(const QString& order, bool automatic, bool rich)
{
    HistoryOptions options = options_for(PasteOrder::backward, automatic, rich);
    if (order == QLatin1String("forward"))
        options.paste_order = PasteOrder::forward;
    else if (order != QLatin1String("backward"))
        options.unknown_order_text = order;
    return options;
}

// The mode a mode box item names (underscores for spaces); nullopt for a text that is no item's.
static std::optional<Mode> mode_named(const QString& text)
{
    if (text == QLatin1String("Automatic_Forward"))
        return Mode::automatic_forward;
    if (text == QLatin1String("Automatic_Backward"))
        return Mode::automatic_backward;
    if (text == QLatin1String("Manual"))
        return Mode::manual;
    return std::nullopt;
}

static QString item_text(const ClipboardHistory& history, int index)
{
    return history.is_rich_text_copy_enabled() ? history.mime_at(index)->text() : history.text_at(index);
}

static QStringList items_of(const ClipboardHistory& history)
{
    QStringList items;
    for (int i = 0; i < history.size(); ++i)
        items << item_text(history, i);
    return items;
}

static void add_copy(ClipboardHistory& history, const QString& text)
{
    history.copy_step();
    if (history.is_rich_text_copy_enabled()) {
        auto data = std::make_unique<QMimeData>();
        data->setText(text);
        history.add_mime(std::move(data));
    } else {
        history.add_text(text);
    }
}

static Run run_script(ClipboardHistory& history, const QString& script)
{
    Run run;
    for (const QString& step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString arg = step.section(QLatin1Char(':'), 1);
        if (step.startsWith(QLatin1String("c:"))) {
            add_copy(history, arg);
        } else if (step == QLatin1String("p")) {
            const std::optional<int> predicted = history.next_paste();
            const std::optional<int> chosen = history.paste_step();
            run.mispredicted += predicted != chosen ? 1 : 0;
            run.pasted << (chosen ? item_text(history, *chosen) : QStringLiteral("-"));
        } else if (step == QLatin1String("back")) {
            history.go_back();
        } else if (step == QLatin1String("fwd")) {
            history.go_forward();
        } else if (step == QLatin1String("lock")) {
            history.lock();
        } else if (step == QLatin1String("unlock")) {
            history.unlock();
        } else if (step == QLatin1String("toggle")) {
            history.toggle_lock(std::nullopt);
        } else if (step.startsWith(QLatin1String("toggle:"))) {
            history.toggle_lock(arg.toInt());
        } else if (step.startsWith(QLatin1String("del:"))) {
            history.delete_row(arg.toInt());
        } else if (step.startsWith(QLatin1String("move:"))) {
            history.move_row(arg.section(QLatin1Char('>'), 0, 0).toInt(), arg.section(QLatin1Char('>'), 1).toInt());
        } else if (step == QLatin1String("switch")) {
            history.switch_paste_order();
        } else if (step == QLatin1String("clear")) {
            history.clear();
        } else if (step.startsWith(QLatin1String("mode:"))) {
            if (const std::optional<Mode> mode = mode_named(arg))
                history.set_mode(*mode);
        } else {
            qFatal("unknown step %s", qPrintable(step));
        }
    }
    run.items = items_of(history);
    run.position = history.position();
    return run;
}

static QStringList words(const char* text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

class TestClipboardHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void a_row_is_one_short_line_of_the_text_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("row");
        const QChar mark(0x23CE);
        const QChar more(0x2026);
        QTest::newRow("plain") << "plain"
                               << "plain";
        QTest::newRow("line ends of every kind are one mark each")
            << "a\nb\r\nc\rd" << QStringLiteral("a%1b%1c%1d").arg(mark);
        QTest::newRow("tabs and controls") << "a\tb\x01"
                                           << "a b ";
        QTest::newRow("exactly a row") << QString(300, 'x') << QString(300, 'x');
        QTest::newRow("one more is cut") << QString(301, 'x') << QString(300, 'x') + more;
        // 299 letters and then an emoji: the pair would be cut in half.
        QTest::newRow("a surrogate pair is never split")
            << QString(299, 'x') + QString::fromUtf8("\xF0\x9F\x98\x80") + "tail" << QString(299, 'x') + more;
    }
    void a_row_is_one_short_line_of_the_text()
    {
        QFETCH(QString, text);
        QFETCH(QString, row);
        QCOMPARE(ClipboardHistory::row_text_of(text), row);
    }

    void a_mime_row_reads_only_the_start_of_the_text()
    {
        QMimeData item;
        // Many megabytes of multi-byte text; the row needs only its start.
        QByteArray bytes;
        for (int i = 0; i < 200000; ++i)
            bytes += "\xC3\xA9t\xC3\xA9 ";
        item.setData(QStringLiteral("text/plain"), bytes);
        const QString row = ClipboardHistory::row_text_of(item);
        QCOMPARE(row.size(), 301);
        QVERIFY(row.startsWith(QString::fromUtf8("\xC3\xA9t\xC3\xA9 \xC3\xA9t\xC3\xA9 ")));
        QVERIFY(!row.contains(QChar::ReplacementCharacter));

        QMimeData image;
        image.setImageData(QImage(4, 4, QImage::Format_RGB32));
        image.setText(QStringLiteral("alt text"));
        QCOMPARE(ClipboardHistory::row_text_of(image), QStringLiteral("Image Data"));

        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt")), QUrl::fromLocalFile("/tmp/c")});
        QCOMPARE(ClipboardHistory::row_text_of(files), QStringLiteral("/tmp/a b.txt /tmp/c"));
        QCOMPARE(ClipboardHistory::row_text_of(QMimeData()), QString());
    }

    void the_dialog_listing_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QList<int>>("indices");
        QTest::addColumn<int>("position_after");
        // The history holds three items: indices 0, 1, 2.
        QTest::newRow("backward at the newest") << "backward" << 2 << true << QList<int>{2, 1, 0} << 2;
        QTest::newRow("backward beyond the end") << "backward" << 5 << true << QList<int>{2, 1, 0} << 5;
        QTest::newRow("backward at -1") << "backward" << -1 << false << QList<int>{} << -1;
        QTest::newRow("backward below -1") << "backward" << -3 << true << QList<int>{} << -3;
        QTest::newRow("forward at 1") << "forward" << 1 << true << QList<int>{1, 2} << 1;
        QTest::newRow("forward at -1") << "forward" << -1 << true << QList<int>{0, 1, 2} << 0;
        QTest::newRow("forward at n") << "forward" << 3 << false << QList<int>{} << 3;
        QTest::newRow("forward beyond n") << "forward" << 4 << true << QList<int>{} << 4;
        QTest::newRow("forward below -1") << "forward" << -2 << true << QList<int>{} << -2;
    }
    void the_dialog_listing()
    {
        QFETCH(QString, order);
        QFETCH(int, position);
        QFETCH(bool, opens);
        QFETCH(QList<int>, indices);
        QFETCH(int, position_after);
        ClipboardHistory history;
        history.set_rich_text_copy_enabled(false);
        for (const char* text : {"X", "Y", "Z"})
            history.insert_front_text(QString::fromLatin1(text));
        history.set_options(options_for(order, true, false));
        history.set_position(position);
        const std::optional<QList<int>> listing = history.open_dialog_listing();
        QCOMPARE(listing.has_value(), opens);
        QCOMPARE(listing.value_or(QList<int>{}), indices);
        QCOMPARE(history.position(), position_after);
        // Every listed row names an item, and the row rule gives back the listed index.
        for (int row = 0; row < indices.size(); ++row)
            QCOMPARE(history.index_for_row(row), std::optional<int>(indices.at(row)));
        QVERIFY(!history.index_for_row(indices.size()) || indices.isEmpty());
    }
    void scripts_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<bool>("rich");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("pasted");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("position");

        // Each script starts on an empty history: the cases where the position runs off an end of the list.
        for (bool rich : {false, true}) {
            const char* h = rich ? "mime" : "text";
            QTest::addRow("%s: backward copies land above the position", h)
                << "backward" << true << rich << "c:X c:Y c:Z" << QStringList() << words("X Y Z") << 2;
            QTest::addRow("%s: backward pastes walk newest first and stay on the oldest", h)
                << "backward" << true << rich << "c:X c:Y c:Z p p p p" << words("Z Y X X") << words("X Y Z") << -1;
            QTest::addRow("%s: backward copy after the walk goes in above the oldest", h)
                << "backward" << true << rich << "c:X c:Y c:Z p p p p c:W p p" << words("Z Y X X W X")
                << words("X W Y Z") << -1;
            QTest::addRow("%s: forward copies append and pastes walk oldest first", h)
                << "forward" << true << rich << "c:X c:Y c:Z p p p" << words("X Y Z") << words("X Y Z") << 3;
            QTest::addRow("%s: manual backward always pastes the newest", h)
                << "backward" << false << rich << "c:X c:Y c:Z p p p" << words("Z Z Z") << words("Z Y X") << 0;
            QTest::addRow("%s: manual forward always pastes the oldest", h)
                << "forward" << false << rich << "c:X c:Y c:Z p p" << words("X X") << words("X Y Z") << 0;
            QTest::addRow("%s: a copy right after the third forward paste is next", h)
                << "forward" << true << rich << "c:X c:Y c:Z p p p c:W p" << words("X Y Z W") << words("X Y Z W") << 4;
            QTest::addRow("%s: paste on an empty history chooses nothing and lifts -1 to 0", h)
                << "backward" << true << rich << "p" << words("-") << QStringList() << 0;
            QTest::addRow("%s: locked pastes repeat one item, unlock restores the saved position", h)
                << "backward" << true << rich << "c:X c:Y c:Z p lock p p c:W unlock p" << words("Z Y Y Y")
                << words("X Y W Z") << 0;
            QTest::addRow("%s: dialog lock moves the position to the selected row", h)
                << "backward" << true << rich << "c:X c:Y c:Z toggle:2 p p toggle p" << words("X X Z") << words("X Y Z")
                << 1;
            QTest::addRow("%s: dialog deletes keep the position on the coming item", h)
                << "backward" << true << rich << "c:X c:Y c:Z p del:0 del:0" << words("Z") << words("Z") << -1;
            QTest::addRow("%s: deleting the last item leaves -1", h)
                << "forward" << true << rich << "c:X del:0" << QStringList() << QStringList() << -1;
            QTest::addRow("%s: forward delete keeps the position, naming the next item", h)
                << "forward" << true << rich << "c:X c:Y c:Z p del:0 p" << words("X Z") << words("X Z") << 2;
            QTest::addRow("%s: forward drag of row 1 to row 0", h)
                << "forward" << true << rich << "c:X c:Y c:Z p move:1>0 p" << words("X Z") << words("X Z Y") << 2;
            QTest::addRow("%s: backward drag of row 0 to row 2", h)
                << "backward" << true << rich << "c:X c:Y c:Z move:0>2 p" << words("Y") << words("Z X Y") << 1;
            QTest::addRow("%s: a row beyond the list does nothing", h)
                << "backward" << true << rich << "c:X c:Y p del:5 move:0>4 del:-1" << words("Y") << words("X Y") << 0;
            QTest::addRow("%s: rows name nothing at -1 in backward order", h)
                << "backward" << true << rich << "c:X c:Y p p del:0" << words("Y X") << words("X Y") << -1;
            QTest::addRow("%s: go back from -1 in backward gives 1, also for a single item", h)
                << "backward" << true << rich << "c:X p back p" << words("X X") << words("X") << -1;
            QTest::addRow("%s: go forward in backward from 0 gives -1", h)
                << "backward" << true << rich << "c:X c:Y p p fwd" << words("Y X") << words("X Y") << -1;
            QTest::addRow("%s: manual moves in forward order stay in range", h)
                << "forward" << true << rich << "c:X c:Y c:Z fwd fwd fwd back p" << words("Y") << words("X Y Z") << 2;
            QTest::addRow("%s: switching to backward starts at the newest", h)
                << "forward" << true << rich << "c:X c:Y c:Z switch p" << words("Z") << words("X Y Z") << 1;
            QTest::addRow("%s: switching an empty history to forward gives 0", h)
                << "backward" << true << rich << "switch" << QStringList() << QStringList() << 0;
            QTest::addRow("%s: switching an empty history to backward gives -1", h)
                << "forward" << true << rich << "switch" << QStringList() << QStringList() << -1;
            QTest::addRow("%s: an unknown order walks as backward", h)
                << "sideways" << true << rich << "c:X c:Y p p p c:Z p" << words("Y X X Z") << words("X Z Y") << 0;
            QTest::addRow("%s: an unknown order in manual mode always pastes the newest", h)
                << "sideways" << false << rich << "c:X c:Y p p" << words("Y Y") << words("Y X") << 0;
            QTest::addRow("%s: modes set order and movement; other texts change nothing", h)
                << "backward" << true << rich << "mode:Automatic_Forward c:X c:Y mode:Manual p p mode:nonsense p"
                << words("X X X") << words("X Y") << 0;
            QTest::addRow("%s: clear empties and resets the position", h)
                << "backward" << true << rich << "c:X c:Y clear p" << words("-") << QStringList() << 0;
        }
        // Past the end of a forward walk the two histories differ by one step.
        QTest::addRow("text: fourth forward paste leaves 3, a later copy is next")
            << "forward" << true << false << "c:X c:Y c:Z p p p p c:W p" << words("X Y Z Z W") << words("X Y Z W") << 4;
        QTest::addRow("mime: fourth forward paste leaves 2, a later copy comes after Z once more")
            << "forward" << true << true << "c:X c:Y c:Z p p p p c:W p p" << words("X Y Z Z Z W") << words("X Y Z W")
            << 4;
        QTest::addRow("mime: fifth forward paste gives Z again")
            << "forward" << true << true << "c:X c:Y c:Z p p p p p" << words("X Y Z Z Z") << words("X Y Z") << 3;
        QTest::addRow("forward lock beyond the end reads the last item")
            << "forward" << true << false << "c:X c:Y p p lock p p" << words("X Y Y Y") << words("X Y") << 2;
    }

    void scripts()
    {
        QFETCH(QString, order);
        QFETCH(bool, automatic);
        QFETCH(bool, rich);
        QFETCH(QString, script);
        ClipboardHistory history;
        history.set_options(options_for(order, automatic, rich));
        const Run run = run_script(history, script);
        QTEST(run.pasted, "pasted");
        QTEST(run.items, "items");
        QTEST(run.position, "position");
        QCOMPARE(run.mispredicted, 0);
    }

    void hundred_and_first_add_drops_the_oldest_end_without_moving_the_position()
    {
        for (const PasteOrder order : {PasteOrder::backward, PasteOrder::forward}) {
            ClipboardHistory history;
            history.set_options(options_for(order, true, false));
            for (int i = 0; i < ClipboardHistory::k_max_items; ++i)
                add_copy(history, QString::number(i));
            const int before = history.position();
            add_copy(history, QStringLiteral("new"));
            QCOMPARE(history.size(), ClipboardHistory::k_max_items);
            QCOMPARE(history.text_at(0), QStringLiteral("1"));
            if (order == PasteOrder::backward) {
                // The new item went in at position 100 and the list shifted down: the position names the
                // slot one above the newest item, and a paste pulls it back to the newest.
                QCOMPARE(history.position(), before + 1);
                QCOMPARE(history.text_at(*history.paste_step()), QStringLiteral("new"));
            } else {
                QCOMPARE(history.position(), before);
                QCOMPARE(history.text_at(history.size() - 1), QStringLiteral("new"));
            }
        }
    }

    void trimming_mime_items_destroys_them()
    {
        ClipboardHistory history;
        QPointer<QMimeData> oldest;
        for (int i = 0; i <= ClipboardHistory::k_max_items; ++i) {
            auto data = std::make_unique<QMimeData>();
            data->setText(QString::number(i));
            if (i == 0)
                oldest = data.get();
            history.copy_step();
            history.add_mime(std::move(data));
        }
        QVERIFY(oldest.isNull());
        QCOMPARE(history.mime_at(0)->text(), QStringLiteral("1"));
    }

    void moved_mime_item_is_replaced_by_a_fresh_copy()
    {
        ClipboardHistory history;
        history.set_options(options_for(PasteOrder::forward, true, true));
        add_copy(history, QStringLiteral("X"));
        add_copy(history, QStringLiteral("Y"));
        QPointer<QMimeData> moved = const_cast<QMimeData*>(history.mime_at(1));
        QVERIFY(history.move_row(1, 0, [](const QMimeData& source) {
            auto copy = std::make_unique<QMimeData>();
            copy->setText(source.text() + QStringLiteral("'"));
            return copy;
        }));
        QVERIFY(moved.isNull());
        QCOMPARE(items_of(history), QStringList({"Y'", "X"}));
    }

    void rich_text_switch_empties_both_histories()
    {
        ClipboardHistory history;
        history.set_options(options_for(PasteOrder::backward, true, false));
        add_copy(history, QStringLiteral("text"));
        history.set_rich_text_copy_enabled(true);
        add_copy(history, QStringLiteral("mime"));
        history.set_rich_text_copy_enabled(false);
        QVERIFY(history.text_items().isEmpty());
        QVERIFY(history.mime_items().empty());
        QCOMPARE(history.position(), -1);
    }

    void inactive_history_keeps_its_items_and_is_never_read()
    {
        ClipboardHistory history;
        history.set_options(options_for(PasteOrder::backward, true, false));
        add_copy(history, QStringLiteral("text"));
        history.set_options(options_for(PasteOrder::backward, true, true));
        QCOMPARE(history.paste_step(), std::nullopt);
        QCOMPARE(history.text_items(), QStringList{"text"});
    }

    void status_number_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("shown"); // -1: the indicator keeps what it shows
        QTest::addColumn<int>("position");
        QTest::newRow("backward first copy shows 1") << "backward"
                                                     << "c:X" << 1 << 0;
        QTest::newRow("backward three copies show 3") << "backward"
                                                      << "c:X c:Y c:Z" << 3 << 2;
        QTest::newRow("forward three copies show 3") << "forward"
                                                     << "c:X c:Y c:Z" << 3 << 0;
        QTest::newRow("backward after the walk keeps its number") << "backward"
                                                                  << "c:X p" << -1 << -1;
        QTest::newRow("forward at the end keeps its number") << "forward"
                                                             << "c:X p" << -1 << 1;
        QTest::newRow("forward -1 is lifted to 0") << "forward"
                                                   << "c:X c:Y clear c:Z" << 1 << 0;
        QTest::newRow("forward empty history from -1 shows 0") << "forward"
                                                               << "clear" << 0 << 0;
        QTest::newRow("backward emptied history shows 0") << "backward"
                                                          << "c:X c:Y clear" << 0 << -1;
    }

    void status_number()
    {
        QFETCH(QString, order);
        QFETCH(QString, script);
        QFETCH(int, shown);
        ClipboardHistory history;
        history.set_options(options_for(order, true, false));
        run_script(history, script);
        if (script == QLatin1String("clear"))
            history.set_position(-1);
        const std::optional<int> number = history.status_number();
        QCOMPARE(number.value_or(-1), shown);
        QTEST(history.position(), "position");
    }

    void delete_in_backward_order_below_zero_reads_nothing_outside_the_list()
    {
        ClipboardHistory history;
        run_script(history, QStringLiteral("c:X c:Y c:Z p p del:0"));
        // X was deleted at position 0: the position is now -1 and every read stays inside the list.
        QCOMPARE(history.position(), -1);
        for (int i = 0; i < 5; ++i) {
            const std::optional<int> chosen = history.paste_step();
            QVERIFY(chosen && *chosen >= 0 && *chosen < history.size());
        }
    }

    // Where pastes are told once served, the clipboard holds the next item at all times: offered again only when it
    // changed or when asked to; a served paste steps and offers the next; a paste of our own other text (the
    // autocomplete's) takes no item; nothing while paused.
    void the_next_item_is_offered_ahead_of_each_served_paste()
    {
        ClipboardHistory history;
        history.set_rich_text_copy_enabled(false);
        MimeCopy mime_copy;
        PasteMaker maker(history, mime_copy);
        const auto text = [](const std::unique_ptr<QMimeData>& content) {
            return content ? content->text() : QStringLiteral("-");
        };
        for (const char* copy : {"A", "B", "C"})
            add_copy(history, QString::fromLatin1(copy));
        QCOMPARE(text(maker.offer(false)), QStringLiteral("C"));
        QCOMPARE(text(maker.offer(false)), QStringLiteral("-"));
        QCOMPARE(text(maker.offer(true)), QStringLiteral("C"));
        QCOMPARE(text(maker.after_paste()), QStringLiteral("B"));
        maker.offered_other();
        QCOMPARE(text(maker.offer(false)), QStringLiteral("-"));
        QCOMPARE(text(maker.after_paste()), QStringLiteral("B"));
        QCOMPARE(text(maker.after_paste()), QStringLiteral("A"));
        add_copy(history, QStringLiteral("D"));
        QCOMPARE(text(maker.offer(false)), QStringLiteral("D"));
        history.set_paused(true);
        QCOMPARE(text(maker.after_paste()), QStringLiteral("-"));
        QCOMPARE(text(maker.offer(true)), QStringLiteral("-"));
    }
};

QTEST_GUILESS_MAIN(TestClipboardHistory)
#include "TestClipboardHistory.moc"
