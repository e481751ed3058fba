// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// The web addresses the program opens, all in one table, and the hidden-features help page that ships with it.
namespace web_pages {

// The project's site.
inline constexpr const char* k_site = "https://stackpaste.example.org";
// The help page's file name, beside the executable of a portable copy and in <prefix>/share/doc/stackpaste.
inline constexpr const char* k_help_file = "hidden-features.html";

// The fixed page a spell opens ("affiliate", "salsa", ...), or an empty text for a spell without one.
QString page_of_spell(const QByteArray& spell);
// The spells that open a fixed page, in the order they are tried.
QList<QByteArray> page_spells();

// Where the help page lies: beside the executable first, then in the installed documentation; the page on the
// site when neither has it.
QUrl hidden_features_help(const QString& executable_folder);
// The folders searched for the help page, in order.
QStringList help_folders(const QString& executable_folder);

} // namespace web_pages
