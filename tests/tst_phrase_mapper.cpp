// The phrase mapper, the background side of the phrase map: it answers on
// the main thread with the map of a spoken recording, uses its cache until
// the file changes, ignores and rebuilds a damaged cache entry, and can be
// cancelled, redirected or destroyed mid-way without a word more.

#include "base/Log.h"
#include "engine/DecodeStream.h"
#include "engine/LoudnessScan.h"
#include "engine/PhraseMapCache.h"
#include "engine/PhraseMapper.h"
#include "HungReads.h"
#include "SpeechFixture.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QtEndian>
#include <QFile>
#include <QFileInfo>
#include <QDateTime>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <memory>

extern "C" {
#include <libavutil/error.h>
}

namespace {

// What a mapper said, in order.
class MapperWatch {
public:
    explicit MapperWatch(PhraseMapper& mapper)
    {
        QObject::connect(&mapper, &PhraseMapper::progressed, &m_context,
                         [this](const QString&, double fraction) { progress.push_back(fraction); });
        QObject::connect(&mapper, &PhraseMapper::mapped, &m_context, [this](const QString& path, const PhraseMap& map) {
            answeredPaths << path;
            maps.push_back(map);
        });
        QObject::connect(&mapper, &PhraseMapper::failed, &m_context, [this](const QString& path, const QString& error) {
            answeredPaths << path;
            errors << error;
        });
    }

    bool waitForAnswers(int count) { return QTest::qWaitFor([&] { return answeredPaths.size() >= count; }, 60000); }

    std::vector<double> progress;
    QStringList answeredPaths;
    std::vector<PhraseMap> maps;
    QStringList errors;

private:
    QObject m_context;
};

LoudnessEnvelope scan(const QString& path)
{
    QString error;
    const auto envelope = LoudnessScan::run(path, [](double) { return true; }, &error);
    if (!envelope)
        qFatal("cannot scan %s: %s", qPrintable(path), qPrintable(error));
    return *envelope;
}

// An entry claiming the file is silent throughout: a map read from it has no
// phrases, so whether the mapper used it shows.
LoudnessEnvelope silentEnvelopeLike(const LoudnessEnvelope& real)
{
    return {std::vector<float>(real.levelsDecibels.size(), PhraseMap::silenceDecibels), real.durationSeconds};
}

void setModified(const QString& path, const QDateTime& time)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

}  // namespace

class PhraseMapperTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_lesson;       // six sentences
    QString m_shortLesson;  // three others
    QString m_long;         // some forty minutes of tone, for catching the mapper mid-way
    int m_lessonPhrases = 0;

    QString cacheDirectory() const { return m_dir.filePath(QStringLiteral("cache")); }
    QString copyOfLesson(const QString& name) const
    {
        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        QFile::copy(m_lesson, path);
        return path;
    }

