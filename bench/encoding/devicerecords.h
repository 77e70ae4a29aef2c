#ifndef BENCH_DEVICERECORDS_H
#define BENCH_DEVICERECORDS_H

#include <QVariant>

// A realistic document for the JSON benchmarks: a list of device records
// with nested maps and lists, non-ASCII text, escapes, large integers and
// doubles.  The same seed gives the same document.
QVariantList makeDeviceRecords(int count, unsigned seed = 1);

// Records needed for a serialized document of about the given size.
int deviceRecordsForBytes(qint64 bytes);

#endif
