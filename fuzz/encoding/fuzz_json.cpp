// Feeds arbitrary bytes to the JSON reader.  Whatever it accepts must be
// written back without failure as text that a strict reader (Qt's) accepts,
// and reading and writing that text again must give the same text.  The one
// lossy step is a lone surrogate (from an escape such as \ud800), which UTF-8
// cannot carry and is written as '?'; such trees must be stable one round on.
#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <configurator-common/json.h>

#include <cstdint>
#include <cstdlib>

namespace {

bool hasLoneSurrogate(const QString& s)
{
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

bool hasLoneSurrogate(const QVariant& v)
{
    switch (v.userType()) {
    case QMetaType::QString:
        return hasLoneSurrogate(v.toString());
    case QMetaType::QVariantList:
        for (const QVariant& item : v.toList()) {
            if (hasLoneSurrogate(item))
                return true;
        }
        return false;
    case QMetaType::QVariantMap: {
        const QVariantMap map = v.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            if (hasLoneSurrogate(it.key()) || hasLoneSurrogate(it.value()))
                return true;
        }
        return false;
    }
    default:
        return false;
    }
}

QByteArray rewrite(const QByteArray& text)
{
    bool ok = false;
    const QVariant value = QtJson::Json::parse(QString::fromUtf8(text), ok);
    if (!ok)
        abort();
    return QtJson::Json::serialize(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    bool ok = false;
    const QVariant value = QtJson::Json::parse(text, ok);
    if (!ok)
        return 0;

    bool written = false;
    const QByteArray first = QtJson::Json::serialize(value, written);
    if (!written || first.isNull())
        abort();

    // Qt's reader takes only an object or an array at the top.  Names that
    // differ only in lone surrogates are written alike, and Qt 5.15's reader
    // leaks on repeated names, so such trees are left out of this check.
    const bool lossy = hasLoneSurrogate(value);
    const int type = value.userType();
    if (!lossy && (type == QMetaType::QVariantMap || type == QMetaType::QVariantList)) {
        QJsonParseError error;
        QJsonDocument::fromJson(first, &error);
        if (error.error != QJsonParseError::NoError)
            abort();
    }

    const QByteArray second = rewrite(first);
    if (lossy) {
        if (rewrite(second) != second)
            abort();
    } else if (second != first) {
        abort();
    }
    return 0;
}
