#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

#include <functional>

class PlaylistLibrary;
class QFileDialog;
class QObject;
class QWidget;

// The dialog for choosing audio files to add: several existing files at once,
// MP3 audio and MPEG-4 audio only. It does not block: the window stays usable
// while it is open.
namespace AudioFilePicker {

using Completion = std::function<void(int result, const QList<QUrl>& urls)>;

// "audio/mpeg" and "audio/mp4", in the order the dialog offers them.
QStringList mimeTypes();

// Shows a new dialog over parent (which may be null), opened at
// startDirectory. When it closes, the
// completion runs later on the main thread with the dialog result
// (QDialog::Accepted or QDialog::Rejected) and the chosen files in the
// dialog's order (none when cancelled); the dialog is deleted after that. When
// context goes away first, the completion never runs and the dialog goes too.
QFileDialog* show(QWidget* parent, const QString& startDirectory, QObject* context, Completion completion);

// Add Files: a dialog that opens where the library suggests and hands what is
// chosen to its addPickedFiles. Goes away with the library.
QFileDialog* addTo(PlaylistLibrary& library, QWidget* parent);

}  // namespace AudioFilePicker
