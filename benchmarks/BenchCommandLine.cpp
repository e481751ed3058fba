// SPDX-License-Identifier: GPL-3.0-or-later
// A command of the command line from exec to exit, against the running program: `stackpaste list` (with 100 items
// in the history) next to `stackpaste --version`, the floor of a process that starts and ends. Needs X:
//   scripts/test-session --xvfb <build>/benchmarks/bench_command_line [calls]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// One run of the program with arguments, output thrown away; its wall time in microseconds, or -1 when it failed.
double run_once(const QByteArray& binary, const std::vector<QByteArray>& arguments)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(binary.constData()));
    for (const QByteArray& argument : arguments)
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, binary.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double, std::micro>(end - start).count();
}

void report(const char* name, const QByteArray& binary, const std::vector<QByteArray>& arguments, int calls)
{
    std::vector<double> times;
    for (int i = 0; i < calls; ++i) {
        const double time = run_once(binary, arguments);
        if (time < 0) {
            std::printf("%-22s failed\n", name);
            return;
        }
        times.push_back(time);
    }
    std::sort(times.begin(), times.end());
    const auto at = [&](double share) { return times[std::min(times.size() - 1, size_t(share * times.size()))]; };
    std::printf("%-22s p50 %7.2f ms   p99 %7.2f ms   (%d calls)\n", name, at(0.50) / 1000, at(0.99) / 1000, calls);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    // A portable copy in a folder of its own, started once.
    QTemporaryDir folder;
    const QString binary = folder.filePath(QStringLiteral("stackpaste"));
    QFile::copy(QStringLiteral(STACKPASTE_EXECUTABLE), binary);
    QFile::setPermissions(binary, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile settings(folder.filePath(QStringLiteral("Stackpaste_settings.ini")));
    if (!settings.open(QIODevice::WriteOnly))
        return 1;
    settings.write("[General]\nSaveVersion=2\nIsFirstStart=false\nStartAtStartup=false\n");
    settings.close();
    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(binary, QStringList());
    QElapsedTimer waited;
    waited.start();
    QByteArray output;
    while (!output.contains("Temp dir is valid") && waited.elapsed() < 15000) {
        program.waitForReadyRead(200);
        output += program.readAll();
    }
    if (!output.contains("Temp dir is valid")) {
        std::printf("the program did not start\n");
        return 1;
    }
    const QByteArray path = QFile::encodeName(binary);
    for (int i = 0; i < 100; ++i)
        run_once(path, {"push", "item " + QByteArray::number(i) + ' ' + QByteArray(60, 'x')});
    report("stackpaste --version", path, {"--version"}, calls);
    report("stackpaste list", path, {"list"}, calls);
    report("stackpaste push TEXT", path, {"push", "text"}, calls);
    run_once(path, {"quit"});
    program.waitForFinished(10000);
    return 0;
}
