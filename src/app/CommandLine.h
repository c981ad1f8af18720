#pragma once

#include <QString>
#include <QStringList>

// What the command line asks of Rivetone: to show its help or version and
// leave, or to start (or bring the running one to the front) with files and
// folders to add. A line that cannot be followed is refused whole, before
// anything starts.
namespace CommandLine {

// The exit status of a refused line.
constexpr int refusedExitStatus = 2;

struct Parsed {
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };
    Action action = Action::Run;
    // For Run: the files and folders given, absolute, in the order given.
    QStringList paths;
    // The help or version text (for standard output), or why the line is
    // refused (for standard error); each ends with a line break.
    QString message;
    // For Refuse: an option was not known. It may be one of the toolkit's
    // own ("-platform", "-style"), which the application takes out of the
    // line once it starts; a refused path needs no second look.
    bool unknownOption = false;
};

// "rivetone 0.1.0": the version the build was made as.
QString versionText();
QString helpText();

// arguments: without the program's name. Relative paths are taken from
// workingDirectory; "file:" URLs (as a desktop launcher may pass) are taken
// as their paths. Every one must be an existing folder or an MP3 or MPEG-4
// audio file.
Parsed parse(const QStringList& arguments, const QString& workingDirectory);

}  // namespace CommandLine
