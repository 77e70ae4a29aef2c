#include "simulatedinstrument.h"
#include "sampleprotocol.h"

#include <configurator-common/json.h>
#include <configurator-common/restmessage.h>

#include <QIODevice>
#include <QUrl>
#include <QtMath>

using namespace SampleProtocol;

namespace {

const char* const kJsonType = "application/json; charset=utf-8";
const char* const kCsvType = "text/csv";
const qint64 kLogStepSecs = 60;
const int kLogLines = 30;
const uint kProductionDate = 1615766400;       // 2021-03-15
const uint kLastVerification = 1748736000;     // 2025-06-01
const uint kNextVerification = 1811808000;     // 2027-06-01

RestMessage* response(RestMessage::ResponseStatus status, const char* type = 0,
                      const QByteArray& body = QByteArray())
{
    RestMessage* message = new RestMessage;
    message->setStartLine(status);
    if (type) {
        message->setHeader(QStringLiteral("Content-Type"), QString::fromLatin1(type));
        message->setContent(body);
    } else {
        message->setContent(QByteArray());
    }
    return message;
}

RestMessage* jsonResponse(const QVariant& value)
{
    return response(RestMessage::Ok, kJsonType, QtJson::Json::serialize(value));
}

} // namespace

SimulatedInstrument::SimulatedInstrument(int instrumentIndex, QObject* parent)
    : QObject(parent)
    , index(instrumentIndex)
    , userName(QStringLiteral("user"))
    , userPassword(QStringLiteral("qvxj"))
    , started(QDateTime::currentDateTimeUtc())
{
    QVariantMap measurement;
    measurement.insert(QStringLiteral("interval"), 10);
    measurement.insert(QStringLiteral("unit"), QStringLiteral("degC"));
    groups.insert(QLatin1String(kMeasurementGroup), measurement);
}

void SimulatedInstrument::setCredentials(const QString& login, const QString& password)
{
    userName = login;
    userPassword = password;
}

QString SimulatedInstrument::login() const
{
    return userName;
}

QString SimulatedInstrument::password() const
{
    return userPassword;
}

QString SimulatedInstrument::serial() const
{
    return QStringLiteral("VX-%1").arg(240117 + index, 7, 10, QLatin1Char('0'));
}

QVariantMap SimulatedInstrument::identification() const
{
    QVariantMap info;
    info.insert(QStringLiteral("model"), QStringLiteral("VX-420"));
    info.insert(QStringLiteral("description"), QStringLiteral("Precision thermometer (simulated)"));
    info.insert(QStringLiteral("serialNumer"), serial());
    info.insert(QStringLiteral("productionDate"), kProductionDate);
    info.insert(QStringLiteral("certificateSerial"), QStringLiteral("C-2025/%1").arg(457 + index));
    info.insert(QStringLiteral("lastVerificationDate"), kLastVerification);
    info.insert(QStringLiteral("nextVerificationDate"), kNextVerification);
    info.insert(QStringLiteral("accuracyClass"), 0.5);
    return info;
}

double SimulatedInstrument::readingAt(qint64 msecsSinceEpoch)
{
    return 21.5 + 1.25 * qSin(double(msecsSinceEpoch) / 600000.0);
}

QVariantMap SimulatedInstrument::status() const
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVariantMap map;
    map.insert(QStringLiteral("state"), QStringLiteral("measuring"));
    map.insert(QStringLiteral("reading"), readingAt(now.toMSecsSinceEpoch()));
    map.insert(QStringLiteral("unit"), groups.value(QLatin1String(kMeasurementGroup)).value(QStringLiteral("unit")));
    map.insert(QStringLiteral("uptime"), started.secsTo(now));
    return map;
}

QVariantMap SimulatedInstrument::configGroup(const QString& name) const
{
    return groups.value(name);
}

QByteArray SimulatedInstrument::measurementLog() const
{
    QByteArray csv("time,reading,unit\n");
    const QString unit = groups.value(QLatin1String(kMeasurementGroup)).value(QStringLiteral("unit")).toString();
    const qint64 end = started.toSecsSinceEpoch();
    for (int i = kLogLines - 1; i >= 0; --i) {
        const qint64 t = end - i * kLogStepSecs;
        csv += QDateTime::fromSecsSinceEpoch(t, Qt::UTC).toString(Qt::ISODate).toLatin1();
        csv += ',' + QByteArray::number(readingAt(t * 1000), 'f', 3) + ',' + unit.toUtf8() + '\n';
    }
    return csv;
}

bool SimulatedInstrument::isAuthorized(const RestMessage& request) const
{
    const QByteArray expected = "Basic " + (userName + QLatin1Char(':') + userPassword).toLocal8Bit().toBase64();
    return request.header(QStringLiteral("Authorization")).toByteArray().trimmed() == expected;
}

RestMessage* SimulatedInstrument::answer(const RestMessage& request)
{
    const QStringList parts = request.startLine().split(QLatin1Char(' '));
    if (parts.size() != 3)
        return response(RestMessage::BadRequest);
    const QString method = parts.at(0);
    const QString path = QUrl(parts.at(1)).path();

    if (!isAuthorized(request)) {
        RestMessage* refusal = response(RestMessage::Unauthorized);
        refusal->setHeader(QStringLiteral("WWW-Authenticate"), QStringLiteral("Basic realm=\"instrument\""));
        return refusal;
    }

    if (method == QLatin1String("GET") && path == QLatin1String(kInfoPath))
        return jsonResponse(identification());
    if (method == QLatin1String("GET") && path == QLatin1String(kStatusPath))
        return jsonResponse(status());
    if (method == QLatin1String("GET") && path == QLatin1String(kLogPath))
        return response(RestMessage::Ok, kCsvType, measurementLog());

    if (path.startsWith(QLatin1String(kConfigPath))) {
        const QString group = path.mid(int(qstrlen(kConfigPath)));
        if (group.isEmpty())
            return response(RestMessage::NotFound);
        if (method == QLatin1String("GET")) {
            if (!groups.contains(group))
                return response(RestMessage::NotFound);
            return jsonResponse(groups.value(group));
        }
        if (method == QLatin1String("POST") || method == QLatin1String("PUT")) {
            QIODevice* content = request.content();
            const QByteArray body = content ? (content->seek(0), content->readAll()) : QByteArray();
            bool ok = false;
            const QVariant values = QtJson::Json::parse(QString::fromUtf8(body), ok);
            if (!ok || values.userType() != QMetaType::QVariantMap)
                return response(RestMessage::UnprocessableEntity);
            groups.insert(group, values.toMap());
            return jsonResponse(groups.value(group));
        }
        return response(RestMessage::NotAllowed);
    }
    return response(RestMessage::NotFound);
}
