#pragma once

#include "base/DefaultsStore.h"

#include <QString>
#include <QTemporaryDir>
#include <QUrl>

// Path and file URL of a committed test fixture (tests/fixtures).
QString fixturePath(const QString& name);
QUrl fixtureUrl(const QString& name);

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
