// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardCapture.h"
#include "core/FileSnapshots.h"
#include "core/PasteCopies.h"
#include "core/StoredMimeData.h"

#include <QList>
#include <QMimeData>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>
#include <optional>

// Deep copies of clipboard MIME data, and the private snapshots of copied files.
//
// Owns the per-run temporary directory (private to the user, 0700; its name carries the process id, so a later run
// removes what a killed one left) with its folders "temp" (the snapshots of captured files, up to 10,999,999 bytes,
// made on a thread of their own after the item is recorded: see FileSnapshots) and "curr" (the paste copies of the
// snapshots, files up to 5,999,999 bytes, one per snapshot, made on a thread of their own right after the snapshot:
// see PasteCopies); the directory and everything in it is removed when the object is destroyed. A history item lists
// the user's files; its snapshots and their paste copies go with the last copy of the item (the one on the clipboard
// included). Each snapshot lies in a unique sub-folder of its own and keeps the file's name. Only regular local files
// are copied, each judged on its own; any other URL, and any file whose copy fails, keeps its location. A file
// manager's list of copied files is rewritten like the URL list and always says "copy"; a list offered without a URL
// list gives the item its URL list (and so its snapshots), and a cut mark is never kept. What is read of a source
// follows the capture rules (see CaptureRules): an image keeps its own bytes once (PNG when offered), never decoded,
// and the clipboard makes the other encodings from it when a program asks; the text is read once; X11 selection
// targets that are not data (TARGETS, MULTIPLE, ...) are never read. Payloads from 256 KiB on are kept in files of the
// folder "data" (see Payload). A copy of a history
// item shares its payloads, so a paste copies no bytes. A copy returned is a new object owned by the caller. Main
// thread only; nothing blocks beyond reading the source, and no file is copied on the main thread.
class MimeCopy {
public:
    enum class Variant {
        Capture, // history item: snapshots into "temp" (on their way when the copy returns)
        Paste,   // clipboard content: copies of the snapshots into "curr"
    };

    static constexpr qint64 k_capture_limit_bytes = 11'000'000;               // first size that is not snapshotted
    static constexpr qint64 k_paste_limit_bytes = PasteCopies::k_limit_bytes; // first size without a paste copy

    MimeCopy();
    ~MimeCopy();
    MimeCopy(const MimeCopy&) = delete;
    MimeCopy& operator=(const MimeCopy&) = delete;

    // Brings the large data of content back into memory when it is one of our items (what we own on the clipboard,
    // before the files of that data go).
    static void keep_in_memory(const QMimeData* content);
    // Whether the temporary directory exists; without it file copies fail and URLs keep their locations.
    bool is_valid() const;
    // The temporary directory's path; empty when there is none.
    QString path() const;

    // A deep copy of source. With copy_files, a capture asks for snapshots of the small local files of its URL list
    // (made on the maker's thread, see FileSnapshots) and a paste hands out the paste copies of the snapshots instead.
    // While the snapshots or a paste copy are not ready (still being made, or made again because the last receiver
    // changed it) a paste hands out the user's own files, still marked as a copy, so that it does not leave the copying
    // program's own list, perhaps a "cut", for the receiver to act on; only when one of those files is gone too does
    // a paste return nullptr.
    std::unique_ptr<StoredMimeData> copy(const QMimeData& source, Variant variant, bool copy_files);
    // Reads a source (Qt's clipboard, which names the formats already) as a capture, by the capture rules; large
    // payloads go to files of folder (when one is given) at once.
    static ClipboardCapture read(const QMimeData& source, const QString& folder);
    // An item from a capture; no files are snapshotted yet.
    static std::unique_ptr<StoredMimeData> assemble(const ClipboardCapture& capture);
    // Asks for snapshots of the local files an item lists (with copy_files) and rewrites its lists as a capture does.
    void capture_files(StoredMimeData& item, bool copy_files);
    // The files an item lists, with its snapshots in their files' places; nullopt while they are being made. The
    // item's own list when it has no snapshots.
    static std::optional<QList<QUrl>> listed_files(const QMimeData& item);
    // The folder of the large payloads; empty when there is no temporary directory.
    QString data_folder() const;
    // Waits until every snapshot and paste copy asked for is made and every one let go is removed, at most
    // timeout_ms (tests, benchmarks).
    bool wait_for_paste_copies(int timeout_ms);

    // The format name reduced to the text between its first two double quotes (to the end when only one).
    static QString reduce_format_name(const QString& format);
    // Whether a clipboard change carries no data at all (on X11: the owner of the clipboard went away).
    static bool is_empty_change(const QMimeData& data);
    // Whether a copy holds no bytes in any format (its owner listed formats and answered no request for them).
    static bool holds_nothing(const QMimeData& copy);
    // Whether a password manager marked the content as secret.
    static bool is_secret(const QMimeData& data);
    // Whether the data holds an image, decodable or not.
    static bool holds_image(const QMimeData& data);
    // "Image Data" for an item that holds an image, else its plain text.
    static QString display_text(const QMimeData& data);

private:
    // Reads every format of a source once.
    static std::unique_ptr<StoredMimeData> read_all(const QMimeData& source, const QString& folder);
    // Writes an item's URL list and the file manager's list from urls.
    static void set_urls(StoredMimeData& item, const QList<QUrl>& urls);
    // Rewrites the URLs of the snapshots to their paste copies'; false when one is not ready.
    bool hand_out_paste_copies(QList<QUrl>& urls);

    std::unique_ptr<QTemporaryDir> m_temp_dir; // null when the system has no temporary location
    std::unique_ptr<PasteCopies> m_paste_copies;
    std::unique_ptr<FileSnapshots::Maker> m_snapshots;
};
