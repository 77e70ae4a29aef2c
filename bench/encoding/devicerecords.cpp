#include "devicerecords.h"

#include <QString>
#include <QStringList>

#include <random>

namespace {

const int kChannels = 4;
const int kHistoryLength = 12;
const int kCalibrationPoints = 5;
// Measured size of one serialized record, used to scale documents.
const int kApproximateRecordBytes = 1800;

const char* const kModels[] = {
    "Термометр ТМ-2 \"Профи\"", "Manometer M-100", "Gasanalysator GA/7",
    "Расходомер РМ-5\\В", "Hygrometer H\u00e9lios",
};
const char* const kSites[] = {
    "Цех №1, линия 3", "Boiler room\tB", "Склад\nсекция 2", "Lab «Север»", "Mast 17/α",
};

} // namespace

QVariantList makeDeviceRecords(int count, unsigned seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> reading(-50.0, 150.0);
    QVariantList records;
    records.reserve(count);
    for (int i = 0; i < count; ++i) {
        QVariantMap record;
        record["uuid"] = QStringLiteral("{%1-4e2a-9c1b-%2}")
                             .arg(quint32(rng()), 8, 16, QLatin1Char('0'))
                             .arg(quint64(rng()) & 0xffffffffffffull, 12, 16, QLatin1Char('0'));
        record["model"] = QString::fromUtf8(kModels[rng() % 5]);
        record["site"] = QString::fromUtf8(kSites[rng() % 5]);
        record["serial"] = qulonglong(rng());
        record["offset"] = qlonglong(rng() >> 1) * -1;
        record["firmware"] = QStringLiteral("v%1.%2.%3").arg(rng() % 10).arg(rng() % 100).arg(rng() % 1000);
        record["accuracy"] = 0.25;
        record["temperature"] = reading(rng);
        record["online"] = bool(rng() & 1);
        record["location"] = QVariant();
        record["note"] = QStringLiteral("Поверка: \"ok\"\\path/to/cert\r\nnext line\tend");

        QVariantList channels;
        for (int c = 0; c < kChannels; ++c) {
            QVariantMap channel;
            channel["id"] = qulonglong(c + 1);
            channel["name"] = QStringLiteral("Канал %1").arg(c + 1);
            QVariantList calibration;
            for (int k = 0; k < kCalibrationPoints; ++k)
                calibration << reading(rng) / 100.0;
            channel["calibration"] = calibration;
            QVariantMap limits;
            limits["low"] = -40.5;
            limits["high"] = reading(rng);
            channel["limits"] = limits;
            channel["enabled"] = bool(rng() & 1);
            channels << channel;
        }
        record["channels"] = channels;

        QVariantMap verification;
        verification["last"] = qulonglong(1600000000 + rng() % 100000000);
        verification["next"] = qulonglong(1700000000 + rng() % 100000000);
        verification["certificate"] = QStringLiteral("№ %1/%2").arg(rng() % 100000).arg(rng() % 100);
        record["verification"] = verification;

        QVariantList history;
        for (int h = 0; h < kHistoryLength; ++h)
            history << qulonglong(rng() % 1000000);
        record["history"] = history;
        record["tags"] = QStringList{ QStringLiteral("α"), QStringLiteral("field"), QStringLiteral("датчик") };
        records << QVariant(record);
    }
    return records;
}

int deviceRecordsForBytes(qint64 bytes)
{
    return int(qMax<qint64>(1, bytes / kApproximateRecordBytes));
}
