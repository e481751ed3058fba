// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>

namespace test_images {

// The standard CRC of PNG chunks.
inline quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= static_cast<quint8>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline QByteArray png_chunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray chunk;
    const auto put = [&chunk](quint32 value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            chunk += static_cast<char>((value >> shift) & 0xff);
    };
    put(static_cast<quint32>(data.size()));
    chunk += type + data;
    put(crc32(type + data));
    return chunk;
}

// A PNG whose header announces width x height pixels of one bit; its picture data is a token.
inline QByteArray png_announcing(quint32 width, quint32 height)
{
    QByteArray header;
    for (const quint32 value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            header += static_cast<char>((value >> shift) & 0xff);
    header += QByteArray::fromHex("0100000000"); // 1 bit, greyscale, deflate, filter 0, no interlace
    return QByteArray::fromHex("89504e470d0a1a0a") + png_chunk("IHDR", header) +
           png_chunk("IDAT", qCompress(QByteArray(64, '\0')).mid(4)) + png_chunk("IEND", QByteArray());
}

// A 3840 x 2160 picture with a screenshot's mix of flat areas and detail (a PNG of a few megabytes).
inline QImage screenshot_4k()
{
    QImage screenshot(3840, 2160, QImage::Format_RGB32);
    screenshot.fill(QColor(40, 50, 60));
    for (int y = 0; y < screenshot.height(); y += 2)
        for (int x = y % 3; x < screenshot.width(); x += 3)
            screenshot.setPixel(x, y, qRgb((x * 7) % 256, (y * 3) % 256, (x + y) % 256));
    return screenshot;
}

} // namespace test_images
