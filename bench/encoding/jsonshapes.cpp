#include "jsonshapes.h"

#include <QStringList>

#include <configurator-common/json.h>

#include <cmath>
#include <random>

namespace {

using Rng = std::mt19937_64;

const int kSampleItems = 50;
const int kPointsPerFeature = 64;
const int kNestingDepth = 7;
const double kCoordinateScale = 1e7; // 7 decimals, as GPS coordinates come

double uniform(Rng& rng, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(rng);
}

double withSevenDecimals(double value)
{
    return std::round(value * kCoordinateScale) / kCoordinateScale;
}

QVariant feature(Rng& rng)
{
    QVariantList coordinates;
    coordinates.reserve(kPointsPerFeature);
    double lon = uniform(rng, -180.0, 180.0);
    double lat = uniform(rng, -85.0, 85.0);
    for (int i = 0; i < kPointsPerFeature; ++i) {
        lon += uniform(rng, -0.001, 0.001);
        lat += uniform(rng, -0.001, 0.001);
        coordinates << QVariant(QVariantList{ withSevenDecimals(lon), withSevenDecimals(lat) });
    }
    QVariantMap geometry;
    geometry["type"] = QStringLiteral("LineString");
    geometry["coordinates"] = coordinates;
    QVariantMap properties;
    properties["id"] = qulonglong(rng() % 1000000);
    properties["elevation"] = withSevenDecimals(uniform(rng, 0.0, 3000.0));
    QVariantMap result;
    result["type"] = QStringLiteral("Feature");
    result["geometry"] = geometry;
    result["properties"] = properties;
    return result;
}

const char* const kShortKeys[] = { "a", "b", "id", "v", "t", "ok", "n", "x", "y", "ts" };
const char* const kWords[] = { "on", "off", "auto", "Ток", "mA", "°C", "idle", "ошибка" };

QVariant mixedLeaf(Rng& rng)
{
    switch (rng() % 7) {
    case 0: return qulonglong(rng() % 100000);
    case 1: return -qlonglong(rng() % 100000) - 1;
    case 2: return uniform(rng, -1000.0, 1000.0);
    case 3: return bool(rng() & 1);
    case 4: return QVariant();
    default: return QString::fromUtf8(kWords[rng() % 8]);
    }
}

QVariant nested(Rng& rng, int depth)
{
    if (depth == kNestingDepth || rng() % 4 == 0)
        return mixedLeaf(rng);
    const int count = 1 + int(rng() % 4);
    if (rng() & 1) {
        QVariantList list;
        for (int i = 0; i < count; ++i)
            list << nested(rng, depth + 1);
        return list;
    }
    QVariantMap map;
    for (int i = 0; i < count; ++i)
        map.insert(QString::fromLatin1(kShortKeys[rng() % 10]), nested(rng, depth + 1));
    return map;
}

const char* const kSentences[] = {
    "Датчик давления откалиброван, отклонение в пределах нормы. ",
    "Operator note: \"valve #3\" replaced; see C:\\logs\\2024\\valve.txt\n",
    "Température de consigne atteinte après 12 min.\t",
    "Zählerstand übernommen — Prüfung „bestanden“. ",
    "Путь к сертификату: \\\\server\\certs\\№ 1147/23\r\n",
    "Plain ASCII line with no escapes at all, just words and digits 0123. ",
    "日本語のメモ：校正済み。 ",
};

QVariant textRecord(Rng& rng)
{
    QString body;
    const int sentences = 4 + int(rng() % 12);
    for (int i = 0; i < sentences; ++i)
        body += QString::fromUtf8(kSentences[rng() % 7]);
    QVariantMap record;
    record["title"] = QString::fromUtf8(kSentences[rng() % 7]).trimmed();
    record["body"] = body;
    record["author"] = QStringLiteral("Инженер %1").arg(rng() % 100);
    return record;
}

QVariant smallObject(Rng& rng)
{
    QVariantMap record;
    record["id"] = qulonglong(rng() % 10000000);
    record["ok"] = bool(rng() & 1);
    record["v"] = withSevenDecimals(uniform(rng, -100.0, 100.0));
    record["ch"] = qulonglong(rng() % 16);
    record["st"] = QString::fromLatin1(kWords[rng() % 3]);
    return record;
}

QVariant itemOf(JsonShape shape, Rng& rng)
{
    switch (shape) {
    case ShapeCoordinates: return feature(rng);
    case ShapeNested: return nested(rng, 0);
    case ShapeText: return textRecord(rng);
    default: return smallObject(rng);
    }
}

} // namespace

const char* jsonShapeName(JsonShape shape)
{
    static const char* const kNames[] = { "coordinates", "nested", "text", "small_objects" };
    return kNames[shape];
}

QVariant makeJsonShape(JsonShape shape, qint64 bytes, unsigned seed)
{
    Rng sampler(seed + 1000);
    QVariantList sample;
    for (int i = 0; i < kSampleItems; ++i)
        sample << itemOf(shape, sampler);
    const qint64 itemBytes = qMax<qint64>(1, QtJson::Json::serialize(sample).size() / kSampleItems);
    const int count = int(qMax<qint64>(1, bytes / itemBytes));

    Rng rng(seed);
    QVariantList items;
    items.reserve(count);
    for (int i = 0; i < count; ++i)
        items << itemOf(shape, rng);
    if (shape == ShapeCoordinates) {
        QVariantMap collection;
        collection["type"] = QStringLiteral("FeatureCollection");
        collection["features"] = items;
        return collection;
    }
    return items;
}
