// SPDX-License-Identifier: GPL-3.0-or-later
// The history dialog with a full history of 100 items, among them megabyte texts and 4K screenshots: opening it
// (from the call until the window is shown), and hovering over an image row (the first time and later).
// Needs X:  scripts/test-session --xvfb <build>/benchmarks/bench_history_dialog [rounds]
#include "support/AppWindows.h"
#include "ui/App.h"
#include "ui/HistoryDialog.h"
#include "ui/ImageViewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMimeData>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double elapsed_ms(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void add(App& app, QMimeData* item)
{
    app.history().copy_step();
    app.add_to_stackpaste_mime_data_history(item);
}

// 100 items, newest first in the dialog: every tenth a 4K screenshot, every tenth after it a megabyte text.
void fill(App& app)
{
    QImage screenshot(3840, 2160, QImage::Format_RGB32);
    for (int y = 0; y < screenshot.height(); ++y)
        std::fill_n(reinterpret_cast<QRgb*>(screenshot.scanLine(y)), screenshot.width(), qRgb(y % 256, 80, 160));
    const QString megabyte = QString(1 << 20, QLatin1Char('m'));
    for (int i = 0; i < 100; ++i) {
        auto* item = new QMimeData;
        if (i % 10 == 0)
            item->setImageData(screenshot.copy()); // an item of its own, as a capture makes it
        else if (i % 10 == 1)
            item->setText(megabyte);
        else
            item->setText(QStringLiteral("item %1").arg(i));
        add(app, item);
    }
}

// Handles events as they come (no polling interval) until the window is on the screen.
bool wait_until_exposed(QWidget* window)
{
    QElapsedTimer timer;
    timer.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed())) {
        if (timer.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(images);
    QStandardPaths::setTestModeEnabled(true);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;

    App app;
    fill(app);
    HistoryDialog* dialog = window_of<HistoryDialog>(app);

    std::vector<double> open_ms;
    std::vector<double> call_ms;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        app.open_history_dialog();
        call_ms.push_back(elapsed_ms(timer));
        if (!wait_until_exposed(dialog))
            std::fprintf(stderr, "the dialog was not shown\n");
        open_ms.push_back(elapsed_ms(timer));
        app.open_history_dialog(); // closes it
        QTest::qWait(20);
    }

    // Row 9 is the newest screenshot (item 90); rows 19, 29, ... the older ones, each hovered for the first time.
    app.open_history_dialog();
    if (!QTest::qWaitForWindowExposed(dialog))
        std::fprintf(stderr, "the dialog was not shown\n");
    std::vector<double> first_ms;
    std::vector<double> later_ms;
    for (int row = 9; row < 100; row += 10) {
        QElapsedTimer timer;
        timer.start();
        app.history_dialog_item_entered(row);
        first_ms.push_back(elapsed_ms(timer));
    }
    for (int round = 0; round < rounds; ++round) {
        for (int row = 9; row < 100; row += 10) {
            QElapsedTimer timer;
            timer.start();
            app.history_dialog_item_entered(row);
            later_ms.push_back(elapsed_ms(timer));
        }
    }
    std::printf("history dialog, 100 items (10 x 4K image, 10 x 1 MiB text):\n");
    std::printf("  open until shown    median %7.2f ms  max %7.2f ms  (%d rounds)\n", median(open_ms),
                *std::max_element(open_ms.begin(), open_ms.end()), rounds);
    std::printf("  the call itself     median %7.2f ms  max %7.2f ms\n", median(call_ms),
                *std::max_element(call_ms.begin(), call_ms.end()));
    std::printf("  first hover, image  median %7.2f ms  max %7.2f ms  (%zu images)\n", median(first_ms),
                *std::max_element(first_ms.begin(), first_ms.end()), first_ms.size());
    std::printf("  later hover, image  median %7.2f ms  max %7.2f ms  (%zu hovers)\n", median(later_ms),
                *std::max_element(later_ms.begin(), later_ms.end()), later_ms.size());
    std::printf("  previews cached     %d\n", window_of<ImageViewer>(app)->cached_previews());
    return 0;
}