private slots:
    void initTestCase()
    {
        const QString missing = SpeechFixture::missingTool();
        if (!missing.isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed: no spoken recordings to map").arg(missing)));
        QString error;
        const auto lesson = SpeechFixture::make(m_dir.path(), QStringLiteral("lesson"), SpeechFixture::lesson(), &error);
        QVERIFY2(lesson, qPrintable(error));
        m_lesson = lesson->path;
        m_lessonPhrases = int(lesson->sentences.size());
        SpeechFixture::Recipe recipe;
        recipe.sentences = {QStringLiteral("Good morning"), QStringLiteral("How are you today"),
                            QStringLiteral("I am fine thank you")};
        recipe.pausesSeconds = {0.6, 0.5};
        const auto shortLesson = SpeechFixture::make(m_dir.path(), QStringLiteral("short"), recipe, &error);
        QVERIFY2(shortLesson, qPrintable(error));
        m_shortLesson = shortLesson->path;

        // MP3 frames copied end to end: long to decode, quick to make.
        m_long = m_dir.filePath(QStringLiteral("long.mp3"));
        QVERIFY2(SpeechFixture::runTool(QStringLiteral("ffmpeg"),
                                        {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-stream_loop"),
                                         QStringLiteral("480"), QStringLiteral("-i"), fixturePath(QStringLiteral("sine-5s.mp3")),
                                         QStringLiteral("-c"), QStringLiteral("copy"), m_long},
                                        &error),
                 qPrintable(error));
    }

    void init() { QDir(cacheDirectory()).removeRecursively(); }

    void usesTheCacheUntilTheFileChanges_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("mappedLike");  // "cache" (no phrases), "lesson" or "short"
        QTest::newRow("unchanged") << QString() << QStringLiteral("cache");
        QTest::newRow("touched") << QStringLiteral("touch") << QStringLiteral("lesson");
        QTest::newRow("rewritten") << QStringLiteral("rewrite") << QStringLiteral("short");
        // Another file of the same size put in its place, its time kept (a
        // copy of the same recording stands for it: only the cache's silent
        // map tells it from the file mapped).
        QTest::newRow("replaced alike") << QStringLiteral("replace") << QStringLiteral("lesson");
    }
    void usesTheCacheUntilTheFileChanges()
    {
        QFETCH(QString, change);
        QFETCH(QString, mappedLike);
        const QString path = copyOfLesson(QStringLiteral("changing.mp3"));
        const QDateTime then = QDateTime::currentDateTime().addSecs(-3600);
        setModified(path, then);
        const PhraseMapCache cache(cacheDirectory());
        QString error;
        QVERIFY2(cache.store(PhraseMapCache::identify(path), silentEnvelopeLike(scan(path)), &error), qPrintable(error));

        if (change == QLatin1String("touch")) {
            setModified(path, then.addSecs(1));
        } else if (change == QLatin1String("rewrite")) {
            QVERIFY(QFile::remove(path) && QFile::copy(m_shortLesson, path));
            setModified(path, then);  // the same time: the size still tells
        } else if (change == QLatin1String("replace")) {
            const QString incoming = path + QStringLiteral(".part");
            QFile::remove(incoming);
            QVERIFY(QFile::copy(m_lesson, incoming));
            setModified(incoming, then);
            QVERIFY(std::rename(QFile::encodeName(incoming).constData(), QFile::encodeName(path).constData()) == 0);
        }
        PhraseMapper mapper(cacheDirectory(), PhraseFinder::Settings());
        MapperWatch watch(mapper);
        mapper.map(path);
        QVERIFY(watch.waitForAnswers(1));
        QCOMPARE(watch.errors, QStringList());
        const int expected = mappedLike == QLatin1String("cache") ? 0 : mappedLike == QLatin1String("lesson") ? m_lessonPhrases : 3;
        QCOMPARE(watch.maps.front().phraseCount(), expected);
    }

    // The entry left is a silent one, damaged: a mapper that trusted it would
    // find no phrases.
    void ignoresAndRebuildsADamagedEntry_data()
    {
        QTest::addColumn<QString>("damage");
        for (const char* damage : {"cut short", "garbage", "one byte flipped", "the first version", "a forged length"})
            QTest::newRow(damage) << QString::fromLatin1(damage);
    }
    // A well-formed entry whose checksum holds but that claims 2^62 levels:
    // at four bytes each they come to none, which is just what follows.
    static QByteArray withForgedLength(const QByteArray& entry)
    {
        QDataStream in(entry);
        in.setVersion(QDataStream::Qt_6_0);
        quint32 magic = 0, version = 0;
        QByteArray payload;
        in >> magic >> version >> payload;
        QDataStream fields(payload);
        fields.setVersion(QDataStream::Qt_6_0);
        PhraseMapCache::FileIdentity identity;
        fields >> identity.path >> identity.sizeBytes >> identity.modifiedMilliseconds >> identity.changedNanoseconds;
        payload.truncate(fields.device()->pos());
        QDataStream length(&payload, QIODevice::Append);
        length.setVersion(QDataStream::Qt_6_0);
        length << 1e17 << (quint64(1) << 62);
        QByteArray forged;
        QDataStream out(&forged, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << magic << version << payload << QCryptographicHash::hash(payload, QCryptographicHash::Sha1);
        return forged;
    }

    void ignoresAndRebuildsADamagedEntry()
    {
        QFETCH(QString, damage);
        const PhraseMapCache cache(cacheDirectory());
        const auto identity = PhraseMapCache::identify(m_lesson);
        const LoudnessEnvelope envelope = scan(m_lesson);
        QString error;
        QVERIFY2(cache.store(identity, silentEnvelopeLike(envelope), &error), qPrintable(error));
        QByteArray bytes = readFile(cache.entryPath(m_lesson));
        QVERIFY(!bytes.isEmpty());
        if (damage == QLatin1String("cut short"))
            bytes.truncate(bytes.size() / 2);
        else if (damage == QLatin1String("garbage"))
            std::generate(bytes.begin(), bytes.end(), [n = 7u]() mutable { return char((n = n * 1103515245u + 12345u) >> 16); });
        else if (damage == QLatin1String("one byte flipped"))
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x40);
        else if (damage == QLatin1String("the first version"))
            bytes[7] = 1;  // the format version, after the magic, big-endian: before estimated MP3 lengths were counted, such a map stops short
        else
            bytes = withForgedLength(bytes);
        QVERIFY(writeFile(cache.entryPath(m_lesson), bytes));
        QVERIFY(!cache.load(identity));

        PhraseMapper mapper(cacheDirectory(), PhraseFinder::Settings());
        MapperWatch watch(mapper);
        mapper.map(m_lesson);
        QVERIFY(watch.waitForAnswers(1));
        QCOMPARE(watch.errors, QStringList());
        QCOMPARE(watch.maps.front().phraseCount(), m_lessonPhrases);
        QVERIFY(cache.load(identity) == envelope);
    }

    void stopsMidwayWithoutAWordMore_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("readHangs");  // as on a network share that stopped answering
        QTest::newRow("destroyed") << QStringLiteral("destroy") << false;
        QTest::newRow("cancelled") << QStringLiteral("cancel") << false;
        QTest::newRow("sent to another file") << QStringLiteral("another file") << false;
        QTest::newRow("destroyed in a read that hangs") << QStringLiteral("destroy") << true;
        QTest::newRow("sent to another file in a read that hangs") << QStringLiteral("another file") << true;
    }
    void stopsMidwayWithoutAWordMore()
    {
        QFETCH(QString, how);
        QFETCH(bool, readHangs);
        auto mapper = std::make_unique<PhraseMapper>(cacheDirectory(), PhraseFinder::Settings());
        MapperWatch watch(*mapper);
        mapper->map(m_long);
        QVERIFY(QTest::qWaitFor([&] { return !watch.progress.empty() && watch.progress.back() > 0; }, 30000));
        QVERIFY2(watch.answeredPaths.isEmpty() && watch.progress.back() < 0.5,
                 "the long file was mapped too fast to be caught mid-way");
        QVERIFY(std::is_sorted(watch.progress.begin(), watch.progress.end()) && watch.progress.front() >= 0);
        std::optional<HungReads> hung;
        if (readHangs) {
            hung.emplace();
            QTRY_COMPARE_WITH_TIMEOUT(DecodeStream::stalledReadsForTesting(), 1, 2000);
        }
        QElapsedTimer stopping;
        stopping.start();
        if (how == QLatin1String("destroy"))
            mapper.reset();
        else if (how == QLatin1String("cancel"))
            mapper->cancel();
        else
            mapper->map(m_shortLesson);
        // A worker in a hung read is waited for a moment, then let go.
        QVERIFY2(stopping.elapsed() < (readHangs ? 1000 : 250),
                 qPrintable(QStringLiteral("stopping took %1 ms").arg(stopping.elapsed())));
        if (mapper)
            QVERIFY(mapper->isMapping() == (how == QLatin1String("another file")));
        if (readHangs) {
            QCOMPARE(LeavableThread::stillRunningLetGo(), 1);
            hung.reset();
            QVERIFY(LeavableThread::letGoEndedWithin(std::chrono::seconds(10)));
        }
        const QStringList expected = how == QLatin1String("another file") ? QStringList{m_shortLesson} : QStringList();
        if (!expected.isEmpty())
            QVERIFY(watch.waitForAnswers(1));
        QTest::qWait(100);
        QCOMPARE(watch.answeredPaths, expected);
        QVERIFY(!QFile::exists(PhraseMapCache(cacheDirectory()).entryPath(m_long)));
    }

    // A read that fails partway (a network mount dropping out) maps what
    // came before it, and says so, but keeps nothing: that part would
    // otherwise stand for the whole file until the file changed.
    void aReadFailingPartwayIsMappedButNotKept()
    {
        const QString path = copyOfLesson(QStringLiteral("on-a-share.mp3"));
        const PhraseMapCache cache(cacheDirectory());
        Log::Capture log;
        {
            DecodeStream::failReadsAfterPacketsForTesting(60, AVERROR(EIO));
            const auto restore = qScopeGuard([] { DecodeStream::failReadsAfterPacketsForTesting(0, 0); });
            PhraseMapper mapper(cacheDirectory(), PhraseFinder::Settings());
            MapperWatch watch(mapper);
            mapper.map(path);
            QVERIFY(watch.waitForAnswers(1));
            QCOMPARE(watch.maps.size(), std::size_t(1));
            QVERIFY(watch.maps.front().phraseCount() < m_lessonPhrases);
        }
        const QString prefix = QStringLiteral("Phrase map of %1 not cached: reading stopped at ").arg(path);
        QCOMPARE(log.lines().size(), 1);
        QVERIFY2(log.lines().front().startsWith(prefix) && log.lines().front().endsWith(QStringLiteral(" s: Input/output error")),
                 qPrintable(log.lines().front()));
        QVERIFY(!cache.load(PhraseMapCache::identify(path)));

        // The share is back: the whole file is mapped, answered and kept.
        PhraseMapper mapper(cacheDirectory(), PhraseFinder::Settings());
        MapperWatch watch(mapper);
        mapper.map(path);
        QVERIFY(watch.waitForAnswers(1));
        QCOMPARE(watch.answeredPaths, QStringList{path});
        const LoudnessEnvelope envelope = scan(path);
        QCOMPARE(watch.maps.front().phraseCount(), m_lessonPhrases);
        QVERIFY(watch.maps.front() == PhraseMap(envelope.levelsDecibels, envelope.durationSeconds,
                                                PhraseFinder().find(envelope.levelsDecibels, envelope.durationSeconds)));
        QVERIFY(!mapper.isMapping());
        QVERIFY(cache.load(PhraseMapCache::identify(path)) == envelope);
        QCOMPARE(log.lines().size(), 1);
    }

    // A file whose length could not be counted in time (no header states
    // it, on a slow disk) is mapped to the estimate for now, but not kept:
    // the next open counts it, and the map then covers the whole file.
    void aMapOfAnEstimatedLengthIsNotKept()
    {
        const QString path = m_dir.filePath(QStringLiteral("slow-disk.mp3"));
        QFile::remove(path);
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("chirp-vbr-noheader.mp3")), path));
        const PhraseMapCache cache(cacheDirectory());
        Log::Capture log;
        const auto mapOnce = [&] {
            PhraseMapper mapper(cacheDirectory(), PhraseFinder::Settings());
            MapperWatch watch(mapper);
            mapper.map(path);
            if (!watch.waitForAnswers(1) || watch.maps.size() != 1)
                return -1.0;
            return watch.maps.front().durationSeconds();
        };
        double estimated = 0;
        {
            DecodeStream::giveUpCountingForTesting(true);
            const auto restore = qScopeGuard([] { DecodeStream::giveUpCountingForTesting(false); });
            estimated = mapOnce();
        }
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Phrase map of %1 not cached: its length is only estimated").arg(path)});
        QVERIFY(!cache.load(PhraseMapCache::identify(path)));
        const double counted = mapOnce();
        QVERIFY2(std::abs(counted - 6.0) < 0.05 && std::abs(estimated - counted) > 0.1,
                 qPrintable(QStringLiteral("%1 then %2").arg(estimated).arg(counted)));
        QVERIFY(cache.load(PhraseMapCache::identify(path)));
        QCOMPARE(log.lines().size(), 1);
    }

    // A header that claims the track lasts for years (a damaged or forged
    // one): the map is made of what the file holds, and the claim costs no
    // memory (before, the room reserved for it took the program down).
    void aLengthOverstatedInTheHeaderIsMappedAsItIs()
    {
        QByteArray bytes = readFile(fixturePath(QStringLiteral("sine-5s.mp3")));
        qsizetype tag = bytes.indexOf("Xing");
        if (tag < 0)
            tag = bytes.indexOf("Info");
        QVERIFY(tag >= 0);
        const auto flags = qFromBigEndian<quint32>(bytes.constData() + tag + 4);
        QVERIFY(flags & 1);  // a frame count follows
        qToBigEndian<quint32>(0xffffffff, bytes.data() + tag + 8);
        const QString path = m_dir.filePath(QStringLiteral("forever.mp3"));
        QVERIFY(writeFile(path, bytes));

        PhraseMapper mapper(cacheDirectory(), PhraseFinder::Settings());
        MapperWatch watch(mapper);
        mapper.map(path);
        QVERIFY(watch.waitForAnswers(1));
        QCOMPARE(watch.maps.size(), std::size_t(1));
        QVERIFY2(watch.maps.front().levelsDecibels().size() < 600, qPrintable(QString::number(watch.maps.front().levelsDecibels().size())));
    }

    // The cache keeps no entry it would not read back: a map past some 46
    // hours of audio is refused when stored, not made and written at every play.
    void aMapTooLargeToKeepIsNotWritten()
    {
        QTemporaryDir folder;
        const PhraseMapCache cache(folder.path());
        const PhraseMapCache::FileIdentity identity = PhraseMapCache::identify(m_lesson);
        QString error;
        QVERIFY(!cache.store(identity, {std::vector<float>(17'000'000, -20.0f), 170'000}, &error));
        QVERIFY2(error.startsWith(QStringLiteral("the map is too large to keep")), qPrintable(error));
        QVERIFY(QDir(folder.path()).isEmpty());
        const LoudnessEnvelope day{std::vector<float>(8'640'000, -20.0f), 86'400};
        QVERIFY2(cache.store(identity, day, &error), qPrintable(error));
        QVERIFY(cache.load(identity) == day);
    }

    // A disk that takes part of an entry and then refuses: nothing is left
    // behind, and the line says what the system said, for an entry of a
    // short clip as for a long one.
    void anEntryTheDiskRefusesSaysWhy_data()
    {
        QTest::addColumn<int>("levels");
        QTest::addColumn<int>("limitBytes");
        QTest::newRow("40 s clip, 4 KB left") << 4000 << 4096;
        QTest::newRow("17 minutes, 64 KB left") << 100'000 << 64 * 1024;
    }
    void anEntryTheDiskRefusesSaysWhy()
    {
        QFETCH(int, levels);
        QFETCH(int, limitBytes);
        QTemporaryDir folder;
        const PhraseMapCache cache(folder.path());
        const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
        const auto restoreSignal = qScopeGuard([&] { std::signal(SIGXFSZ, previousSignal); });
        rlimit previous{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &previous) == 0);
        rlimit small = previous;
        small.rlim_cur = rlim_t(limitBytes);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        auto restoreLimit = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &previous); });
        QString error;
        const bool stored = cache.store(PhraseMapCache::identify(m_lesson), {std::vector<float>(levels, -20.0f), levels / 100.0}, &error);
        restoreLimit.dismiss();
        QVERIFY(setrlimit(RLIMIT_FSIZE, &previous) == 0);
        QVERIFY(!stored);
        QCOMPARE(error, QString::fromLocal8Bit(std::strerror(EFBIG)));
        QVERIFY(QDir(folder.path()).isEmpty());
    }

    // The folder keeps to its size: past it, the entries used least
    // recently go, and so do temporary files a crash left behind.
    void theCacheKeepsToItsSizeDroppingTheLeastUsed()
    {
        QTemporaryDir folder;
        const LoudnessEnvelope envelope{std::vector<float>(50'000, -20.0f), 500};
        const auto lesson = [](char name) {
            PhraseMapCache::FileIdentity identity;
            identity.path = QStringLiteral("/lessons/%1.mp3").arg(QLatin1Char(name));
            identity.sizeBytes = 1000;
            return identity;
        };
        QString error;
        QVERIFY(PhraseMapCache(folder.path()).store(lesson('a'), envelope, &error));
        const qint64 entryBytes = QFileInfo(PhraseMapCache(folder.path()).entryPath(lesson('a').path)).size();
        const PhraseMapCache cache(folder.path(), 3 * entryBytes + entryBytes / 2);  // room for three
        const QString left = folder.filePath(QStringLiteral("0123.phrasemap.Xy12Ab"));
        const QString writing = folder.filePath(QStringLiteral("4567.phrasemap.Cd34Ef"));
        for (const QString& path : {left, writing}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (path == left)
                QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-7200), QFileDevice::FileModificationTime));
        }
        for (const char name : {'b', 'c'}) {
            QTest::qWait(20);  // told apart by their times
            QVERIFY2(cache.store(lesson(name), envelope, &error), qPrintable(error));
        }
        QTest::qWait(20);
        QVERIFY(cache.load(lesson('a')));  // used again: now the newest
        QTest::qWait(20);
        QVERIFY(cache.store(lesson('d'), envelope, &error));
        for (const char name : {'a', 'c', 'd'})
            QVERIFY2(cache.load(lesson(name)), qPrintable(QString(QLatin1Char(name))));
        QVERIFY(!cache.load(lesson('b')));
        QVERIFY(!QFile::exists(left));
        QVERIFY(QFile::exists(writing));
    }

    void reportsWhatItCannotMap_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        QTest::newRow("not audio") << fixturePath(QStringLiteral("not-audio.mp3"))
                                   << QStringLiteral("Invalid data found when processing input");
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("missing.mp3")) << QStringLiteral("No such file or directory");
    }
    void reportsWhatItCannotMap()
    {
        QFETCH(QString, path);
        QFETCH(QString, error);
        PhraseMapper mapper(cacheDirectory(), PhraseFinder::Settings());
        MapperWatch watch(mapper);
        mapper.map(path);
        QVERIFY(watch.waitForAnswers(1));
        QCOMPARE(watch.answeredPaths, QStringList{path});
        QCOMPARE(watch.errors.size(), 1);
        QVERIFY2(watch.errors.front().startsWith(path) && watch.errors.front().endsWith(error), qPrintable(watch.errors.front()));
    }
};

QTEST_GUILESS_MAIN(PhraseMapperTest)
#include "tst_phrase_mapper.moc"
