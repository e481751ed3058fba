// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

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

} // namespace test_images
