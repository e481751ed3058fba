// SPDX-License-Identifier: GPL-3.0-or-later
// The copy road of the whole program, fed by xclip: how long a 4K screenshot takes from xclip's start until it is
// in the history, the longest stall of the main thread meanwhile, the paste of such an item, and the resident
// memory after ten screenshots and after 100 distinct texts of 1 MB, each before and after "Clear Clipboard
// History". Needs X and a private home:
//
//   scripts/test-session --xvfb <build>/benchmarks/bench_copy_road [screenshots]
#include "core/ClipboardSource.h"
#include "core/Memory.h"
#include "support/AppUnderTest.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double resident_mib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// A 3840x2160 picture of a busy screen: panels, then a photograph's worth of noise over most of it, so that the PNG
// is as large as a real screenshot's; `variant` makes each one different.
QString make_screenshot(const QString& dir, int variant)
{
    QImage image(3840, 2160, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 3840, 2160);
    gradient.setColorAt(0, QColor(30, 60, 120 + variant));
    gradient.setColorAt(1, QColor(220, 160, 90));
    painter.fillRect(image.rect(), gradient);
    for (int panel = 0; panel < 12; ++panel)
        painter.fillRect(100 + panel * 300, 200 + (panel % 3) * 500, 260, 420, QColor::fromHsv(panel * 30, 80, 240));
    painter.end();
    QRandomGenerator noise(static_cast<quint32>(variant + 1));
    for (int y = 0; y < 2160; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = y % 2 * 960; x < 3840; ++x)
            line[x] = (line[x] & 0xff000000u) | (noise.generate() & 0x00ffffffu);
    }
    const QString path = dir + QStringLiteral("/shot-%1.png").arg(variant);
    image.save(path, "PNG");
    return path;
}

// Times every event the main thread handles: the longest one is the longest the program kept its main thread.
class TimingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_depth++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --m_depth;
            return handled;
        }
        QElapsedTimer clock;
        clock.start();
        // Named before: the event may delete its receiver.
        const char* receiver_class = receiver->metaObject()->className();
        const int type = int(event->type());
        const double cpu_before = thread_cpu_ms();
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        longest_ms = std::max(longest_ms, clock.nsecsElapsed() / 1e6);
        const double cpu = thread_cpu_ms() - cpu_before;
        if (cpu > longest_cpu_ms) {
            longest_cpu_ms = cpu;
            longest_what = QStringLiteral("%1 to a %2").arg(type).arg(QLatin1String(receiver_class));
        }
        return handled;
    }
    // The main thread's own processor time, without the time other threads and programs had the processor.
    static double thread_cpu_ms()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
    }
    double longest_ms = 0;
    double longest_cpu_ms = 0;
    QString longest_what; // the event type and the receiver's class of the longest

private:
    int m_depth = 0;
};

struct Round {
    double ms = 0;
    double longest_stall_ms = 0;
    double longest_event_ms = 0;
    double longest_event_cpu_ms = 0;
};

// Runs xclip with arguments and waits until the history has grown by one, timing the main thread's stalls.
Round copy_with_xclip(App& app, const QStringList& arguments)
{
    const int before = app.history().size();
    auto* timing = static_cast<TimingApplication*>(QCoreApplication::instance());
    timing->longest_ms = 0;
    timing->longest_cpu_ms = 0;
    QElapsedTimer clock;
    double last_tick = 0;
    double longest = 0;
    QTimer ticker;
    QEventLoop loop;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        longest = std::max(longest, now - last_tick);
        last_tick = now;
        if (app.history().size() != before || clock.elapsed() > 20000)
            loop.quit();
    });
    QProcess xclip;
    clock.start();
    // Starting xclip forks this process, which the program never does: its time is not a stall of the program.
    xclip.start(QStandardPaths::findExecutable(QStringLiteral("xclip")), arguments);
    last_tick = clock.nsecsElapsed() / 1e6;
    ticker.start(1);
    loop.exec();
    Round round;
    round.ms = clock.nsecsElapsed() / 1e6;
    // A last tick, to see a stall at the very end.
    QCoreApplication::processEvents();
    round.longest_stall_ms = std::max(longest, clock.nsecsElapsed() / 1e6 - last_tick);
    round.longest_event_ms = timing->longest_ms;
    round.longest_event_cpu_ms = timing->longest_cpu_ms;
    if (qEnvironmentVariableIsSet("BENCH_SAY_EVENT"))
        std::printf("  longest: event %s, %.2f ms\n", qPrintable(timing->longest_what), timing->longest_cpu_ms);
    ticker.stop();
    xclip.waitForFinished(2000);
    return round;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

void settle()
{
    QTest::qWait(500);
}

// The longest gap of a 1 ms timer while the program has nothing to do: the resolution of the stall figures.
double idle_jitter_ms()
{
    QElapsedTimer clock;
    clock.start();
    double last = 0;
    double longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        longest = std::max(longest, now - last);
        last = now;
    });
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    ticker.start(1);
    loop.exec();
    return longest;
}

} // namespace

