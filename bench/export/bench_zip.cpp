// ZipWriter and ZipReader on a generated 64 MiB tree of realistic files
// (logs, CSV, markup, structured binary records and incompressible media),
// beside Info-ZIP's zip -6 -r and unzip on the same tree in the same run, and
// zlib's raw deflate alone over the same bytes as the floor of any writer.
//
// Every measured job runs in a forked child, so that wait4() reports the peak
// resident memory of that job alone (counter peak_rss_MiB).  Times are wall
// clock of the child (manual time).
//
// Counter cpu_s is the child's user + system CPU time, which the load of other
// processes on a shared machine disturbs far less than the wall time.
//
//   bench_zip --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
//             --benchmark_report_aggregates_only=true
//
// The tree is generated once into $TMPDIR/cc-zip-bench/tree and reused.
//
// Hostile and large archives, generated once beside it, and each read by the
// reader and by unzip in the same run:
//   many.zip     20 000 small entries with "./" names: listing and reading all
//                (unzip -t reads and checks them all)
//   large.zip    one 1 GiB entry of zeros in a 1 MiB archive: extraction
//   overlap.zip  20 central records sharing one 100 MiB entry (2 GiB if each
//                were written): extraction is refused
// The last two are slow and write 1 GiB: --benchmark_filter=Large|Overlap runs
// them alone, --benchmark_filter=-Large|Overlap skips them.

#include <configurator-common/zipreader.h>
#include <configurator-common/zipwriter.h>

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

#include <chrono>
#include <cmath>
#include <ctime>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr qint64 kTreeBytes = qint64(64) << 20;
constexpr quint32 kTreeSeed = 20261206;
constexpr int kTreeVersion = 1;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kManyEntries = 20000;
constexpr qint64 kLargeEntryBytes = qint64(1) << 30;
constexpr qint64 kOverlapEntryBytes = qint64(100) << 20;
constexpr int kOverlapRecords = 20;
constexpr int kDeflateChunk = 1 << 20;

QString benchDir()
{
    return QDir::tempPath() + QStringLiteral("/cc-zip-bench");
}

QString treeDir()
{
    return benchDir() + QStringLiteral("/tree");
}

// --- the generated tree -----------------------------------------------------

class TreeGenerator
{
public:
    TreeGenerator() : random(kTreeSeed)
    {
        static const char *syllables[] = {"ka", "to", "re", "mi", "san", "dor", "vel", "an", "is",
                                          "on", "tri", "meas", "ure", "cal", "ib", "ra", "tion",
                                          "dev", "ice", "port", "val", "ue", "ser", "ial"};
        for (int i = 0; i < 3000; ++i) {
            QByteArray word;
            const int parts = 1 + int(random.bounded(4));
            for (int p = 0; p < parts; ++p)
                word += syllables[random.bounded(int(sizeof(syllables) / sizeof(*syllables)))];
            words.append(word);
        }
    }

    void generate(const QString &root)
    {
        const QStringList dirs = {"logs/2026/11", "logs/2026/12", "data/csv", "data/records",
                                  "docs/manual", "docs/reports", "media/photos", "media/scans",
                                  "config", "src/plugins"};
        qint64 written = 0;
        int index = 0;
        while (written < kTreeBytes) {
            const int kind = pickKind();
            const QString dir = root + QLatin1Char('/') + dirs.at(dirForKind(kind));
            QDir().mkpath(dir);
            const int size = int(qMin<qint64>(fileSize(kind), kTreeBytes - written));
            const QByteArray data = contents(kind, size);
            QFile file(dir + QStringLiteral("/file%1%2").arg(index++, 5, 10, QLatin1Char('0'))
                       .arg(QLatin1String(extension(kind))));
            file.open(QIODevice::WriteOnly);
            file.write(data);
            written += data.size();
        }
    }

private:
    enum Kind { Log, Csv, Markup, Records, Media };

    int pickKind()
    {
        const int r = int(random.bounded(100));
        return r < 30 ? Log : r < 50 ? Csv : r < 75 ? Markup : r < 87 ? Records : Media;
    }

    static int dirForKind(int kind)
    {
        switch (kind) {
        case Log: return 0;
        case Csv: return 2;
        case Markup: return 4;
        case Records: return 3;
        default: return 6;
        }
    }

