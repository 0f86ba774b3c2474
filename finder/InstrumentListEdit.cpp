#include "InstrumentListEdit.h"

#include "InstrumentListFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// As many links as the kernel follows before it gives up (ELOOP).
constexpr int MaxLinks = 40;

// The file a chain of links ends at, existing or not yet.
QString linkTarget(const QString &path) {
    QString at = path;
    for (int i = 0; i < MaxLinks && QFileInfo(at).isSymLink(); ++i)
        at = QFileInfo(at).symLinkTarget();
    return at;
}

QString descriptorOf(QStringView line) {
    return line.left(line.indexOf(QLatin1Char('#'))).trimmed().toString().toLower();
}

} // namespace

bool putFirstInList(const QString &listPath, const QString &descriptor, QString *error) {
    const QString target = linkTarget(listPath);
    QByteArray old;
    QFile current(target);
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1: %2").arg(target, current.errorString());
            return false;
        }
        old = current.read(InstrumentListFile::MaxBytes + 1);
        if (old.size() > InstrumentListFile::MaxBytes) {
            *error = QStringLiteral("%1 is larger than %2 KB")
                         .arg(target)
                         .arg(InstrumentListFile::MaxBytes / 1024);
            return false;
        }
    }
    QString text = descriptor + QLatin1Char('\n');
    const QString wanted = descriptor.trimmed().toLower();
    const QString oldText = QString::fromUtf8(old);
    const QList<QStringView> lines = QStringView(oldText).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // The split leaves an empty piece after a final line feed.
        if (i == lines.size() - 1 && lines[i].isEmpty())
            break;
        if (descriptorOf(lines[i]) != wanted)
            text += lines[i].toString() + QLatin1Char('\n');
    }
    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(target, file.errorString());
        return false;
    }
    return true;
}
