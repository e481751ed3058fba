// SPDX-License-Identifier: GPL-3.0-or-later
// The history dialog on the offscreen platform, driven through the App as the user drives it.
#include "core/SaveManager.h"
#include "fakes/FakeKeyboard.h"
#include "support/AppUnderTest.h"
#include "support/AppWindows.h"
#include "ui/App.h"
#include "ui/HistoryDialog.h"
#include "ui/ImageViewer.h"
#include "ui/ListWidget.h"
#include "ui/Placement.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

class TestHistoryDialog : public QObject {
    Q_OBJECT

    FakeKeyboard* m_keys = nullptr;

    std::unique_ptr<App> make_app(const QByteArray& settings = QByteArray())
    {
        return make_app_under_test(m_keys, settings);
    }
    // Copies a 4K picture of one colour, as a program of this process would.
    static void copy_picture(const QColor& colour)
    {
        QImage big(3840, 2160, QImage::Format_RGB32);
        big.fill(colour);
        auto* image = new QMimeData;
        image->setImageData(big);
        QGuiApplication::clipboard()->setMimeData(image);
    }

    static std::unique_ptr<App> with_copies(std::unique_ptr<App> app, const QStringList& texts)
    {
        for (const QString& text : texts)
            QGuiApplication::clipboard()->setText(text);
        return app;
    }
    static QString pasted() { return QGuiApplication::clipboard()->text(); }
    void paste() { m_keys->press(Keyboard::k_key_v); }
    static HistoryDialog* dialog(App& app) { return window_of<HistoryDialog>(app); }
    static QStringList rows(App& app) { return dialog(app)->row_texts(); }
    static QStringList xyz() { return {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")}; }
    static bool is_open(App& app) { return dialog(app)->isVisible(); }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(qEnvironmentVariable("HOME").contains(QLatin1String("stackpaste-test")),
                 "run through scripts/test-session");
    }
    void init() { QGuiApplication::clipboard()->clear(); }

    void lists_what_is_left_to_paste_in_paste_order_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("after_one_paste");
        QTest::addColumn<QString>("label");
        QTest::newRow("backward") << QByteArray() << QStringList{"Z", "Y", "X"} << QStringList{"Y", "X"}
                                  << "Paste order is backward";
        QTest::newRow("forward") << QByteArray("PasteOrder=forward\n") << QStringList{"X", "Y", "Z"}
                                 << QStringList{"Y", "Z"} << "Paste order is forward";
        QTest::newRow("text history") << QByteArray("IsRichTextCopyEnabled=false\n") << QStringList{"Z", "Y", "X"}
                                      << QStringList{"Y", "X"} << "Paste order is backward";
    }
    void lists_what_is_left_to_paste_in_paste_order()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, first);
        QFETCH(QStringList, after_one_paste);
        QFETCH(QString, label);
        auto app = with_copies(make_app(settings), xyz());
        app->open_history_dialog();
        QVERIFY(is_open(*app));
        QCOMPARE(rows(*app), first);
        QCOMPARE(dialog(*app)->current_row(), 0);
        QCOMPARE(dialog(*app)->order_text(), label);
        // The toggle: a second call closes it.
        app->open_history_dialog();
        QVERIFY(!is_open(*app));
        paste();
        app->open_history_dialog();
        QCOMPARE(rows(*app), after_one_paste);
    }

    void stays_closed_when_nothing_is_left_to_paste()
    {
        {
            auto app = make_app(); // backward, empty, position -1
            app->open_history_dialog();
            QVERIFY(!is_open(*app));
        }
        {
            auto app = with_copies(make_app("PasteOrder=forward\n"), xyz());
            for (int i = 0; i < 3; ++i)
                paste();
            app->open_history_dialog();
            QVERIFY(!is_open(*app));
        }
        {
            auto app = with_copies(make_app(), xyz());
            for (int i = 0; i < 3; ++i)
                paste();
            QCOMPARE(app->history().position(), -1);
            app->open_history_dialog();
            QVERIFY(!is_open(*app));
        }
    }

    void a_forward_empty_history_opens_with_no_rows()
    {
        auto app = make_app("PasteOrder=forward\n");
        QCOMPARE(app->history().position(), -1);
        app->open_history_dialog();
        QVERIFY(is_open(*app));
        QCOMPARE(dialog(*app)->row_count(), 0);
        QCOMPARE(app->history().position(), 0);
        QCOMPARE(dialog(*app)->order_text(), QStringLiteral("Paste order is forward"));
        // The delete button with no rows does nothing.
        dialog(*app)->delete_button()->click();
        QCOMPARE(app->history().position(), 0);
    }

    void a_position_beyond_the_end_lists_from_the_newest_down()
    {
        auto app = with_copies(make_app("PasteOrder=forward\n"), xyz());
        for (int i = 0; i < 3; ++i)
            paste();
        QCOMPARE(app->history().position(), 3);
        app->slot_combobox_edit_text_changed(QStringLiteral("Automatic Backward"));
        app->open_history_dialog();
        QCOMPARE(rows(*app), (QStringList{"Z", "Y", "X"}));
        QCOMPARE(app->history().position(), 3); // listing does not move it
    }

    void delete_removes_the_row_and_keeps_the_position_on_what_is_next()
    {
        auto app = with_copies(make_app(), xyz());
        paste(); // Z
        app->open_history_dialog();
        QCOMPARE(rows(*app), (QStringList{"Y", "X"}));
        dialog(*app)->delete_button()->click();
        QCOMPARE(rows(*app), QStringList{"X"});
        QCOMPARE(app->history().size(), 2);
        dialog(*app)->delete_button()->click();
        QCOMPARE(rows(*app), QStringList());
        QCOMPARE(app->history().size(), 1);
        QCOMPARE(app->history().position(), -1);
        QCOMPARE(app->history().mime_at(0)->text(), QStringLiteral("Z"));
    }

    void a_dragged_row_is_the_next_paste()
    {
        auto app = with_copies(make_app("PasteOrder=forward\n"), xyz());
        paste(); // X
        app->open_history_dialog();
        QCOMPARE(rows(*app), (QStringList{"Y", "Z"}));
        // What the list reports at the end of a drop of row 1 onto row 0.
        Q_EMIT dialog(*app)->list()->signal_item_pos_changed(1, 0);
        paste();
        QCOMPARE(pasted(), QStringLiteral("Z"));
        paste();
        QCOMPARE(pasted(), QStringLiteral("Y"));
    }

    void the_lock_button_locks_the_selected_row_and_shows_it()
    {
        auto app = with_copies(make_app(), xyz());
        app->open_history_dialog();
        HistoryDialog* shown = dialog(*app);
        QVERIFY(!shown->is_lock_icon_shown());
        shown->set_current_row(2); // X, index 0
        shown->lock_button()->click();
        QVERIFY(shown->is_lock_icon_shown());
        QVERIFY(app->history().is_position_locked());
        QCOMPARE(app->history().position(), 0);
        // The rows follow the position the lock moved: each names the item a delete would remove.
        QCOMPARE(rows(*app), QStringList{"X"});
        paste();
        paste();
        QCOMPARE(pasted(), QStringLiteral("X"));
        shown->lock_button()->click();
        QVERIFY(!shown->is_lock_icon_shown());
        QCOMPARE(app->history().position(), 2);
        // A lock taken elsewhere (the tray) shows on the button as well.
        app->lock_current_position();
        QVERIFY(shown->is_lock_icon_shown());
        app->unlock_current_position();
        QVERIFY(!shown->is_lock_icon_shown());
    }

    void rows_follow_the_history_while_the_dialog_is_open()
    {
        auto app = with_copies(make_app(), xyz());
        app->open_history_dialog();
        paste(); // Z, while the dialog is open
        QCOMPARE(rows(*app), (QStringList{"Y", "X"}));
        // Row 0 must name Y now: deleting it must not remove the X below.
        dialog(*app)->set_current_row(0);
        dialog(*app)->delete_button()->click();
        QCOMPARE(rows(*app), QStringList{"X"});
        QCOMPARE(app->history().mime_at(0)->text(), QStringLiteral("X"));
        // Rows that name nothing do nothing.
        app->delete_history_item(7);
        app->slot_history_list_item_position_changed(0, 9);
        app->history_dialog_item_entered(-1);
        QCOMPARE(app->history().size(), 2);
    }

    void a_megabyte_text_is_one_short_row_and_pastes_whole()
    {
        QString text;
        for (int i = 0; i < 20000; ++i)
            text += QStringLiteral("line %1 of a long log\n").arg(i);
        auto app = with_copies(make_app(), {text});
        app->open_history_dialog();
        const QString row = rows(*app).value(0);
        QVERIFY(row.startsWith(QStringLiteral("line 0 of a long log\u23CEline 1")));
        QVERIFY(row.size() <= 301);
        QVERIFY(row.endsWith(QChar(0x2026)));
        QVERIFY(!row.contains(QLatin1Char('\n')));
        paste();
        QCOMPARE(pasted(), text);
    }

    void an_image_row_previews_the_image_fitted_beside_the_dialog()
    {
        auto app = make_app();
        copy_picture(Qt::darkCyan);
        QGuiApplication::clipboard()->setText(QStringLiteral("words"));
        app->open_history_dialog();
        QCOMPARE(rows(*app), (QStringList{"words", "Image Data"}));

        // The picture is decoded off the main thread; a row left before it is ready shows nothing when it is.
        ImageViewer* viewer = window_of<ImageViewer>(*app);
        app->history_dialog_item_entered(1);
        Q_EMIT dialog(*app)->signal_leave_event();
        QTRY_VERIFY(!viewer->is_decoding());
        QTest::qWait(50);
        QVERIFY(!viewer->isVisible());
        QCOMPARE(viewer->cached_previews(), 1);
        app->history_dialog_item_entered(1);
        QVERIFY(viewer->isVisible());

        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(area.contains(viewer->frameGeometry()), "the preview fits on the screen");
        QCOMPARE(viewer->cached_previews(), 1);
        // A text row shows no preview.
        app->history_dialog_item_entered(0);
        QVERIFY(!viewer->isVisible());
        // Leaving the dialog hides it.
        app->history_dialog_item_entered(1);
        Q_EMIT dialog(*app)->signal_leave_event();
        QVERIFY(!viewer->isVisible());
        // The preview goes with its item.
        dialog(*app)->set_current_row(1);
        dialog(*app)->delete_button()->click();
        QCOMPARE(viewer->cached_previews(), 0);
    }

    void a_preview_still_decoding_when_the_dialog_closes_never_shows()
    {
        auto app = make_app();
        copy_picture(Qt::darkRed);
        app->open_history_dialog();
        ImageViewer* viewer = window_of<ImageViewer>(*app);
        app->history_dialog_item_entered(0);
        app->history_dialog_close();
        QTRY_VERIFY(!viewer->is_decoding());
        QTest::qWait(50);
        QVERIFY(!viewer->isVisible());
    }

    void activating_another_window_closes_it()
    {
        auto app = with_copies(make_app(), xyz());
        app->open_history_dialog();
        QVERIFY(QTest::qWaitForWindowActive(dialog(*app)));
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(!is_open(*app));
        QVERIFY(!window_of<ImageViewer>(*app)->isVisible());
        // It opens again afterwards.
        app->open_history_dialog();
        QVERIFY(is_open(*app));
    }

    void placement_keeps_windows_on_the_screen()
    {
        const QRect area(0, 0, 1000, 800);
        QCOMPARE(placement::inside({950, 700}, {400, 300}, area), QPoint(600, 500));
        QCOMPARE(placement::inside({10, 10}, {400, 300}, area), QPoint(10, 10));
        QCOMPARE(placement::inside({-50, 900}, {2000, 300}, area), QPoint(0, 500));
        // Room to the right, unless the dialog stands near the right edge.
        QCOMPARE(placement::beside(QRect(100, 100, 400, 300), area, 11), QRect(510, 0, 490, 800));
        QCOMPARE(placement::beside(QRect(700, 100, 290, 300), area, 11), QRect(0, 0, 689, 800));
    }
};

QTEST_MAIN(TestHistoryDialog)
#include "TestHistoryDialog.moc"
