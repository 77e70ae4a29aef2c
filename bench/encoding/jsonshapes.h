#ifndef BENCH_JSONSHAPES_H
#define BENCH_JSONSHAPES_H

#include <QVariant>

// Documents of the shapes the configurator moves, for the JSON benchmarks.
// Each generator builds a tree whose serialized text is about the given
// size; the same seed gives the same tree.
enum JsonShape {
    ShapeCoordinates, // GeoJSON-like features: arrays of doubles with 7 decimals
    ShapeNested,      // deeply nested maps and lists of mixed values, short keys
    ShapeText,        // long strings with escapes and non-ASCII text
    ShapeSmallObjects, // a long list of small flat records
    ShapeCount
};

const char* jsonShapeName(JsonShape shape);
QVariant makeJsonShape(JsonShape shape, qint64 bytes, unsigned seed = 1);

#endif
