#ifndef CONFIGURATOR_COMMON_JSON_H
#define CONFIGURATOR_COMMON_JSON_H

#include <QByteArray>
#include <QString>
#include <QVariant>

/// \file
/// The JSON codec QtJson::Json.

/// The JSON codec between JSON text and trees of QVariant.
namespace QtJson {

/// Codes of the reader's tokens, as its tokenizer returns them.
enum JsonToken {
    TokenNone = 0,          ///< End of text or a character that starts no token.
    TokenObjectOpen = 1,    ///< "{"
    TokenObjectClose = 2,   ///< "}"
    TokenArrayOpen = 3,     ///< "["
    TokenArrayClose = 4,    ///< "]"
    TokenColon = 5,         ///< ":"
    TokenComma = 6,         ///< ","
    TokenString = 7,        ///< A string in double quotes.
    TokenNumber = 8,        ///< A number.
    TokenTrue = 9,          ///< "true"
    TokenFalse = 10,        ///< "false"
    TokenNull = 11          ///< "null"
};

/// Reads JSON text into a tree of variants (objects as QVariantMap, arrays as
/// QVariantList, numbers as qulonglong, qlonglong or double) and writes such a
/// tree back as UTF-8 JSON text.  The reader is lenient: missing and repeated
/// commas are accepted and text after the first value is ignored.
/// Stateless; every operation is reentrant.
class Json
{
public:
    /// Objects and arrays nested deeper than this make the reader and the
    /// writer fail, so that a hostile peer cannot exhaust the stack.
    static constexpr int kMaxNestingDepth = 512;

    /// Reads one value; malformed text gives an empty map, an empty list or an
    /// invalid variant, depending on where it failed.
    static QVariant parse(const QString& json);
    /// The same; \a success tells whether the text was well formed (a null
    /// \a json gives an invalid variant and true).
    static QVariant parse(const QString& json, bool& success);

    /// Writes \a data as UTF-8 JSON text; a null QByteArray means failure
    /// (a value of a type the writer does not know, at any depth; nesting
    /// deeper than kMaxNestingDepth; a text too long for a QByteArray).
    static QByteArray serialize(const QVariant& data);
    /// The same; \a success is false exactly when the result is null.
    static QByteArray serialize(const QVariant& data, bool& success);

private:
    static QVariant parseValue(const QString& json, int& index, bool& success, int depth);
    static QVariant parseObject(const QString& json, int& index, bool& success, int depth);
    static QVariant parseArray(const QString& json, int& index, bool& success, int depth);
    static QVariant parseString(const QString& json, int& index, bool& success);
    static QVariant parseNumber(const QString& json, int& index);
    static int lastIndexOfNumber(const QString& json, int index);
    static void eatWhitespace(const QString& json, int& index);
    static int lookAhead(const QString& json, int index);
    static int nextToken(const QString& json, int& index);
};

} // namespace QtJson

#endif // CONFIGURATOR_COMMON_JSON_H
