#include "InstrumentListFile.h"

#include "ResourceDescriptor.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace {

[[noreturn]] void unusable(const QString &path, const QString &problem) {
    throw std::runtime_error(
        QStringLiteral("The instrument list %1 %2.").arg(path, problem).toStdString());
}

} // namespace

InstrumentListFile::InstrumentListFile(const QString &path)
    : m_path(path) {}

std::optional<QStringList> InstrumentListFile::descriptors() {
    // Follows a link, so a list kept as one is read; a dangling link is no list.
    const QFileInfo info(m_path);
    if (!info.exists())
        return QStringList();
    if (!info.isFile())
        unusable(m_path, QStringLiteral("is not a regular file"));
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        unusable(m_path, QStringLiteral("cannot be read: %1").arg(file.errorString()));
    const QByteArray text = file.read(MaxBytes + 1);
    if (text.size() > MaxBytes)
        unusable(m_path, QStringLiteral("is larger than %1 KB").arg(MaxBytes / 1024));
    return parse(QString::fromUtf8(text));
}

QStringList InstrumentListFile::parse(const QString &text) {
    QStringList listed;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        const QString descriptor = line.left(line.indexOf(QLatin1Char('#'))).trimmed().toString();
        if (!descriptor.isEmpty() && ResourceDescriptor::parse(descriptor))
            listed << descriptor;
    }
    return listed;
}
