// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SpellParser.h"

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Only ASCII letters: a UTF-8 spell keeps its other bytes as they are.
QByteArray ascii_lower(const QByteArray& text)
{
    QByteArray lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

QList<QByteArray> words_of(const QByteArray& text)
{
    QList<QByteArray> words;
    QByteArray word;
    for (const char c : ascii_lower(text)) {
        if (!is_space(c)) {
            word += c;
        } else if (!word.isEmpty()) {
            words << word;
            word.clear();
        }
    }
    if (!word.isEmpty())
        words << word;
    return words;
}

// Position after an optional sign and a run of digits from `start`.
int skip_digits(const QByteArray& word, int start)
{
    int i = start;
    while (i < word.size() && is_digit(word.at(i)))
        ++i;
    return i;
}

int after_sign(const QByteArray& word)
{
    return !word.isEmpty() && (word.at(0) == '+' || word.at(0) == '-') ? 1 : 0;
}

bool is_integer_form(const QByteArray& word)
{
    const int start = after_sign(word);
    return start < word.size() && skip_digits(word, start) == word.size();
}

// Digits, one '.', digits; either run may be empty.
bool is_float_form(const QByteArray& word)
{
    const int point = skip_digits(word, after_sign(word));
    return point < word.size() && word.at(point) == '.' && skip_digits(word, point + 1) == word.size();
}

struct BoolWord {
    const char* word;
    bool value;
};
const BoolWord k_bool_words[] = {{"true", true}, {"on", true},       {"yes", true},    {"enable", true},
                                 {"use", true},  {"start", true},    {"false", false}, {"off", false},
                                 {"no", false},  {"disable", false}, {"halt", false},  {"stop", false}};

SpellToken token_of(const QByteArray& word)
{
    SpellToken token;
    token.text = word;
    for (const BoolWord& bool_word : k_bool_words) {
        if (word == bool_word.word) {
            token.kind = SpellToken::Kind::Bool;
            token.bool_value = bool_word.value;
            return token;
        }
    }
    bool ok = false;
    if (is_integer_form(word)) {
        // A number too big for 64 bits is not an integer (and has no '.', so it ends as a string).
        token.integer_value = word.toLongLong(&ok, 10);
        if (ok) {
            token.kind = SpellToken::Kind::Integer;
            return token;
        }
        token.integer_value = 0;
    }
    if (is_float_form(word)) {
        // Read in the C locale: a "." is the decimal point whatever the user's language.
        token.float_value = word.toDouble(&ok);
        if (ok) {
            token.kind = SpellToken::Kind::Float;
            return token;
        }
        token.float_value = 0.0;
    }
    return token;
}

bool word_matches(const QByteArray& pattern_word, const SpellToken& token)
{
    using Kind = SpellToken::Kind;
    if (pattern_word == "%b")
        return token.kind == Kind::Bool;
    if (pattern_word == "%d")
        return token.kind == Kind::Integer;
    if (pattern_word == "%f")
        return token.kind == Kind::Float || token.kind == Kind::Integer;
    if (pattern_word == "%s")
        return token.kind == Kind::String;
    return pattern_word == token.text;
}

} // namespace

namespace spell_parser {

QList<SpellToken> tokenize(const QByteArray& spell)
{
    QList<SpellToken> tokens;
    for (const QByteArray& word : words_of(spell))
        tokens << token_of(word);
    return tokens;
}

bool matches(const QList<SpellToken>& tokens, const QByteArray& pattern)
{
    const QList<QByteArray> words = words_of(pattern);
    if (words.size() != tokens.size())
        return false;
    for (int i = 0; i < words.size(); ++i) {
        if (!word_matches(words.at(i), tokens.at(i)))
            return false;
    }
    return true;
}

} // namespace spell_parser
