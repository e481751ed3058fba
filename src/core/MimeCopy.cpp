// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MimeCopy.h"

#include "core/Trace.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSet>
#include <QStringList>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString k_qt_image = QStringLiteral("application/x-qt-image");
const QString k_png = QStringLiteral("image/png");
const QString k_password_hint = QStringLiteral("x-kde-passwordManagerHint");
constexpr QFileDevice::Permissions k_private = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ReadUser | QFileDevice::WriteUser |
                                               QFileDevice::ExeUser;

// X11 selection targets that carry no data of the selection: the target list, the batch request, the time of
// ownership, the clipboard manager's request, the side-effect requests (asking for DELETE makes the owner delete
// its selection) and server resource ids, which mean nothing once the owner has gone. Qt lists them as formats.
bool is_selection_target(const QString& name)
{
    static const QSet<QString> names = {
        QStringLiteral("TARGETS"),         QStringLiteral("MULTIPLE"), QStringLiteral("TIMESTAMP"),
        QStringLiteral("SAVE_TARGETS"),    QStringLiteral("DELETE"),   QStringLiteral("INSERT_SELECTION"),
        QStringLiteral("INSERT_PROPERTY"), QStringLiteral("BITMAP"),   QStringLiteral("PIXMAP"),
        QStringLiteral("DRAWABLE"),        QStringLiteral("COLORMAP"),
    };
    return names.contains(name);
}

// Image formats under both spellings Qt uses on the clipboard: "image/" + the format ("image/xpm", what a Qt owner
// lists) and the registered type ("image/x-xpixmap").
QSet<QString> image_formats(const QList<QByteArray>& format_names, const QList<QByteArray>& mime_types)
{
    QSet<QString> set;
    for (const QByteArray& name : format_names)
        set.insert(QStringLiteral("image/") + QString::fromLatin1(name).toLower());
    for (const QByteArray& type : mime_types)
        set.insert(QString::fromLatin1(type));
    return set;
}

// The encodings the clipboard makes from the image itself whenever the item is pasted.
const QSet<QString>& regenerated_image_formats()
{
    static const QSet<QString> set = [] {
        QSet<QString> formats =
            image_formats(QImageWriter::supportedImageFormats(), QImageWriter::supportedMimeTypes());
        formats.insert(k_qt_image);
        return formats;
    }();
    return set;
}

// The format of the source's own image bytes: PNG when offered, else the first image format that can be decoded.
QString own_image_format(const QStringList& names)
{
    if (names.contains(k_png))
        return k_png;
    static const QSet<QString> readable =
        image_formats(QImageReader::supportedImageFormats(), QImageReader::supportedMimeTypes());
    for (const QString& name : names) {
        if (readable.contains(name))
            return name;
    }
    return {};
}

// Copies a regular file of fewer than limit bytes to the new file target. The source is opened without blocking
// and checked again once open: a FIFO put in its place after the first look would otherwise hang the open.
bool copy_regular_file(const QString& source, const QString& target, qint64 limit)
{
    const int fd = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    QFile in;
    if (!in.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return false;

    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 total = 0;
    bool ok = true;
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        total += n;
        // A file that grew past the limit since its size was checked is not copied: the copy stays bounded.
        if (total >= limit || out.write(buffer.constData(), n) != n) {
            ok = false;
            break;
        }
    }
    out.close();
    if (!ok || out.error() != QFileDevice::NoError) {
        out.remove();
        return false;
    }
    out.setPermissions(QFile::permissions(source));
    return true;
}

} // namespace

MimeCopy::MimeCopy()
{
    // With TMPDIR naming a missing folder Qt reports no temporary location at all, and the default template would
    // then put the directory at the file system's root: go without one instead.
    const QString location = QDir::tempPath();
    if (location.isEmpty())
        return;
    m_temp_dir = std::make_unique<QTemporaryDir>(location + QLatin1Char('/') + QCoreApplication::applicationName() +
                                                 QStringLiteral("-XXXXXX"));
    if (!m_temp_dir->isValid())
        return;
    // The snapshots are the user's clipboard: nobody else may list or read them, whatever the umask says.
    QFile::setPermissions(m_temp_dir->path(), k_private);
    const QDir root(m_temp_dir->path());
    for (const QString& folder : {QStringLiteral("curr"), QStringLiteral("temp")}) {
        root.mkpath(folder);
        QFile::setPermissions(root.filePath(folder), k_private);
    }
}

MimeCopy::~MimeCopy() = default;

bool MimeCopy::is_valid() const
{
    return m_temp_dir && m_temp_dir->isValid();
}

QString MimeCopy::path() const
{
    return is_valid() ? m_temp_dir->path() : QString();
}

