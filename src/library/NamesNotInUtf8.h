#pragma once

#include "library/AudioFiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

namespace AudioFiles {

// A name that is not valid UTF-8 (an archive from an older system, unpacked
// with its names as they were, such as Korean names in CP949) cannot be held
// in this program's paths, and the folder walk passes it by without a word.
// These count the audio files such names keep out of reach, so the learner
// can be told why they are missing. Hidden entries and links to folders are
// left out, as the walk leaves them; a link to a file counts as that file.
// keepGoing (when given) is asked before each file counted: false stops the
// count where it is.

bool isUtf8(QByteArrayView bytes);

// In the folder itself, each audio file whose own name is not UTF-8, and
// every one anywhere below a sub-folder whose name is not.
int audioUnderNamesNotInUtf8(const QString& folder, const NameFilter& filter,
                             const std::function<bool()>& keepGoing = {});

// A path given as bytes that are not UTF-8 (a dropped folder of such a
// name): every audio file below it, or 1 for an audio file.
int audioAtPathNotInUtf8(const QByteArray& path, const NameFilter& filter, const std::function<bool()>& keepGoing = {});

}  // namespace AudioFiles