    static const char *extension(int kind)
    {
        switch (kind) {
        case Log: return ".log";
        case Csv: return ".csv";
        case Markup: return ".xml";
        case Records: return ".dat";
        default: return ".jpg";
        }
    }

    // Log-uniform sizes: many small files, a few large ones.
    qint64 fileSize(int kind)
    {
        const double lo = kind == Media ? 16.0 : 10.0;
        const double hi = kind == Media ? 20.0 : 21.0;
        return qint64(std::pow(2.0, lo + random.generateDouble() * (hi - lo)));
    }

    const QByteArray &word()
    {
        // Zipf-like: small indices are far more frequent.
        const double u = random.generateDouble();
        return words.at(int(std::pow(u, 3.0) * (words.size() - 1)));
    }

    QByteArray contents(int kind, int size)
    {
        QByteArray out;
        out.reserve(size + 256);
        while (out.size() < size) {
            switch (kind) {
            case Log: appendLogLine(&out); break;
            case Csv: appendCsvLine(&out); break;
            case Markup: appendMarkup(&out); break;
            case Records: appendRecord(&out); break;
            default: appendNoise(&out); break;
            }
        }
        out.truncate(size);
        return out;
    }

    void appendLogLine(QByteArray *out)
    {
        static const char *levels[] = {"INFO ", "INFO ", "INFO ", "DEBUG", "WARN ", "ERROR"};
        seconds += random.bounded(3000);
        *out += "2026-12-" + QByteArray::number(1 + (seconds / 86400) % 28).rightJustified(2, '0') + ' '
                + QByteArray::number((seconds / 3600) % 24).rightJustified(2, '0') + ':'
                + QByteArray::number((seconds / 60) % 60).rightJustified(2, '0') + ':'
                + QByteArray::number(seconds % 60).rightJustified(2, '0') + '.'
                + QByteArray::number(random.bounded(1000)).rightJustified(3, '0') + ' '
                + levels[random.bounded(6)] + " [device-" + QByteArray::number(random.bounded(40))
                + "] " + word() + ' ' + word() + " channel " + QByteArray::number(random.bounded(8))
                + " value=" + QByteArray::number(random.generateDouble() * 100.0, 'f', 3) + " status="
                + (random.bounded(20) ? "ok" : "retry") + '\n';
    }

    void appendCsvLine(QByteArray *out)
    {
        seconds += 10;
        *out += QByteArray::number(1764979200 + seconds);
        for (int c = 0; c < 6; ++c)
            *out += ',' + QByteArray::number(20.0 + random.generateDouble() * 5.0, 'f', 4);
        *out += ",OK\n";
    }

    void appendMarkup(QByteArray *out)
    {
        *out += "<paragraph style=\"" + word() + "\">";
        const int n = 8 + int(random.bounded(30));
        for (int i = 0; i < n; ++i)
            *out += word() + ' ';
        *out += "</paragraph>\n";
    }

    void appendRecord(QByteArray *out)
    {
        seconds += 1;
        for (quint32 v : {quint32(seconds), quint32(random.bounded(16)), quint32(1000 + random.bounded(50)),
                          quint32(random.bounded(65536))}) {
            for (int b = 0; b < 4; ++b)
                out->append(char((v >> (8 * b)) & 0xff));
        }
    }

    void appendNoise(QByteArray *out)
    {
        for (int i = 0; i < 64; ++i) {
            const quint32 v = random.generate();
            out->append(reinterpret_cast<const char *>(&v), sizeof v);
        }
    }

    QRandomGenerator random;
    QVector<QByteArray> words;
    quint32 seconds = 0;
};

bool ensureTree()
{
    const QString stamp = benchDir() + QStringLiteral("/tree.stamp");
    QFile stampFile(stamp);
    if (stampFile.open(QIODevice::ReadOnly) && stampFile.readAll().toInt() == kTreeVersion)
        return true;
    stampFile.close();
    QDir(treeDir()).removeRecursively();
    TreeGenerator().generate(treeDir());
    if (!stampFile.open(QIODevice::WriteOnly))
        return false;
    stampFile.write(QByteArray::number(kTreeVersion));
    return true;
}

