#include "ui/screens/AudioFilePicker.h"

#include "library/AudioFiles.h"
#include "library/PlaylistLibrary.h"

#include <QDialog>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QPointer>

namespace AudioFilePicker {
namespace {

// One filter per type, preceded by one that shows all of them together: the
// user should not have to switch filters to see MP3 and m4a files side by side.
QStringList nameFilters()
{
    const QMimeDatabase database;
    QStringList all;
    QStringList perType;
    for (const QString& name : mimeTypes()) {
        // A desktop's own dialog may match patterns case by case (GTK's
        // does): "Lesson 2.MP3" would not show, though a drop takes it.
        QStringList patterns;
        for (const QString& pattern : AudioFiles::namePatterns(name))
            patterns << pattern << pattern.toUpper();
        patterns.removeDuplicates();
        perType << QStringLiteral("%1 (%2)").arg(database.mimeTypeForName(name).comment(), patterns.join(u' '));
        all << patterns;
    }
    return QStringList{QFileDialog::tr("Audio files (%1)").arg(all.join(u' '))} + perType;
}

}  // namespace

QStringList mimeTypes()
{
    return AudioFiles::mimeTypeNames();
}

QFileDialog* show(QWidget* parent, const QString& startDirectory, QObject* context, Completion completion)
{
    auto* dialog = new QFileDialog(parent, QFileDialog::tr("Add Files"), startDirectory);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    // Name filters alone: a desktop's dialog (the portal's, Plasma's) takes
    // the types instead where both are set, without the filter showing all.
    dialog->setNameFilters(nameFilters());
    // QDialog::open() would make it window-modal; the window must stay usable.
    dialog->setWindowModality(Qt::NonModal);

    QPointer<QFileDialog> guarded(dialog);
    QObject::connect(dialog, &QDialog::finished, context, [guarded, context, completion](int result) {
        const QList<QUrl> urls = result == QDialog::Accepted && guarded ? guarded->selectedUrls() : QList<QUrl>();
        QMetaObject::invokeMethod(
            context,
            [guarded, completion, result, urls] {
                completion(result, urls);
                if (guarded)
                    guarded->deleteLater();
            },
            Qt::QueuedConnection);
    });
    QObject::connect(context, &QObject::destroyed, dialog, &QObject::deleteLater);
    dialog->show();
    return dialog;
}

QFileDialog* addTo(PlaylistLibrary& library, QWidget* parent)
{
    return show(parent, library.startDirectoryForAdding(), &library,
                [&library](int result, const QList<QUrl>& urls) { library.addPickedFiles(result == QDialog::Accepted, urls); });
}

}  // namespace AudioFilePicker
