// SPDX-License-Identifier: GPL-3.0-or-later
// The history dialog of the real program: opened with a click on the counter, rows dragged with real mouse moves,
// closed by activating another window, image previews; with and without a window manager.
#include "E2eSupport.h"

#include <QImage>

using namespace e2e;

namespace {

// The dialog's title is "History Dialog (showing only what's left to paste)"; its start is found without quoting.
const QString k_title = QStringLiteral("History Dialog");
// The list's rows below the dialog's top edge: the first row's middle, and the height of a row.
constexpr int k_first_row_y = 43;
constexpr int k_row_height = 17;

qulonglong window_titled(const QString& start)
{
    const QByteArray out = xdotool({"search", "--onlyvisible", "--name", QLatin1Char('^') + start}, 3000);
    return out.split('\n').first().trimmed().toULongLong();
}

qulonglong history_dialog(int timeout_ms = 10000)
{
    qulonglong window = 0;
    [[maybe_unused]] const bool seen =
        QTest::qWaitFor([&] { return (window = window_titled(k_title)) != 0; }, timeout_ms);
    return window;
}

bool is_closed(int timeout_ms = 10000)
{
    return QTest::qWaitFor([] { return window_titled(k_title) == 0; }, timeout_ms);
}

QPoint row_point(const QRect& dialog, int row)
{
    return {dialog.left() + 220, dialog.top() + k_first_row_y + row * k_row_height};
}

QStringList at(const QPoint& point)
{
    return {"mousemove", QString::number(point.x()), QString::number(point.y())};
}

// Presses the left button on row `from`, moves in small steps to the lower half of row `to` and releases.
void drag_row(const QRect& dialog, int from, int to)
{
    const QPoint start = row_point(dialog, from);
    const QPoint end = row_point(dialog, to) + QPoint(0, 4);
    xdotool(at(start) << "mousedown"
                      << "1");
    const int steps = 12;
    for (int step = 1; step <= steps; ++step) {
        xdotool(at(start + (end - start) * step / steps + QPoint(step % 2, 0)));
        QTest::qWait(30);
    }
    QTest::qWait(100);
    xdotool({"mouseup", "1"});
}

bool open_by_clicking_the_counter(Stackpaste& app)
{
    const qulonglong window = counter();
    if (!window)
        return false;
    click(window, 1);
    return app.wait_for_output("open_history_dialog()") && history_dialog();
}

} // namespace

class TestHistoryDialogE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Without a window manager: the dialog takes the focus itself, a drag reorders what the pastes give, and the
    // focus moving to another program closes it.
    void drag_reorders_the_pastes()
    {
        Stackpaste app;
        QVERIFY(start_with_three_copies(app));
        QVERIFY(open_by_clicking_the_counter(app));
        const qulonglong dialog = history_dialog();
        QTRY_COMPARE_WITH_TIMEOUT(focused_window(), dialog, 10000);
        // Rows: "three ", "two ", "one "; the newest goes to the end.
        drag_row(client_area(dialog), 0, 2);
        QTest::qWait(300);
        TextField target;
        QVERIFY(target.open());
        QVERIFY2(is_closed(), "the dialog stayed open when another program took the focus");
        press(app, "ctrl+v", "two ");
        press(app, "ctrl+v", "one ");
        press(app, "ctrl+v", "three ");
        QCOMPARE(target.finish(), QByteArray("two one three"));
    }

    // Under a window manager: a second click on the counter closes it, activating another window closes it, and an
    // image row shows a preview beside it that fits on the screen.
    void closes_when_another_window_is_activated_and_previews_images()
    {
        Helper window_manager(QStringLiteral("openbox"), {});
        TextField target;
        QVERIFY(target.open());
        Stackpaste app;
        QVERIFY(start_with_three_copies(app));

        QTemporaryDir folder;
        const QString png = folder.filePath(QStringLiteral("screenshot.png"));
        QImage screenshot(3840, 2160, QImage::Format_RGB32);
        screenshot.fill(QColor(30, 90, 160));
        QVERIFY(screenshot.save(png));
        const int before = count(app.output(), "END copy_to_stackpaste_clipboard()");
        run(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", png});
        QTRY_VERIFY_WITH_TIMEOUT(count(app.output(), "END copy_to_stackpaste_clipboard()") > before, 10000);

        QVERIFY(open_by_clicking_the_counter(app));
        click(counter(), 1);
        QVERIFY2(is_closed(), "a second click on the counter did not close the dialog");
        QVERIFY(open_by_clicking_the_counter(app));
        const qulonglong dialog = history_dialog();
        QTRY_COMPARE_WITH_TIMEOUT(focused_window(), dialog, 10000);

        const QRect rect = client_area(dialog);
        xdotool(at(row_point(rect, 1)));
        xdotool(at(row_point(rect, 0)));
        const qulonglong preview = our_window([&](const QRect& r) { return r.left() > rect.right(); });
        QVERIFY2(preview, ("no preview beside the dialog:\n" + app.output().right(1500)).constData());
        const QRect shown = geometry(preview);
        QVERIFY2(QRect(0, 0, 1280, 1024).contains(shown), "the preview does not fit on the screen");
        QVERIFY(shown.width() > 300);

        xdotool({"windowactivate", "--sync", QString::number(target.window())});
        QVERIFY2(is_closed(), "activating another window did not close the dialog");
        QTRY_VERIFY_WITH_TIMEOUT(!our_window([&](const QRect& r) { return r.left() > rect.right(); }, 200), 5000);
    }
};

QTEST_GUILESS_MAIN(TestHistoryDialogE2e)
#include "TestHistoryDialogE2e.moc"