std::unique_ptr<QMimeData> MimeCopy::copy(const QMimeData& source, Variant variant, bool copy_files)
{
    auto copy = std::make_unique<QMimeData>();
    QStringList names;
    for (const QString& format : source.formats())
        names.append(reduce_format_name(format));

    // Every encoding of an image that a Qt owner lists is made on request: reading all of them took seconds for
    // one 4K image. Only the source's own bytes are read; the other encodings come from the image at paste.
    const bool has_image = source.hasImage();
    const QString image_format = has_image ? own_image_format(names) : QString();
    QByteArray image_bytes;
    for (const QString& name : qAsConst(names)) {
        if (is_selection_target(name))
            continue;
        if (has_image && name != image_format && regenerated_image_formats().contains(name))
            continue;
        const QByteArray bytes = source.data(name);
        if (name == image_format)
            image_bytes = bytes;
        copy->setData(name, bytes);
    }

    if (source.hasHtml()) {
        TRACE(QStringLiteral("mime_data_reference hasHtml"));
        copy->setHtml(source.html());
    }
    if (source.hasColor()) {
        TRACE(QStringLiteral("mime_data_reference hasColor"));
        copy->setColorData(source.colorData());
    }
    if (source.hasUrls()) {
        TRACE(QStringLiteral("mime_data_reference hasUrls"));
        QList<QUrl> urls = source.urls();
        if (copy_files)
            copy_files_of(urls, variant);
        copy->setUrls(urls);
    }
    if (source.hasText()) {
        TRACE(QStringLiteral("mime_data_reference hasText"));
        copy->setText(source.text());
    }
    if (has_image) {
        TRACE(QStringLiteral("mime_data_reference hasImage"));
        // A capture decodes the bytes it already holds: asking a foreign owner for the image again would make it
        // encode and send the whole image once more. A history item (the paste's source) holds its image decoded.
        QImage image;
        if (variant == Variant::Capture && !image_bytes.isEmpty())
            image = QImage::fromData(image_bytes);
        if (image.isNull())
            copy->setImageData(source.imageData());
        else
            copy->setImageData(image);
    }
    return copy;
}

void MimeCopy::copy_files_of(QList<QUrl>& urls, Variant variant)
{
    const qint64 limit_bytes = variant == Variant::Capture ? k_capture_limit_bytes : k_paste_limit_bytes;
    const qint64 limit_mb = limit_bytes / 1000 / 1000 - 1; // 10 at capture, 5 at paste
    // Each copy replaces its own URL: a URL that is not copied (http:, a folder, a failed copy) keeps its place.
    for (QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo file(url.toLocalFile());
        const qint64 mb = file.size() / 1000 / 1000;
        if (mb > limit_mb) {
            qDebug().nospace() << "Forget it, im not copying that (over " << mb << " MB)";
            break;
        }
        qDebug().nospace() << "File size is: " << mb;
        // A FIFO, device or socket reports size 0 and its reader may wait forever; a folder is not copied either.
        if (!file.isFile())
            continue;
        const QString copied = copy_file(file.filePath(), variant);
        if (!copied.isEmpty())
            url = QUrl::fromLocalFile(copied);
    }
}

QString MimeCopy::copy_file(const QString& path, Variant variant)
{
    if (!is_valid())
        return {};
    // A sub-folder per copy: two files of the same name each keep their own content, and the receiving program
    // still sees the file's own name.
    const QDir folder(
        m_temp_dir->filePath(variant == Variant::Capture ? QStringLiteral("temp") : QStringLiteral("curr")));
    const QString sub_folder = QString::number(++m_last_folder);
    if (!folder.mkdir(sub_folder))
        return {};
    const QString target = folder.filePath(sub_folder + QLatin1Char('/') + QFileInfo(path).fileName());
    const qint64 limit = variant == Variant::Capture ? k_capture_limit_bytes : k_paste_limit_bytes;
    if (!copy_regular_file(path, target, limit)) {
        folder.rmdir(sub_folder);
        return {};
    }
    return target;
}

QString MimeCopy::reduce_format_name(const QString& format)
{
    const int open = format.indexOf(QLatin1Char('"'));
    if (open < 0)
        return format;
    const int close = format.indexOf(QLatin1Char('"'), open + 1);
    return close < 0 ? format.mid(open + 1) : format.mid(open + 1, close - open - 1);
}

bool MimeCopy::is_empty_change(const QMimeData& data)
{
    const QStringList formats = data.formats();
    return std::all_of(formats.begin(), formats.end(),
                       [](const QString& format) { return is_selection_target(reduce_format_name(format)); });
}

bool MimeCopy::is_secret(const QMimeData& data)
{
    return data.hasFormat(k_password_hint) && data.data(k_password_hint).trimmed() == "secret";
}

QString MimeCopy::display_text(const QMimeData& data)
{
    return data.hasImage() ? QStringLiteral("Image Data") : data.text();
}
