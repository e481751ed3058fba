// SPDX-License-Identifier: GPL-3.0-or-later
// The autocomplete window on the offscreen platform, with the App's real database in the test's private home.
#include "core/AutocompleteDatabase.h"
#include "core/SaveManager.h"
#include "fakes/FakeKeyboard.h"
#include "support/AppUnderTest.h"
#include "support/AppWindows.h"
#include "ui/App.h"
#include "ui/AutocompleteDialog.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

class TestAutocompleteDialog : public QObject {
    Q_OBJECT

    FakeKeyboard* m_keys = nullptr;

    std::unique_ptr<App> make_app(const QByteArray& settings = QByteArray())
    {
        auto app = make_app_under_test(m_keys, "IsRichTextCopyEnabled=false\n" + settings);
        if (app) {
            window_of<AutocompleteDialog>(*app)->delete_history();
            settle(*app);
        }
        return app;
    }
    static void copy(const QString& text) { QGuiApplication::clipboard()->setText(text); }
    // Texts are written off the main thread: waits for them, and for the count the window shows then.
    static void settle(App& app)
    {
        QVERIFY(window_of<AutocompleteDialog>(app)->database()->wait_until_written());
        QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(qEnvironmentVariable("HOME").contains(QLatin1String("stackpaste-test")),
                 "run through scripts/test-session");
    }

    void plain_text_copies_are_remembered_once_and_survive_a_restart()
    {
        {
            auto app = make_app();
            for (const char* text : {"alpha", "it's Ünïcode", "alpha", "Beta"})
                copy(QString::fromUtf8(text));
            settle(*app);
            AutocompleteDialog* dialog = window_of<AutocompleteDialog>(*app);
            QCOMPARE(dialog->count_text(), QStringLiteral("There are 3 items in history"));
            // A text marked secret by a password manager is neither in the history nor remembered.
            auto* secret = new QMimeData;
            secret->setText(QStringLiteral("hunter2"));
            secret->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
            QGuiApplication::clipboard()->setMimeData(secret);
            settle(*app);
            QCOMPARE(dialog->count_text(), QStringLiteral("There are 3 items in history"));
        }
        auto keyboard = std::make_unique<FakeKeyboard>();
        App again(std::move(keyboard));
        QCOMPARE(window_of<AutocompleteDialog>(again)->row_texts(),
                 (QStringList{"alpha", QString::fromUtf8("it's Ünïcode"), "Beta"}));
    }

    void the_filter_narrows_moves_and_activates()
    {
        auto app = make_app();
        for (const char* text : {"alpha", "ALPINE", "beta", "gamma"})
            copy(QString::fromLatin1(text));
        settle(*app);
        AutocompleteDialog* dialog = window_of<AutocompleteDialog>(*app);
        app->open_autocomplete_dialog();
        QVERIFY(dialog->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QCOMPARE(QApplication::focusWidget(), dialog->filter());
        QTest::keyClicks(dialog->filter(), QStringLiteral("al"));
        QCOMPARE(dialog->row_texts(), (QStringList{"alpha", "ALPINE"}));
        QCOMPARE(dialog->list()->currentRow(), 0);
        QTest::keyClick(dialog->filter(), Qt::Key_Down);
        QCOMPARE(dialog->list()->currentRow(), 1);
        QTest::keyClick(dialog->filter(), Qt::Key_Down);
        QCOMPARE(dialog->list()->currentRow(), 1);

        const int position = app->history().position();
        QTest::keyClick(dialog->filter(), Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->filter()->text(), QString());
        // The chosen text is on the clipboard, the history as it was, and the text not recorded as a copy.
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("ALPINE"));
        QCOMPARE(app->history().size(), 4);
        QCOMPARE(app->history().position(), position);
        QCOMPARE(dialog->count_text(), QStringLiteral("There are 4 items in history"));
        // The next paste still takes the newest item.
        m_keys->press(Keyboard::k_key_v);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("gamma"));
    }

    void the_chosen_text_is_pasted_while_paused_and_when_it_names_a_file()
    {
        auto app = make_app("IsStackpastePaused=true\n");
        app->slot_autocomplete_list_item_activated(QStringLiteral("file:///etc/hosts as text"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("file:///etc/hosts as text"));
        QCOMPARE(app->history().size(), 0);
    }

    void escape_keeps_the_filter_and_a_second_call_closes()
    {
        auto app = make_app();
        AutocompleteDialog* dialog = window_of<AutocompleteDialog>(*app);
        app->open_autocomplete_dialog();
        QTest::keyClicks(dialog->filter(), QStringLiteral("zz"));
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        app->open_autocomplete_dialog();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->filter()->text(), QStringLiteral("zz"));
        app->open_autocomplete_dialog();
        QVERIFY(!dialog->isVisible());
    }

    void delete_selected_and_clear_all()
    {
        auto app = make_app();
        for (const char* text : {"one", "two", "three"})
            copy(QString::fromLatin1(text));
        settle(*app);
        AutocompleteDialog* dialog = window_of<AutocompleteDialog>(*app);
        dialog->filter()->setText(QStringLiteral("t"));
        QCOMPARE(dialog->row_texts(), (QStringList{"two", "three"}));
        dialog->delete_button()->click();
        QCOMPARE(dialog->row_texts(), QStringList{"three"});
        settle(*app);
        QCOMPARE(dialog->count_text(), QStringLiteral("There are 2 items in history"));
        dialog->filter()->setText(QStringLiteral("nothing like it"));
        dialog->delete_button()->click(); // no current row: nothing happens
        QCOMPARE(dialog->count_text(), QStringLiteral("There are 2 items in history"));

        message_box::set_next_answer(QMessageBox::No);
        app->on_button_clear_autocomplete_history_clicked();
        QCOMPARE(dialog->count_text(), QStringLiteral("There are 2 items in history"));
        message_box::set_next_answer(QMessageBox::Yes);
        app->on_button_clear_autocomplete_history_clicked();
        settle(*app);
        QCOMPARE(dialog->count_text(), QStringLiteral("There are 0 items in history"));
    }

    void a_long_text_is_one_short_row_and_pastes_whole()
    {
        auto app = make_app();
        const QString text = QStringLiteral("first line\n") + QString(5000, 'w');
        copy(text);
        settle(*app);
        AutocompleteDialog* dialog = window_of<AutocompleteDialog>(*app);
        dialog->filter()->setText(QStringLiteral("first"));
        QVERIFY(dialog->list()->item(0)->text().size() <= 301);
        QVERIFY(!dialog->list()->item(0)->text().contains(QLatin1Char('\n')));
        dialog->list_item_activated(dialog->list()->item(0));
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
    }
};

QTEST_MAIN(TestAutocompleteDialog)
#include "TestAutocompleteDialog.moc"
