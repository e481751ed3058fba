// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MimeCopy.h"

#include "core/CaptureRules.h"
#include "core/FileSnapshots.h"
#include "core/PasteCopies.h"
#include "core/StoredMimeData.h"
#include "core/Trace.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>

#include <algorithm>
#include <chrono>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString k_qt_image = QStringLiteral("application/x-qt-image");
const QString k_password_hint = QStringLiteral("x-kde-passwordManagerHint");
constexpr QFileDevice::Permissions k_private = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ReadUser | QFileDevice::WriteUser |
                                               QFileDevice::ExeUser;

const QString k_uri_list = QStringLiteral("text/uri-list");
const QString k_gnome_copied_files = QStringLiteral("x-special/gnome-copied-files");
const QString k_kde_urls = QStringLiteral("application/x-kde4-urilist");
const QString k_kde_cut_selection = QStringLiteral("application/x-kde-cutselection");

std::shared_ptr<const Payload> find_payload(const ClipboardCapture& capture, const QString& format)
{
    for (const ClipboardCapture::Format& known : capture.formats) {
        if (known.format == format)
            return known.payload;
    }
    return nullptr;
}

// A file manager's own list of the copied files: "copy" or "cut", then one URL a line. A paste from the history is
// always a copy, of our files: with "cut" and the user's URLs a file manager would move the user's own files.
QByteArray copied_files_list(const QList<QUrl>& urls)
{
    QByteArray list("copy");
    for (const QUrl& url : urls)
        list += '\n' + url.toEncoded();
    return list;
}

// The URLs of lines that hold one each; empty lines and comments are no URLs.
QList<QUrl> urls_of_lines(const QList<QByteArray>& lines)
{
    QList<QUrl> urls;
    for (const QByteArray& line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith('#'))
            urls.append(QUrl::fromEncoded(trimmed));
    }
    return urls;
}

// The files an item lists: its URL list, else the list of the file manager that offered no URL list of its own.
QList<QUrl> listed_urls(const QMimeData& item)
{
    if (item.hasUrls())
        return item.urls();
    if (item.hasFormat(k_kde_urls))
        return urls_of_lines(item.data(k_kde_urls).split('\n'));
    if (item.hasFormat(k_gnome_copied_files))
        return urls_of_lines(item.data(k_gnome_copied_files).split('\n').mid(1)); // after "copy" or "cut"
    return {};
}

