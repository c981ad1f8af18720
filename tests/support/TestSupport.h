#pragma once

#include "base/DefaultsStore.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <vector>

// Path and file URL of a committed test fixture (tests/fixtures).
QString fixturePath(const QString& name);
QUrl fixtureUrl(const QString& name);

// A whole file's bytes; empty when it cannot be read.
QByteArray readFile(const QString& path);
// Replaces the file's bytes; false unless all were written.
bool writeFile(const QString& path, const QByteArray& bytes);
// A 16-bit PCM WAV file of the samples (clamped to ±1), each written to every
// channel. The header states the rate as given, whatever it is.
QByteArray wavBytes(const std::vector<float>& samples, quint32 sampleRate, int channels);

// SDL's file-writing driver as the audio device, for the whole process: what
// is played goes to outputFile (name, in a fresh temporary folder), whose
// folder must exist for the device to open.
struct DiskDevice {
    explicit DiskDevice(const QString& name);
    QTemporaryDir folder;
    QString outputFile;
};

// A defaults store in a fresh temporary directory, removed afterwards.
class TemporaryDefaults {
public:
    TemporaryDefaults();
    DefaultsStore& store() { return m_store; }
    QString directory() const { return m_dir.path(); }
    QString filePath() const { return m_store.filePath(); }

private:
    QTemporaryDir m_dir;
    DefaultsStore m_store;
};
