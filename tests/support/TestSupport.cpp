#include "TestSupport.h"

#include <QDataStream>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>

QString fixturePath(const QString& name)
{
    return QDir(QStringLiteral(RIVETONE_FIXTURES_DIR)).filePath(name);
}

QUrl fixtureUrl(const QString& name)
{
    return QUrl::fromLocalFile(fixturePath(name));
}

DiskDevice::DiskDevice(const QString& name)
    : outputFile(folder.filePath(name))
{
    if (!folder.isValid())
        qFatal("no temporary folder for the audio device's file");
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", outputFile.toUtf8());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray wavBytes(const std::vector<float>& samples, quint32 sampleRate, int channels)
{
    const auto frameBytes = quint16(2 * channels);
    const auto dataBytes = quint32(samples.size() * frameBytes);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataBytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(channels) << sampleRate << quint32(sampleRate * frameBytes)
        << frameBytes << quint16(16);
    out.writeRawData("data", 4);
    out << dataBytes;
    for (const float sample : samples) {
        const auto value = qint16(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f));
        for (int channel = 0; channel < channels; ++channel)
            out << value;
    }
    return bytes;
}

TemporaryDefaults::TemporaryDefaults()
    : m_store(m_dir.filePath(QStringLiteral("Rivetone.ini")))
{
}