// Removes the snapshot folders of earlier runs whose process is gone (killed, or the machine lost power): their
// names carry the owner's process id. Only this user's own folders are touched.
void remove_stale_folders(const QString& location, const QString& prefix)
{
    const QDir folder(location);
    const QStringList names = folder.entryList({prefix + QStringLiteral("*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QStringList parts = name.mid(prefix.size()).split(QLatin1Char('-'));
        bool ok = false;
        const qint64 pid = parts.size() == 2 ? parts.at(0).toLongLong(&ok) : 0;
        if (!ok || pid <= 0 || pid == ::getpid())
            continue;
        struct stat status {};
        const QString path = folder.filePath(name);
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
            status.st_uid != ::getuid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue; // still running (or not ours to ask)
        if (QDir(path).removeRecursively())
            qDebug() << "Removed the snapshots left by an earlier run that did not end normally:" << path;
    }
}

} // namespace

MimeCopy::MimeCopy()
{
    // With TMPDIR naming a missing folder Qt reports no temporary location at all, and the default template would
    // then put the directory at the file system's root: go without one instead.
    const QString location = QDir::tempPath();
    if (location.isEmpty() || !QFileInfo(location).isDir()) {
        qDebug() << "There is no temporary folder: copied files are not snapshotted and keep their locations";
        return;
    }
    const QString prefix = QCoreApplication::applicationName() + QLatin1Char('-');
    remove_stale_folders(location, prefix);
    m_temp_dir = std::make_unique<QTemporaryDir>(location + QLatin1Char('/') + prefix + QString::number(::getpid()) +
                                                 QStringLiteral("-XXXXXX"));
    if (!m_temp_dir->isValid()) {
        qDebug() << "The temporary folder" << location
                 << "cannot be written: copied files are not snapshotted and keep their locations";
        return;
    }
    // The snapshots are the user's clipboard: nobody else may list or read them, whatever the umask says.
    QFile::setPermissions(m_temp_dir->path(), k_private);
    const QDir root(m_temp_dir->path());
    for (const QString& folder : {QStringLiteral("curr"), QStringLiteral("temp"), QStringLiteral("data")}) {
        root.mkpath(folder);
        QFile::setPermissions(root.filePath(folder), k_private);
    }
    m_paste_copies = std::make_unique<PasteCopies>(root.filePath(QStringLiteral("curr")));
    m_snapshots = std::make_unique<FileSnapshots::Maker>(root.filePath(QStringLiteral("temp")), k_capture_limit_bytes,
                                                         *m_paste_copies);
}

// The threads stop before the folders they write into are removed; the maker first, as it asks for paste copies.
MimeCopy::~MimeCopy()
{
    m_snapshots.reset();
    m_paste_copies.reset();
}

bool MimeCopy::is_valid() const
{
    return m_temp_dir && m_temp_dir->isValid();
}

void MimeCopy::keep_in_memory(const QMimeData* content)
{
    if (const auto* item = dynamic_cast<const StoredMimeData*>(content))
        const_cast<StoredMimeData*>(item)->keep_in_memory();
}

QString MimeCopy::path() const
{
    return is_valid() ? m_temp_dir->path() : QString();
}

std::unique_ptr<StoredMimeData> MimeCopy::copy(const QMimeData& source, Variant variant, bool copy_files)
{
    std::unique_ptr<StoredMimeData> copy;
    if (const auto* stored = dynamic_cast<const StoredMimeData*>(&source))
        copy = stored->share();
    else
        copy = read_all(source, data_folder());
    if (variant == Variant::Capture) {
        capture_files(*copy, copy_files);
        return copy;
    }
    const std::optional<QList<QUrl>> listed = listed_files(*copy);
    QList<QUrl> urls = listed.value_or(QList<QUrl>());
    if (!listed || (copy_files && !hand_out_paste_copies(urls))) {
        urls = listed_urls(*copy);
        const auto gone = [](const QUrl& url) { return url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()); };
        if (std::any_of(urls.begin(), urls.end(), gone))
            return nullptr;
        qDebug() << "The copies of the pasted files are still being made: the paste hands out the files themselves";
    }
    if (!urls.isEmpty())
        set_urls(*copy, urls);
    return copy;
}

std::optional<QList<QUrl>> MimeCopy::listed_files(const QMimeData& item)
{
    const auto* stored = dynamic_cast<const StoredMimeData*>(&item);
    if (stored && stored->file_snapshots())
        return stored->file_snapshots()->urls();
    return listed_urls(item);
}

std::unique_ptr<StoredMimeData> MimeCopy::read_all(const QMimeData& source, const QString& folder)
{
    return assemble(read(source, folder));
}

ClipboardCapture MimeCopy::read(const QMimeData& source, const QString& folder)
{
    QStringList offered;
    for (const QString& format : source.formats())
        offered.append(reduce_format_name(format));
    QVector<capture_rules::Received> received;
    for (const QString& name : capture_rules::wanted_targets(offered)) {
        // Qt gives no bytes for a picture it holds decoded: that one is taken as the picture below.
        if (name != k_qt_image)
            received.append({name, source.data(name)});
    }
    ClipboardCapture capture;
    capture.noticed = std::chrono::steady_clock::now();
    std::vector<std::shared_ptr<Payload>> large;
    capture_rules::gather(capture_rules::formats_of(received, offered), capture, large);
    // Without bytes that decode, the picture of a source of this process (which holds it decoded already).
    if (source.hasImage() && !capture.image_decodable) {
        const std::shared_ptr<const Payload> own = find_payload(capture, capture.image_format);
        if (!own || !StoredMimeData::announces_picture(own->bytes()))
            capture.picture = qvariant_cast<QImage>(source.imageData());
    }
    if (!folder.isEmpty()) {
        for (const std::shared_ptr<Payload>& payload : large)
            payload->move_to_file(folder);
    }
    return capture;
}

