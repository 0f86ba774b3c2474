#include "ProcessUsage.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <sys/resource.h>
#include <unistd.h>

namespace {

double seconds(const timeval &t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

QByteArray readProcFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

double ProcessUsage::ownCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ProcessUsage::cpuSecondsOf(qint64 pid) {
    // Ticks of 10 ms are too coarse for an idle X server's fraction of a percent.
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    qint64 onCpuNs = 0;
    bool counted = false;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray schedstat =
            readProcFile(tasks + u'/' + task + QStringLiteral("/schedstat"));
        bool ok = false;
        onCpuNs += schedstat.left(schedstat.indexOf(' ')).toLongLong(&ok);
        counted = counted || ok;
    }
    if (counted)
        return double(onCpuNs) / 1e9;
    const QByteArray stat = readProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // The command name in parentheses may hold blanks; fields count from after it.
    const qsizetype nameEnd = stat.lastIndexOf(')');
    if (nameEnd < 0)
        return 0.0;
    const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
    // utime and stime are fields 14 and 15 of the whole line, 12 and 13 here.
    if (fields.size() < 13)
        return 0.0;
    const double ticks = double(fields[11].toLongLong() + fields[12].toLongLong());
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

double ProcessUsage::ownResidentMiB() {
    const QList<QByteArray> fields = readProcFile(QStringLiteral("/proc/self/statm")).split(' ');
    if (fields.size() < 2)
        return 0.0;
    return double(fields[1].toLongLong()) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}
