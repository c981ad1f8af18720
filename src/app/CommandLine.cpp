#include "app/CommandLine.h"

#include "library/AudioFiles.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace CommandLine {
namespace {

const QString programName = QStringLiteral("rivetone");

// The command line speaks English, untranslated: a refusal also reaches the
// log, whose lines read alike in every language, when the running copy checks
// a later start's files again with its translation loaded.

// Whether an argument may be one of the options Qt takes out of the line
// itself ("-platform offscreen", "--style=fusion"): only then must the line be
// read again once the toolkit has started. Any other unknown option is refused
// at once, so that it needs no display to be told.
bool mayBeToolkitOption(const QString& argument)
{
    static const QStringList names{
        QStringLiteral("platform"),   QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
        QStringLiteral("plugin"),     QStringLiteral("qmljsdebugger"),      QStringLiteral("qwindowgeometry"),
        QStringLiteral("qwindowicon"), QStringLiteral("qwindowtitle"),      QStringLiteral("reverse"),
        QStringLiteral("session"),    QStringLiteral("style"),              QStringLiteral("stylesheet"),
        QStringLiteral("widgetcount"), QStringLiteral("display"),           QStringLiteral("geometry"),
        QStringLiteral("title"),      QStringLiteral("name"),               QStringLiteral("visual"),
        QStringLiteral("ncols"),      QStringLiteral("cmap"),               QStringLiteral("nograb"),
        QStringLiteral("dograb"),     QStringLiteral("fontengine"),         QStringLiteral("dialogs"),
        QStringLiteral("font"),       QStringLiteral("sync"),               QStringLiteral("testability")};
    if (!argument.startsWith(u'-') || argument == QStringLiteral("-") || argument == QStringLiteral("--"))
        return false;
    const QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1).section(u'=', 0, 0);
    return names.contains(name);
}

Parsed refused(const QString& reason, bool unknownOption = false)
{
    return {Parsed::Action::Refuse, {},
            programName + QStringLiteral(": ") + reason + u'\n'
                + QStringLiteral("Try '%1 --help' for more information.").arg(programName) + u'\n',
            unknownOption};
}

// Empty when the argument names no file on this machine: an empty one (an
// unset variable in a script) is not the working folder.
QString pathOf(const QString& argument, const QString& workingDirectory)
{
    if (argument.isEmpty())
        return {};
    // A scheme is read in any case ("FILE:///…" from a script).
    if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(argument);
        // "file:Lesson.mp3" is relative, like a plain name.
        if (url.isLocalFile()) {
            const std::optional<QString> local = AudioFiles::localPathOf(url);
            return local ? QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(*local)) : QString();
        }
    }
    return QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(argument));
}

}  // namespace

QString versionText()
{
    return programName + u' ' + QStringLiteral(RIVETONE_VERSION) + u'\n';
}

QString helpText()
{
    return QStringLiteral("Usage: %1 [options] [files or folders...]\n"
              "\n"
              "A desktop audio player for language study.\n"
              "\n"
              "Files and folders given are added to the current playlist (or, while\n"
              "there are no playlists, to a new one named after their folder), all\n"
              "in natural name order (Lesson 2 before Lesson 10), and the first of\n"
              "them plays. Folders are looked through, with their sub-folders, for\n"
              "MP3 and MPEG-4 audio. When Rivetone is already running, it takes\n"
              "them and comes to the front.\n"
              "\n"
              "Options:\n"
              "  -h, --help     Show this help and leave.\n"
              "  -v, --version  Show the version and leave.\n")
        .arg(programName);
}

Parsed parse(const QStringList& arguments, const QString& workingDirectory)
{
    QCommandLineParser parser;
    // "-style" is one word, as the toolkit's own options are: read as
    // letters, one left without its value was refused as "s, t, y, l, e".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    parser.addOption(help);
    parser.addOption(version);
    // The parser takes the first item for the program's name.
    if (!parser.parse(QStringList{programName} + arguments)) {
        // After "--" the toolkit is not shown the line: names there are files.
        const auto toolkitsPart = std::find(arguments.begin(), arguments.end(), QStringLiteral("--"));
        return refused(parser.errorText(), std::any_of(arguments.begin(), toolkitsPart, mayBeToolkitOption));
    }
    if (parser.isSet(help))
        return {Parsed::Action::ShowHelp, {}, helpText()};
    if (parser.isSet(version))
        return {Parsed::Action::ShowVersion, {}, versionText()};

    const AudioFiles::NameFilter audio;
    Parsed parsed;
    for (const QString& argument : parser.positionalArguments()) {
        const QString path = pathOf(argument, workingDirectory);
        const QFileInfo info(path);
        if (path.isEmpty() || !info.exists()) {
            // Bytes that are not UTF-8 reach us as replacement characters, so
            // the name was lost before it got here: "no such file" would
            // send the learner looking for a file that is there. So it is
            // when the working folder's name is not UTF-8, or a file: URL
            // spells such bytes out.
            const bool urlNotInUtf8 =
                argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) && AudioFiles::localPathNotInUtf8(QUrl(argument));
            if (argument.contains(QChar::ReplacementCharacter) || path.contains(QChar::ReplacementCharacter)
                || urlNotInUtf8)
                return refused(QStringLiteral("a name that is not UTF-8 cannot be opened: %1")
                                   .arg(argument.contains(QChar::ReplacementCharacter) || urlNotInUtf8 ? argument : path));
            return refused(QStringLiteral("no such file or folder: %1").arg(argument.isEmpty() ? QStringLiteral("\"\"") : argument));
        }
        if (!info.isDir() && !(info.isFile() && audio.accepts(info.fileName())))
            return refused(QStringLiteral("not an MP3 or MPEG-4 audio file: %1").arg(argument));
        parsed.paths << path;
    }
    return parsed;
}

}  // namespace CommandLine