QStringList treeFiles()
{
    QStringList files;
    QDirIterator it(treeDir(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

QStringList treeDirs()
{
    QStringList dirs;
    QDirIterator it(treeDir(), QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        dirs << it.next();
    dirs.sort();
    return dirs;
}

// --- jobs in child processes ---------------------------------------------------

struct ChildRun
{
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
    double peakRssMiB = 0;
};

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double processCpuSeconds()
{
    timespec t = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

ChildRun finish(pid_t pid, std::chrono::steady_clock::time_point start, int expectedExit = 0)
{
    ChildRun run;
    int status = 0;
    rusage usage = {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == expectedExit;
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.peakRssMiB = double(usage.ru_maxrss) / 1024.0;
    return run;
}

ChildRun runJob(const std::function<bool()> &job)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0)
        _exit(job() ? 0 : 1);
    return pid < 0 ? ChildRun() : finish(pid, start);
}

// expectedExit: the exit status that counts as the job done (unzip exits with
// 12 when it refuses an archive).
ChildRun runProgram(const QStringList &arguments, const QString &workingDir, int expectedExit = 0)
{
    QVector<QByteArray> storage;
    for (const QString &argument : arguments)
        storage.append(QFile::encodeName(argument));
    QVector<char *> argv;
    for (QByteArray &argument : storage)
        argv.append(argument.data());
    argv.append(nullptr);
    const QByteArray dir = QFile::encodeName(workingDir);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.constData()) != 0)
            _exit(127);
        execvp(argv.at(0), argv.data());
        _exit(127);
    }
    return pid < 0 ? ChildRun() : finish(pid, start, expectedExit);
}

QString oursArchive()
{
    return benchDir() + QStringLiteral("/ours.zip");
}

QString infoZipArchive()
{
    return benchDir() + QStringLiteral("/infozip.zip");
}

qint64 fileSizeOf(const QString &path)
{
    return QFileInfo(path).size();
}

// inputBytes: the bytes a job handles, for its throughput; 0 gives none.
void report(benchmark::State &state, const ChildRun &run, qint64 outputBytes, qint64 inputBytes = kTreeBytes)
{
    if (!run.ok) {
        state.SkipWithError("the measured job failed");
        return;
    }
    state.SetIterationTime(run.seconds);
    state.counters["cpu_s"] = run.cpuSeconds;
    state.counters["peak_rss_MiB"] = run.peakRssMiB;
    if (outputBytes >= 0)
        state.counters["archive_MiB"] = double(outputBytes) / kMiB;
    if (inputBytes > 0)
        state.counters["input_MiB_per_s"] = double(inputBytes) / kMiB / run.seconds;
}

bool writeWithZipWriter()
{
    ZipWriter writer(oursArchive());
    writer.setCompressionPolicy(ZipWriter::AlwaysCompress);
    writer.setCreationPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    const QDir root(QFileInfo(treeDir()).path());
    for (const QString &dir : treeDirs())
        writer.addDirectory(root.relativeFilePath(dir));
    for (const QString &path : treeFiles()) {
        QFile file(path);
        writer.addFile(root.relativeFilePath(path), &file);
    }
    writer.close();
    return writer.status() == ZipWriter::NoError;
}

void BM_ZipWriterAlwaysCompress(benchmark::State &state)
{
    for (auto _ : state) {
        QFile::remove(oursArchive());
        const ChildRun run = runJob(writeWithZipWriter);
        report(state, run, fileSizeOf(oursArchive()));
    }
}

void BM_InfoZipZip6(benchmark::State &state)
{
    for (auto _ : state) {
        QFile::remove(infoZipArchive());
        const ChildRun run = runProgram({"zip", "-q", "-6", "-r", infoZipArchive(), "tree"}, benchDir());
        report(state, run, fileSizeOf(infoZipArchive()));
    }
}

// One-shot raw deflate of every file, at the writer's level and parameters,
// on contents already in memory: what no deflating writer can undercut.
bool deflateAllInMemory(qint64 *compressedTotal)
{
    QVector<QByteArray> contents;
    for (const QString &path : treeFiles()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        contents.append(file.readAll());
    }
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    qint64 total = 0;
    QByteArray out;
    for (const QByteArray &data : contents) {
        z_stream stream = {};
        deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        out.resize(int(deflateBound(&stream, uLong(data.size()))));
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
        stream.avail_in = uInt(data.size());
        stream.next_out = reinterpret_cast<Bytef *>(out.data());
        stream.avail_out = uInt(out.size());
        if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
            return false;
        total += qint64(stream.total_out);
        deflateEnd(&stream);
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = processCpuSeconds() - cpuStart;
    *compressedTotal = total;
    // The times of the deflate loop alone go back to the parent through a file.
    QFile result(benchDir() + QStringLiteral("/floor.result"));
    if (!result.open(QIODevice::WriteOnly))
        return false;
    result.write(QByteArray::number(wall, 'f', 6) + ' ' + QByteArray::number(cpu, 'f', 6) + ' '
                 + QByteArray::number(total));
    return true;
}

void BM_ZlibRawDeflateFloor(benchmark::State &state)
{
    for (auto _ : state) {
        qint64 total = 0;
        ChildRun run = runJob([&total] { return deflateAllInMemory(&total); });
        QFile result(benchDir() + QStringLiteral("/floor.result"));
        if (run.ok && result.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> parts = result.readAll().split(' ');
            run.seconds = parts.value(0).toDouble();
            run.cpuSeconds = parts.value(1).toDouble();
            total = parts.value(2).toLongLong();
        }
        report(state, run, total);
    }
}

// The writer on the same preloaded contents into memory: its own cost over
// the floor (CRC-32, headers, copies), without the file system's.
bool writePreloadedToBuffer()
{
    const QDir root(QFileInfo(treeDir()).path());
    QVector<QPair<QString, QByteArray>> contents;
    qint64 total = 0;
    for (const QString &path : treeFiles()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        contents.append(qMakePair(root.relativeFilePath(path), file.readAll()));
        total += contents.last().second.size();
    }
    QByteArray archive;
    archive.reserve(int(total));
    QBuffer buffer(&archive);
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    {
        ZipWriter writer(&buffer);
        writer.setCompressionPolicy(ZipWriter::AlwaysCompress);
        for (const auto &entry : qAsConst(contents))
            writer.addFile(entry.first, entry.second);
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = processCpuSeconds() - cpuStart;
    QFile result(benchDir() + QStringLiteral("/memory.result"));
    if (!result.open(QIODevice::WriteOnly))
        return false;
    result.write(QByteArray::number(wall, 'f', 6) + ' ' + QByteArray::number(cpu, 'f', 6) + ' '
                 + QByteArray::number(archive.size()));
    return true;
}

void BM_ZipWriterPreloadedToMemory(benchmark::State &state)
{
    for (auto _ : state) {
        ChildRun run = runJob(writePreloadedToBuffer);
        QFile result(benchDir() + QStringLiteral("/memory.result"));
        qint64 size = -1;
        if (run.ok && result.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> parts = result.readAll().split(' ');
            run.seconds = parts.value(0).toDouble();
            run.cpuSeconds = parts.value(1).toDouble();
            size = parts.value(2).toLongLong();
        }
        report(state, run, size);
    }
}

bool extractWithZipReader(const QString &destination)
{
    ZipReader reader(oursArchive());
    return reader.extractAll(destination);
}

void BM_ZipReaderExtractAll(benchmark::State &state)
{
    const QString destination = benchDir() + QStringLiteral("/extract-ours");
    for (auto _ : state) {
        QDir(destination).removeRecursively();
        QDir().mkpath(destination);
        report(state, runJob([&] { return extractWithZipReader(destination); }), -1);
    }
}

void BM_InfoZipUnzip(benchmark::State &state)
{
    const QString destination = benchDir() + QStringLiteral("/extract-unzip");
    for (auto _ : state) {
        QDir(destination).removeRecursively();
        report(state, runProgram({"unzip", "-q", "-o", oursArchive(), "-d", destination}, benchDir()), -1);
    }
}

void BM_ZipReaderFileData(benchmark::State &state)
{
    for (auto _ : state) {
        report(state, runJob([] {
            ZipReader reader(oursArchive());
            qint64 total = 0;
            for (const ZipReader::FileInfo &info : reader.fileInfoList())
                total += reader.fileData(info.filePath).size();
            return total == kTreeBytes;
        }), -1);
    }
}

// --- many entries, a large entry, overlapping entries --------------------------

QString benchArchive(const char *name)
{
    return benchDir() + QLatin1Char('/') + QLatin1String(name);
}

void appendLe(QByteArray *out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out->append(char((value >> (8 * i)) & 0xff));
}

// Local header or central record fields shared by both, for one deflated entry.
QByteArray commonFields(quint32 crc, qint64 compressed, qint64 size, const QByteArray &name)
{
    QByteArray out;
    appendLe(&out, 20, 2);          // version needed
    appendLe(&out, 0, 2);           // flags
    appendLe(&out, 8, 2);           // deflated
    appendLe(&out, 0x50ad6d7d, 4);  // 2020-05-13 13:43:58
    appendLe(&out, crc, 4);
    appendLe(&out, quint64(compressed), 4);
    appendLe(&out, quint64(size), 4);
    appendLe(&out, quint64(name.size()), 2);
    appendLe(&out, 0, 2);
    return out;
}

// One entry of zeros deflated in chunks straight to the file, with `records`
// central records that all point at it.
bool writeZerosArchive(const QString &path, qint64 size, int records)
{
    QFile file(path + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray name = "zeros.bin";
    file.write(QByteArray(30 + name.size(), '\0'));  // local header, written last
    z_stream stream = {};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    const QByteArray zeros(kDeflateChunk, '\0');
    QByteArray out(kDeflateChunk, '\0');
    quint32 crc = quint32(crc32(0, nullptr, 0));
    for (qint64 left = size; left > 0 || stream.avail_in > 0;) {
        const int chunk = int(qMin<qint64>(left, kDeflateChunk));
        crc = quint32(crc32(crc, reinterpret_cast<const Bytef *>(zeros.constData()), uInt(chunk)));
        left -= chunk;
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
        stream.avail_in = uInt(chunk);
        const int flush = left > 0 ? Z_NO_FLUSH : Z_FINISH;
        int result = Z_OK;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(out.data());
            stream.avail_out = uInt(out.size());
            result = deflate(&stream, flush);
            file.write(out.constData(), out.size() - qint64(stream.avail_out));
        } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    }
    const qint64 compressed = qint64(stream.total_out);
    deflateEnd(&stream);

    const qint64 directoryOffset = file.pos();
    QByteArray directory;
    for (int i = 0; i < records; ++i) {
        const QByteArray recordName = records == 1 ? name : "copy" + QByteArray::number(i) + ".bin";
        appendLe(&directory, 0x02014b50, 4);
        appendLe(&directory, 0x031e, 2);
        directory += commonFields(crc, compressed, size, recordName);
        appendLe(&directory, 0, 6);
        appendLe(&directory, 0x81a40000, 4);
        appendLe(&directory, 0, 4);     // all at the one local header
        directory += recordName;
    }
    file.write(directory);
    QByteArray end;
    appendLe(&end, 0x06054b50, 4);
    appendLe(&end, 0, 4);
    appendLe(&end, quint64(records), 2);
    appendLe(&end, quint64(records), 2);
    appendLe(&end, quint64(directory.size()), 4);
    appendLe(&end, quint64(directoryOffset), 4);
    appendLe(&end, 0, 2);
    file.write(end);
    QByteArray local;
    appendLe(&local, 0x04034b50, 4);
    local += commonFields(crc, compressed, size, name) + name;
    file.seek(0);
    file.write(local);
    file.close();
    QFile::remove(path);
    return file.rename(path);
}

bool ensureArchive(const char *name, const std::function<bool(const QString &)> &make)
{
    const QString path = benchArchive(name);
    return QFile::exists(path) || make(path);
}

bool writeManyEntries(const QString &path)
{
    ZipWriter writer(path);
    writer.setCompressionPolicy(ZipWriter::AutoCompress);
    for (int i = 0; i < kManyEntries; ++i)
        writer.addFile(QStringLiteral("./dir%1/entry%2.txt").arg(i / 100).arg(i),
                       "small entry number " + QByteArray::number(i) + "\n");
    writer.close();
    return writer.status() == ZipWriter::NoError;
}

bool ensureHostileArchives()
{
    return ensureArchive("many.zip", writeManyEntries)
            && ensureArchive("large.zip", [](const QString &path) {
                   return writeZerosArchive(path, kLargeEntryBytes, 1);
               })
            && ensureArchive("overlap.zip", [](const QString &path) {
                   return writeZerosArchive(path, kOverlapEntryBytes, kOverlapRecords);
               });
}

// Lists every entry and reads each by the path its FileInfo gives.
void BM_ZipReaderManyEntries(benchmark::State &state)
{
    for (auto _ : state) {
        report(state, runJob([] {
            ZipReader reader(benchArchive("many.zip"));
            int read = 0;
            for (const ZipReader::FileInfo &info : reader.fileInfoList())
                read += reader.fileData(info.filePath).isEmpty() ? 0 : 1;
            return read == kManyEntries;
        }), -1, 0);
    }
}

void BM_InfoZipTestManyEntries(benchmark::State &state)
{
    for (auto _ : state)
        report(state, runProgram({"unzip", "-qq", "-t", benchArchive("many.zip")}, benchDir()), -1, 0);
}

void extractLarge(benchmark::State &state, bool ours)
{
    const QString destination = benchDir() + (ours ? QStringLiteral("/large-ours") : QStringLiteral("/large-unzip"));
    for (auto _ : state) {
        QDir(destination).removeRecursively();
        QDir().mkpath(destination);
        const ChildRun run = ours ? runJob([&] { return ZipReader(benchArchive("large.zip")).extractAll(destination); })
                                  : runProgram({"unzip", "-qq", "-o", benchArchive("large.zip"), "-d", destination},
                                               benchDir());
        const bool whole = QFileInfo(destination + QStringLiteral("/zeros.bin")).size() == kLargeEntryBytes;
        report(state, whole ? run : ChildRun(), -1, kLargeEntryBytes);
        QDir(destination).removeRecursively();
    }
}

void BM_ZipReaderExtractLargeEntry(benchmark::State &state)
{
    extractLarge(state, true);
}

void BM_InfoZipUnzipLargeEntry(benchmark::State &state)
{
    extractLarge(state, false);
}

// Both refuse the archive; unzip writes the first entry before it notices.
void extractOverlap(benchmark::State &state, bool ours)
{
    const QString destination = benchDir() + (ours ? QStringLiteral("/overlap-ours") : QStringLiteral("/overlap-unzip"));
    for (auto _ : state) {
        QDir(destination).removeRecursively();
        QDir().mkpath(destination);
        const ChildRun run = ours ? runJob([&] { return !ZipReader(benchArchive("overlap.zip")).extractAll(destination); })
                                  : runProgram({"unzip", "-qq", "-o", benchArchive("overlap.zip"), "-d", destination},
                                               benchDir(), 12);
        qint64 written = 0;
        QDirIterator it(destination, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            written += QFileInfo(it.next()).size();
        report(state, run, -1, 0);
        state.counters["written_MiB"] = double(written) / kMiB;
        QDir(destination).removeRecursively();
    }
}

void BM_ZipReaderExtractOverlap(benchmark::State &state)
{
    extractOverlap(state, true);
}

void BM_InfoZipUnzipOverlap(benchmark::State &state)
{
    extractOverlap(state, false);
}

// The forked benchmark process itself, doing nothing: the part of every
// in-process job's peak memory that is not the job's.
void BM_ForkBaseline(benchmark::State &state)
{
    for (auto _ : state)
        report(state, runJob([] { return true; }), -1);
}

} // namespace

BENCHMARK(BM_ForkBaseline)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZipWriterAlwaysCompress)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoZipZip6)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZipWriterPreloadedToMemory)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibRawDeflateFloor)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZipReaderExtractAll)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoZipUnzip)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZipReaderFileData)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZipReaderManyEntries)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoZipTestManyEntries)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZipReaderExtractLargeEntry)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoZipUnzipLargeEntry)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZipReaderExtractOverlap)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoZipUnzipOverlap)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (!ensureTree() || !ensureHostileArchives())
        return 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
