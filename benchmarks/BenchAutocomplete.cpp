// SPDX-License-Identifier: GPL-3.0-or-later
// The autocomplete store and window with 100,000 remembered texts of about 150 characters: opening the store and
// building the window, inserting a new text (on the main thread, and until the writer has stored it), and a filter
// keystroke until the list shows its rows.
//   scripts/test-session <build>/benchmarks/bench_autocomplete [texts]
#include "core/AutocompleteDatabase.h"
#include "ui/AutocompleteDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double ms(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

QString words(QRandomGenerator& random, int length)
{
    static const char* const k_words[] = {"clipboard", "paste", "the", "report", "meeting", "invoice", "server",
                                          "config",    "alpha", "of",  "and",    "release", "2026",    "build"};
    QString text;
    while (text.size() < length)
        text += QLatin1String(k_words[random.bounded(14)]) + QLatin1Char(' ');
    return text.left(length) + QString::number(random.generate());
}

// Fills the file in one transaction, as years of copying would have.
void fill(const QString& path, int texts)
{
    {
        AutocompleteDatabase create(path);
    }
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
    database.setDatabaseName(path);
    database.open();
    database.transaction();
    QSqlQuery query(database);
    query.prepare(QStringLiteral("INSERT INTO stuff (thing) VALUES (?)"));
    QRandomGenerator random(7);
    for (int i = 0; i < texts; ++i) {
        query.addBindValue(words(random, 140));
        query.exec();
    }
    database.commit();
    database.close();
    query = QSqlQuery();
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const int texts = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    QTemporaryDir folder;
    const QString path = folder.filePath(AutocompleteDatabase::k_file_name);
    fill(path, texts);

    // The program has made its other windows by then: the first widget's one-time costs (fonts, style) are not the
    // window's.
    {
        QListWidget warm_up;
        warm_up.addItem(QStringLiteral("warm up"));
        warm_up.ensurePolished();
    }

    QElapsedTimer timer;
    timer.start();
    auto database = std::make_unique<AutocompleteDatabase>(path);
    const double open_ms = ms(timer);
    timer.restart();
    const std::optional<int> stored = database->count();
    const double count_ms = ms(timer);
    timer.restart();
    const int listed = static_cast<int>(database->matching(QString()).size());
    const double list_ms = ms(timer);
    database = std::make_unique<AutocompleteDatabase>(path);
    timer.restart();
    AutocompleteDialog dialog(database.get());
    const double start_ms = open_ms + ms(timer);

    // What a copy costs the main thread (the text is queued), then the writer's thread until all are stored, one
    // text at a time as copies come.
    std::vector<double> insert_ms;
    std::vector<double> written_ms;
    QRandomGenerator random(11);
    for (int i = 0; i < 200; ++i) {
        const QString text = words(random, 150);
        timer.restart();
        database->insert(text);
        insert_ms.push_back(ms(timer));
        database->wait_until_written();
        written_ms.push_back(ms(timer));
    }

    // Keystrokes of someone typing filters: common words, rarer ones, and one that matches nothing.
    std::vector<double> key_ms;
    for (const char* filter : {"invoice", "paste the", "2026 build", "zzzq", "conf", "re"}) {
        QString typed;
        for (const char c : QByteArray(filter)) {
            typed += QLatin1Char(c);
            timer.restart();
            dialog.input_changed(typed);
            key_ms.push_back(ms(timer));
        }
    }
    std::printf("autocomplete, %d texts of about 150 characters:\n", texts);
    std::printf("  open the store and build the window  %7.2f ms (%d rows listed)\n", start_ms, dialog.list()->count());
    std::printf("    of it: open %.2f ms, count %.2f ms (%d), first %d texts %.2f ms\n", open_ms, count_ms,
                stored.value_or(-1), listed, list_ms);
    std::printf("  insert a new text          p50 %6.3f ms  p90 %6.3f ms (main thread)\n", percentile(insert_ms, 0.5),
                percentile(insert_ms, 0.9));
    std::printf("    until written            p50 %6.3f ms  p90 %6.3f ms (writer thread)\n",
                percentile(written_ms, 0.5), percentile(written_ms, 0.9));
    std::printf("  filter keystroke to rows   p50 %6.2f ms  p90 %6.2f ms  max %6.2f ms\n", percentile(key_ms, 0.5),
                percentile(key_ms, 0.9), percentile(key_ms, 1.0));
    return 0;
}
