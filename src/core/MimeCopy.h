// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMimeData>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// Deep copies of clipboard MIME data, and the private snapshots of copied files.
//
// Owns the per-run temporary directory (private to the user, 0700) with its folders "temp" (snapshots made at
// capture, files up to 10,999,999 bytes) and "curr" (fresh copies handed out at paste, files up to 5,999,999
// bytes); the directory and everything in it is removed when the object is destroyed. Each snapshot lies in a
// unique sub-folder of its own and keeps the file's name. Only regular local files are copied; any other URL, and
// any file whose copy fails, keeps its location. A source holding an image keeps its own image bytes once (PNG when
// offered) and the image itself; the other encodings are left out, the clipboard makes them from the image. X11
// selection targets that are not data (TARGETS, MULTIPLE, ...) are never read. A copy returned is a new object
// owned by the caller. Main thread only; nothing blocks beyond reading the source and the bounded file copies.
class MimeCopy {
public:
    enum class Variant {
        Capture, // history item: snapshots into "temp"
        Paste,   // clipboard content: copies of the snapshots into "curr"
    };

    static constexpr qint64 k_capture_limit_bytes = 11'000'000; // first size that is not snapshotted
    static constexpr qint64 k_paste_limit_bytes = 6'000'000;    // first size that is not copied to "curr"

    MimeCopy();
    ~MimeCopy();
    MimeCopy(const MimeCopy&) = delete;
    MimeCopy& operator=(const MimeCopy&) = delete;

    // Whether the temporary directory exists; without it file copies fail and URLs keep their locations.
    bool is_valid() const;
    // The temporary directory's path; empty when there is none.
    QString path() const;

    // A deep copy of source. With copy_files, small local files named by its URL list are copied as the variant
    // says and their URLs rewritten; the walk stops at the first file over the variant's limit.
    std::unique_ptr<QMimeData> copy(const QMimeData& source, Variant variant, bool copy_files);

    // The format name reduced to the text between its first two double quotes (to the end when only one).
    static QString reduce_format_name(const QString& format);
    // Whether a clipboard change carries no data at all (on X11: the owner of the clipboard went away).
    static bool is_empty_change(const QMimeData& data);
    // Whether a password manager marked the content as secret.
    static bool is_secret(const QMimeData& data);
    // "Image Data" for an item that holds an image, else its plain text.
    static QString display_text(const QMimeData& data);

private:
    // Rewrites the URLs of the local files the variant may copy to their copies' URLs.
    void copy_files_of(QList<QUrl>& urls, Variant variant);
    // Copies one file into a fresh sub-folder of the variant's folder; the copy's path, or empty when it failed.
    QString copy_file(const QString& path, Variant variant);

    std::unique_ptr<QTemporaryDir> m_temp_dir; // null when the system has no temporary location
    quint64 m_last_folder = 0;                 // names the sub-folders of "temp" and "curr": 1, 2, 3, ...
};
