#include "InstrumentListFile.h"

#include "ResourceDescriptor.h"

#include <QFile>

InstrumentListFile::InstrumentListFile(const QString &path)
    : m_path(path) {}

std::optional<QStringList> InstrumentListFile::descriptors() {
    QFile file(m_path);
    if (!file.exists())
        return QStringList();
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    return parse(QString::fromUtf8(file.readAll()));
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
