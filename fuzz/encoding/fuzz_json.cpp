// Feeds arbitrary bytes to the JSON reader.  Whatever it accepts must be
// written back without failure as text that a strict reader (Qt's) accepts,
// and reading and writing that text again must give the same text.
#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QString>

#include <configurator-common/json.h>

#include <cstdint>
#include <cstdlib>

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

    // Qt's reader takes only an object or an array at the top.
    const int type = value.userType();
    if (type == QMetaType::QVariantMap || type == QMetaType::QVariantList) {
        QJsonParseError error;
        QJsonDocument::fromJson(first, &error);
        if (error.error != QJsonParseError::NoError)
            abort();
    }

    bool reread = false;
    const QVariant again = QtJson::Json::parse(QString::fromUtf8(first), reread);
    if (!reread || QtJson::Json::serialize(again) != first)
        abort();
    return 0;
}
