// SPDX-License-Identifier: GPL-3.0-or-later
// The capture and paste copies of MimeCopy: a 1 KB text, a 4K image from a foreign owner, lists of 100 files of
// 100 KB and of 9.9 MB, and the paste of an item of 100 files of 5.9 MB. The foreign-owner cases need an X server:
//
//   scripts/test-session --xvfb build/benchmarks/bench_capture
//
// Without one (offscreen) they are skipped and the in-process cases still run.
#include "core/MimeCopy.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>

using Variant = MimeCopy::Variant;

namespace {

QTemporaryDir& files()
{
    static QTemporaryDir dir;
    return dir;
}

QString make_file(const QString& name, qint64 size)
{
    const QString path = files().filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    QByteArray bytes(static_cast<int>(size), Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), static_cast<qsizetype>(size / 4));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A 3840x2160 picture that compresses like a screenshot: gradients, flat panels and lines of text.
QString make_4k_png()
{
    const QString path = files().filePath(QStringLiteral("4k.png"));
    if (QFileInfo::exists(path))
        return path;
    QImage image(3840, 2160, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 3840, 2160);
    gradient.setColorAt(0, QColor(30, 60, 120));
    gradient.setColorAt(1, QColor(220, 160, 90));
    painter.fillRect(image.rect(), gradient);
    for (int panel = 0; panel < 12; ++panel)
        painter.fillRect(100 + panel * 300, 200 + (panel % 3) * 500, 260, 420, QColor::fromHsv(panel * 30, 80, 240));
    painter.setPen(Qt::black);
    for (int line = 0; line < 100; ++line)
        painter.drawText(120, 220 + line * 19,
                         QStringLiteral("line %1 of a text the user copied a picture of").arg(line));
    painter.end();
    image.save(path);
    return path;
}

QMimeData* with_urls(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

// Empties a folder of the temporary directory between iterations, so the disk does not fill up.
void empty_folder(const QString& path)
{
    for (const QString& entry : QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        QDir(path + QLatin1Char('/') + entry).removeRecursively();
}

// A foreign clipboard owner, running until the benchmark ends.
class ForeignOwner {
public:
    ForeignOwner(const QString& program, const QStringList& arguments, const QString& offered_format)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, arguments);
        QDeadlineTimer deadline(10'000);
        while (!deadline.hasExpired() && !QGuiApplication::clipboard()->mimeData()->hasFormat(offered_format))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        m_ready = QGuiApplication::clipboard()->mimeData()->hasFormat(offered_format);
    }
    ~ForeignOwner()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    bool is_ready() const { return m_ready; }

private:
    QProcess m_process;
    bool m_ready = false;
};

bool needs_x(benchmark::State& state)
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return true;
    state.SkipWithError("needs an X server: run under scripts/test-session --xvfb");
    return false;
}

void capture_foreign(benchmark::State& state, ForeignOwner& owner)
{
    if (!owner.is_ready()) {
        state.SkipWithError("the foreign owner did not take the clipboard");
        return;
    }
    MimeCopy mime_copy;
    const QMimeData& source = *QGuiApplication::clipboard()->mimeData();
    qint64 bytes = 0;
    for (auto _ : state) {
        const auto copy = mime_copy.copy(source, Variant::Capture, true);
        bytes = 0;
        for (const QString& format : copy->formats())
            bytes += copy->data(format).size();
        benchmark::DoNotOptimize(copy);
    }
    state.SetLabel(std::to_string(bytes / 1000) + " KB kept");
}

void capture_text_1k(benchmark::State& state)
{
    QMimeData source;
    source.setText(QString(1024, QLatin1Char('x')));
    MimeCopy mime_copy;
    for (auto _ : state)
        benchmark::DoNotOptimize(mime_copy.copy(source, Variant::Capture, true));
}

void capture_text_1k_foreign(benchmark::State& state)
{
    if (!needs_x(state))
        return;
    ForeignOwner owner(QStringLiteral(CLIPBOARD_OWNER), {QStringLiteral("--text"), QString(1024, QLatin1Char('x'))},
                       QStringLiteral("text/plain"));
    capture_foreign(state, owner);
}

// The PNG bytes served as they are, as an image viewer or a screenshot tool does.
void capture_png_4k_foreign(benchmark::State& state)
{
    if (!needs_x(state))
        return;
    ForeignOwner owner(QStandardPaths::findExecutable(QStringLiteral("xclip")),
                       {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                        QStringLiteral("-t"), QStringLiteral("image/png"), QStringLiteral("-i"), make_4k_png()},
                       QStringLiteral("image/png"));
    capture_foreign(state, owner);
}

// A Qt program holding the decoded image: it encodes the PNG anew for every request.
void capture_image_4k_qt_owner(benchmark::State& state)
{
    if (!needs_x(state))
        return;
    ForeignOwner owner(QStringLiteral(CLIPBOARD_OWNER), {QStringLiteral("--image-file"), make_4k_png()},
                       QStringLiteral("image/png"));
    capture_foreign(state, owner);
}

// The main thread's part of recording a list of files: the copy that becomes the history item. The snapshots and
// their paste copies are made on threads of their own afterwards; the time until all of them are made is reported as
// the counter files_made_ms. The item then goes, and its files with it, before the next round.
void capture_file_list(benchmark::State& state, const QString& folder, qint64 size)
{
    QStringList paths;
    for (int i = 0; i < 100; ++i)
        paths.append(make_file(folder + QStringLiteral("/%1.bin").arg(i), size));
    const std::unique_ptr<QMimeData> source(with_urls(paths));
    MimeCopy mime_copy;
    double made_ms = 0;
    for (auto _ : state) {
        QElapsedTimer made;
        made.start();
        auto item = mime_copy.copy(*source, Variant::Capture, true);
        benchmark::DoNotOptimize(item);
        state.PauseTiming();
        if (!mime_copy.wait_for_paste_copies(300000))
            state.SkipWithError("the snapshots were not made in time");
        made_ms += static_cast<double>(made.elapsed());
        item.reset();
        mime_copy.wait_for_paste_copies(300000);
        empty_folder(mime_copy.path() + QStringLiteral("/temp"));
        empty_folder(mime_copy.path() + QStringLiteral("/curr"));
        state.ResumeTiming();
    }
    state.counters["files_made_ms"] =
        made_ms / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

void capture_100_files_100k(benchmark::State& state)
{
    capture_file_list(state, QStringLiteral("list"), 100'000);
}

// 990 MB of files, each just under the snapshot limit: the list that once held a Ctrl+V for seconds.
void capture_100_files_9_9mb(benchmark::State& state)
{
    capture_file_list(state, QStringLiteral("large"), 9'900'000);
}

void paste_text_item(benchmark::State& state)
{
    QMimeData item;
    item.setText(QString(1024, QLatin1Char('x')));
    MimeCopy mime_copy;
    for (auto _ : state)
        benchmark::DoNotOptimize(mime_copy.copy(item, Variant::Paste, true));
}

// The paste of an item of 100 files of 5.9 MB: the paste copies are made after the capture, off the paste road,
// so a paste only looks at each one. The time the copies took to be made is reported as a counter.
void paste_100_files_5_9mb(benchmark::State& state)
{
    QStringList paths;
    for (int i = 0; i < 100; ++i)
        paths.append(make_file(QStringLiteral("hundred/%1.bin").arg(i), 5'900'000));
    const std::unique_ptr<QMimeData> source(with_urls(paths));
    MimeCopy mime_copy;
    const auto item = mime_copy.copy(*source, Variant::Capture, true);
    QElapsedTimer preparing;
    preparing.start();
    if (!mime_copy.wait_for_paste_copies(120000))
        state.SkipWithError("the paste copies were not made in time");
    state.counters["copies_made_ms"] = static_cast<double>(preparing.elapsed());
    for (auto _ : state) {
        const auto pasted = mime_copy.copy(*item, Variant::Paste, true);
        if (!pasted)
            state.SkipWithError("a paste copy was not ready");
        benchmark::DoNotOptimize(pasted);
    }
}

} // namespace

BENCHMARK(capture_text_1k);
BENCHMARK(capture_text_1k_foreign)->Unit(benchmark::kMillisecond);
BENCHMARK(capture_png_4k_foreign)->Unit(benchmark::kMillisecond);
BENCHMARK(capture_image_4k_qt_owner)->Unit(benchmark::kMillisecond);
BENCHMARK(capture_100_files_100k)->Unit(benchmark::kMillisecond);
BENCHMARK(capture_100_files_9_9mb)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(paste_text_item);
BENCHMARK(paste_100_files_5_9mb)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // Every copy writes its trace and debug lines as in the program, so their cost is in the numbers; the trace
    // lines go to /dev/null and the debug lines nowhere, so that the results stay readable on standard output.
    const int results_fd = ::dup(STDOUT_FILENO);
    std::ofstream results("/proc/self/fd/" + std::to_string(results_fd));
    const int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, STDOUT_FILENO);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    benchmark::ConsoleReporter reporter(::isatty(results_fd) ? benchmark::ConsoleReporter::OO_Defaults
                                                             : benchmark::ConsoleReporter::OO_None);
    reporter.SetOutputStream(&results);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
