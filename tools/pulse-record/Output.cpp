#include "Output.h"

#include "Console.h"
#include "RecordTexts.h"
#include "acquire/AtomicFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// A device node: a save would put a file in its place (or never end).
bool isDevice(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
#else
    Q_UNUSED(path);
    return false;
#endif
}

} // namespace

int Output::check(const QString &output, bool force)
{
    const QFileInfo info(output);
    if (!info.exists() && !info.isSymLink())
        return Success;
    // cppcheck-suppress knownConditionTrueFalse ; false only where there are no device nodes
    if (info.isDir() || isDevice(output)) {
        Console::message(RecordTexts::outputIsFolderOrDevice(output, info.isDir()));
        return BadInput;
    }
    // What the program and its recorder name their files (RecordFormat::fileName,
    // RecordWriter::backupName, RecordIndex::FileName, SessionFormat), through any link.
    static const QRegularExpression recordName(QStringLiteral("^[0-9]+(\\.~[0-9]+~)?$"));
    const QString name = QFileInfo(info.canonicalFilePath()).fileName();
    std::optional<RecordTexts::Guarded> guarded;
    if (!info.isFile())
        guarded = RecordTexts::Guarded::NotAFile;
    else if (recordName.match(name).hasMatch())
        guarded = RecordTexts::Guarded::Record;
    else if (name == RecordIndex::FileName)
        guarded = RecordTexts::Guarded::Index;
    else if (name.endsWith(QLatin1String(SessionFormat::SamplesSuffix)) ||
             name.endsWith(QLatin1String(SessionFormat::EventsSuffix)))
        guarded = RecordTexts::Guarded::Recording;
    if (!guarded || force)
        return Success;
    Console::message(RecordTexts::outputGuarded(output, *guarded));
    return Usage;
}

int Output::savePicture(const QImage &image, const QString &output)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG") || !AtomicFile::write(output, bytes)) {
        Console::message(RecordTexts::imageNotSaved(output));
        return BadInput;
    }
    Console::out(RecordTexts::imageSaved(output));
    return Success;
}
