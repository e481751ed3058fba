// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/WebPages.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QList>

namespace web_pages {

namespace {

struct SpellPage {
    const char* spell;
    const char* path; // below k_site
};

// clang-format off
const SpellPage k_spell_pages[] = {
    {"affiliate",   "/affiliate"},
    {"trololo",     "/videos/trololo"},
    {"boobs",       "/videos/boobs"},
    {"fuck you",    "/videos/fuck-you"},
    {"salsa",       "/videos/salsa"},
    {"bachata",     "/videos/bachata"},
    {"obicham te",  "/videos/obicham-te"},
    {"muni money",  "/videos/muni-money"},
};
// clang-format on

} // namespace

QList<QByteArray> page_spells()
{
    QList<QByteArray> spells;
    for (const SpellPage& page : k_spell_pages)
        spells << QByteArray(page.spell);
    return spells;
}

QString page_of_spell(const QByteArray& spell)
{
    for (const SpellPage& page : k_spell_pages) {
        if (spell == page.spell)
            return QLatin1String(k_site) + QLatin1String(page.path);
    }
    return QString();
}

QStringList help_folders(const QString& executable_folder)
{
    QStringList folders{executable_folder,
                        QDir::cleanPath(executable_folder + QStringLiteral("/../share/doc/stackpaste"))};
#ifdef STACKPASTE_INSTALL_PREFIX
    const QString installed = QDir::cleanPath(QStringLiteral(STACKPASTE_INSTALL_PREFIX "/share/doc/stackpaste"));
    if (!folders.contains(installed))
        folders << installed;
#endif
    return folders;
}

QUrl hidden_features_help(const QString& executable_folder)
{
    for (const QString& folder : help_folders(executable_folder)) {
        const QFileInfo page(folder + QLatin1Char('/') + QLatin1String(k_help_file));
        if (page.isFile() && page.isReadable())
            return QUrl::fromLocalFile(page.absoluteFilePath());
    }
    qDebug() << "The hidden features help page is in none of" << help_folders(executable_folder)
             << "- opening the one on the site";
    return QUrl(QLatin1String(k_site) + QStringLiteral("/stackpaste-hidden-features/"));
}

} // namespace web_pages