int main(int argc, char** argv)
{
    memory::tune_allocator();
    TimingApplication application(argc, argv);
    Q_INIT_RESOURCE(images);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "bench_copy_road needs X: run it with scripts/test-session --xvfb\n");
        return 1;
    }
    // The pictures are made by a process of their own, so their memory is not counted here.
    if (argc == 4 && QByteArray(argv[1]) == "--make") {
        make_screenshot(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
        return 0;
    }
    const int screenshots = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir dir;
    std::vector<QString> shots;
    for (int i = 0; i < screenshots; ++i) {
        QProcess::execute(QCoreApplication::applicationFilePath(),
                          {QStringLiteral("--make"), dir.path(), QString::number(i)});
        shots.push_back(dir.filePath(QStringLiteral("shot-%1.png").arg(i)));
    }
    std::printf("screenshot PNG: %.1f MB\n", QFileInfo(shots.front()).size() / 1e6);

    FakeKeyboard* keys = nullptr;
    std::unique_ptr<App> app = make_app_under_test(keys);
    if (!app || !app->clipboard_source()->reads_off_the_main_thread()) {
        std::fprintf(stderr, "the program does not read the clipboard with its reader\n");
        return 1;
    }
    settle();
    std::vector<double> refreshes;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer clock;
        clock.start();
        app->refresh_views();
        refreshes.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("refresh of every view after a copy: p50 %.2f ms\n", percentile(refreshes, 0.5));
    memory::give_back_free_memory();
    settle();
    const double idle = resident_mib();
    std::printf("idle: %.1f MiB resident; longest gap of a 1 ms timer when idle: %.2f ms\n", idle, idle_jitter_ms());

    // From the owner change that the reader noticed to the item being in the history (the App's own handler runs
    // first: it was connected first).
    std::vector<double> recorded;
    QObject::connect(app->clipboard_source(), &ClipboardSource::captured, [&](const ClipboardCapture& capture) {
        recorded.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - capture.noticed).count());
    });
    std::vector<double> times;
    std::vector<double> stalls;
    std::vector<double> events;
    std::vector<double> event_cpus;
    for (const QString& shot : shots) {
        const Round round = copy_with_xclip(*app, {"-selection", "clipboard", "-t", "image/png", "-i", shot});
        times.push_back(round.ms);
        stalls.push_back(round.longest_stall_ms);
        events.push_back(round.longest_event_ms);
        event_cpus.push_back(round.longest_event_cpu_ms);
    }
    std::printf("4K PNG, owner change to item recorded: median %.1f ms, max %.1f ms\n", median(recorded),
                *std::max_element(recorded.begin(), recorded.end()));
    std::printf("4K PNG, xclip started to item recorded: median %.1f ms, max %.1f ms\n", median(times),
                *std::max_element(times.begin(), times.end()));
    std::printf("longest event handled on the main thread during a capture: median %.2f ms, max %.2f ms\n",
                median(events), *std::max_element(events.begin(), events.end()));
    std::printf("  of which the main thread's own processor time: median %.2f ms, max %.2f ms\n", median(event_cpus),
                *std::max_element(event_cpus.begin(), event_cpus.end()));
    std::printf("longest gap of a 1 ms timer during a capture: median %.2f ms, max %.2f ms\n", median(stalls),
                *std::max_element(stalls.begin(), stalls.end()));
    settle();
    std::printf("after %d screenshots: %.1f MiB above idle\n", screenshots, resident_mib() - idle);

    // The paste road of a screenshot item: the step that runs while the key is held.
    std::vector<double> pastes;
    for (int i = 0; i < 200; ++i) {
        app->history().set_position(app->history().size() - 1);
        QElapsedTimer clock;
        clock.start();
        app->paste_from_stackpaste_clipboard();
        pastes.push_back(clock.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    std::printf("paste of a 4K item: p50 %.3f ms, p99 %.3f ms\n", percentile(pastes, 0.5), percentile(pastes, 0.99));

    app->clear_clipboard_history();
    settle();
    std::printf("after clearing: %.1f MiB above idle\n", resident_mib() - idle);

    // 100 distinct texts of 1 MB.
    recorded.clear();
    std::vector<double> text_times;
    const QString text_file = dir.filePath(QStringLiteral("text.txt"));
    for (int i = 0; i < 100; ++i) {
        QByteArray text(1000 * 1000, 'a' + static_cast<char>(i % 26));
        text.replace(0, 12, QByteArray::number(1000000000 + i) + "  ");
        QFile file(text_file);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(text);
        file.close();
        text_times.push_back(copy_with_xclip(*app, {"-selection", "clipboard", "-i", text_file}).ms);
    }
    settle();
    std::printf("1 MB text, owner change to item recorded: median %.1f ms; xclip started to recorded: %.1f ms\n",
                median(recorded), median(text_times));
    std::printf("after 100 texts of 1 MB: %.1f MiB above idle\n", resident_mib() - idle);
    app->clear_clipboard_history();
    settle();
    std::printf("after clearing: %.1f MiB above idle\n", resident_mib() - idle);
    return 0;
}
