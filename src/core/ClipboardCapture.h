// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Payload.h"

#include <QImage>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

#include <chrono>
#include <memory>

// One copy as it was read from the clipboard, whichever way it was read: its formats, named as Qt names them, with
// their bytes. A plain value: made on the thread that read the clipboard, handed to the main thread by copy (the
// payloads are shared, never copied).
struct ClipboardCapture {
    struct Format {
        QString format; // the MIME name: "text/plain", "text/html", "image/png", ...
        std::shared_ptr<const Payload> payload;
    };
    QVector<Format> formats;      // complete ones only, in the order the owner listed them
    QStringList abandoned;        // wanted formats that did not arrive complete within the deadline
    QString image_format;         // the format holding an image, if any
    bool image_decodable = false; // whether its header promised a picture within the pixel budget
    QImage picture;               // a picture held decoded with no bytes that decode (a program of this process)
    quint64 owner = 0;            // the desktop's id of the clipboard's owner; 0 when unknown
    std::chrono::steady_clock::time_point noticed; // when the clipboard changed hands
};

Q_DECLARE_METATYPE(ClipboardCapture)
