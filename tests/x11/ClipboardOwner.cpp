// SPDX-License-Identifier: GPL-3.0-or-later
// A foreign clipboard owner for the tests: takes the clipboard with the formats given and serves them until killed.
//
//   clipboard_owner [--text TEXT] [--html HTML] [--data TYPE=VALUE]... [--image-file PNG] [--url URL]...
//
// --image-file sets the decoded image, as any Qt program does, so the clipboard offers every encoding Qt can make.
// Prints "owning" on standard output once the clipboard is ours.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QUrl>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i + 1 < args.size(); i += 2) {
        const QString& option = args.at(i);
        const QString& value = args.at(i + 1);
        if (option == QLatin1String("--text")) {
            data->setText(value);
        } else if (option == QLatin1String("--html")) {
            data->setHtml(value);
        } else if (option == QLatin1String("--data")) {
            const int equals = value.indexOf(QLatin1Char('='));
            data->setData(value.left(equals), value.mid(equals + 1).toUtf8());
        } else if (option == QLatin1String("--image-file")) {
            const QImage image(value);
            if (image.isNull()) {
                std::fprintf(stderr, "clipboard_owner: cannot read %s\n", qPrintable(value));
                return 2;
            }
            data->setImageData(image);
        } else if (option == QLatin1String("--url")) {
            urls.append(QUrl(value));
        } else {
            std::fprintf(stderr, "clipboard_owner: unknown option %s\n", qPrintable(option));
            return 2;
        }
    }
    if (!urls.isEmpty())
        data->setUrls(urls);

    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data.release());
    if (!clipboard->ownsClipboard()) {
        std::fprintf(stderr, "clipboard_owner: the clipboard was not taken\n");
        return 1;
    }
    std::printf("owning\n");
    std::fflush(stdout);
    return app.exec();
}
