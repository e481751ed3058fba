// SPDX-License-Identifier: GPL-3.0-or-later
// PLACEHOLDER: being written; only enough to build.
#include "core/MimeCopy.h"

MimeCopy::MimeCopy() : m_temp_dir(std::make_unique<QTemporaryDir>()) {}
MimeCopy::~MimeCopy() = default;
bool MimeCopy::is_valid() const { return m_temp_dir->isValid(); }
QString MimeCopy::path() const { return m_temp_dir->path(); }
std::unique_ptr<QMimeData> MimeCopy::copy(const QMimeData& source, Variant, bool)
{
    auto copy = std::make_unique<QMimeData>();
    for (const QString& format : source.formats())
        copy->setData(format, source.data(format));
    return copy;
}
QString MimeCopy::reduce_format_name(const QString& format) { return format; }
bool MimeCopy::is_empty_change(const QMimeData& data) { return data.formats().isEmpty(); }
bool MimeCopy::is_secret(const QMimeData&) { return false; }
QString MimeCopy::display_text(const QMimeData& data) { return data.hasImage() ? QStringLiteral("Image Data") : data.text(); }
