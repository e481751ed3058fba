// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

// The words of a spell and the patterns they are matched against. A spell is lower-cased (ASCII letters only) and
// split at white space; each word becomes a token: a bool word ("on", "off", "enable", ...), an integer that fits 64
// bits, a float ("1.5", ".5", "2."), or a string. A pattern is split the same way; "%b", "%d", "%f" and "%s" match a
// bool, an integer, a float or integer, and a string token, any other word matches a token with exactly its text.
struct SpellToken {
    enum class Kind { Bool, Integer, Float, String };
    Kind kind = Kind::String;
    QByteArray text; // the word, lower-cased
    bool bool_value = false;
    qint64 integer_value = 0;
    double float_value = 0.0;
};

namespace spell_parser {

QList<SpellToken> tokenize(const QByteArray& spell);
bool matches(const QList<SpellToken>& tokens, const QByteArray& pattern);

} // namespace spell_parser
