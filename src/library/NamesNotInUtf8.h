#pragma once

#include "library/AudioFiles.h"

#include <QString>

namespace AudioFiles {

// A name that is not valid UTF-8 (an archive from an older system, unpacked
// with its names as they were, such as Korean names in CP949) cannot be held
// in this program's paths, and the folder walk passes it by without a word.
// This counts the audio files such names keep out of reach, so the learner
// can be told why they are missing: in the folder itself, each file whose own
// name is not UTF-8, and every file anywhere below a sub-folder whose name is
// not. Hidden entries and links to folders are left out, as the walk leaves
// them; a link to a file counts as that file.
int audioUnderNamesNotInUtf8(const QString& folder, const NameFilter& filter);

}  // namespace AudioFiles