std::unique_ptr<StoredMimeData> MimeCopy::assemble(const ClipboardCapture& capture)
{
    auto item = std::make_unique<StoredMimeData>();
    for (const ClipboardCapture::Format& format : capture.formats)
        item->set_format(format.format, format.payload);
    if (!capture.image_format.isEmpty() && item->hasFormat(capture.image_format))
        item->set_image_format(capture.image_format, capture.image_decodable);
    if (!capture.picture.isNull())
        item->set_picture(capture.picture);
    // A file list without a text of its own still pastes as text: the URLs, as the source gives them.
    if (item->hasUrls() && !item->hasFormat(QStringLiteral("text/plain")))
        item->set_format(QStringLiteral("text/plain"), item->text().toUtf8());
    return item;
}

void MimeCopy::capture_files(StoredMimeData& item, bool copy_files)
{
    const QList<QUrl> urls = listed_urls(item);
    if (urls.isEmpty()) {
        item.remove_format(k_kde_cut_selection); // a cut mark without files: nothing to move, and none to come
        return;
    }
    // The item lists the user's own files until a paste hands out the copies; a copy of an item that has its
    // snapshots shares them.
    set_urls(item, urls);
    const bool lists_local_files =
        std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
    if (copy_files && m_snapshots && !item.file_snapshots() && lists_local_files)
        item.set_file_snapshots(m_snapshots->take(urls));
}

void MimeCopy::set_urls(StoredMimeData& item, const QList<QUrl>& urls)
{
    QByteArray list;
    for (const QUrl& url : urls)
        list += url.toEncoded() + "\r\n";
    item.set_format(k_uri_list, list);
    if (item.hasFormat(k_kde_urls))
        item.set_format(k_kde_urls, list);
    item.remove_format(k_kde_cut_selection);
    if (item.hasFormat(k_gnome_copied_files))
        item.set_format(k_gnome_copied_files, copied_files_list(urls));
}

QString MimeCopy::data_folder() const
{
    return is_valid() ? m_temp_dir->filePath(QStringLiteral("data")) : QString();
}

bool MimeCopy::hand_out_paste_copies(QList<QUrl>& urls)
{
    if (!is_valid())
        return true;
    const QString snapshots = m_temp_dir->filePath(QStringLiteral("temp")) + QLatin1Char('/');
    for (QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        // Files that were never snapshotted, and snapshots over the paste limit, are handed out as they are.
        if (!path.startsWith(snapshots) || !PasteCopies::wants_copy(path))
            continue;
        const std::optional<QString> copy = m_paste_copies->ready(path);
        if (!copy)
            return false;
        url = QUrl::fromLocalFile(*copy);
    }
    return true;
}

bool MimeCopy::wait_for_paste_copies(int timeout_ms)
{
    // The maker asks for the paste copies, and forgets them, before it is idle.
    const QDeadlineTimer deadline(timeout_ms);
    return (!m_snapshots || m_snapshots->wait_until_idle(timeout_ms)) &&
           (!m_paste_copies || m_paste_copies->wait_until_idle(static_cast<int>(deadline.remainingTime())));
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
    return std::all_of(formats.begin(), formats.end(), [](const QString& format) {
        return capture_rules::is_pseudo_target(reduce_format_name(format));
    });
}

bool MimeCopy::holds_nothing(const QMimeData& copy)
{
    if (const auto* stored = dynamic_cast<const StoredMimeData*>(&copy)) {
        const QStringList formats = stored->stored_formats();
        return !stored->holds_image() && std::all_of(formats.begin(), formats.end(), [&](const QString& format) {
            return stored->payload(format)->size() == 0;
        });
    }
    const QStringList formats = copy.formats();
    return !copy.hasImage() && std::all_of(formats.begin(), formats.end(),
                                           [&](const QString& format) { return copy.data(format).isEmpty(); });
}

bool MimeCopy::is_secret(const QMimeData& data)
{
    // Password managers differ in how they spell the value ("secret", "Secret").
    return data.hasFormat(k_password_hint) &&
           data.data(k_password_hint).trimmed().compare("secret", Qt::CaseInsensitive) == 0;
}

bool MimeCopy::holds_image(const QMimeData& data)
{
    const auto* stored = dynamic_cast<const StoredMimeData*>(&data);
    return stored ? stored->holds_image() : data.hasImage();
}

QString MimeCopy::display_text(const QMimeData& data)
{
    return holds_image(data) ? QStringLiteral("Image Data") : data.text();
}
