#include "PrefsStore.h"

#include "CheckValue.h"
#include "OptionValue.h"
#include "frmPrefs.h"
#include "frmScreenOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLockFile>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryFile>
#include <filesystem>
#include <optional>

namespace {

const QString section = QStringLiteral("Prefs");

// QSettings guards a write with a lock file that it creates empty and then
// fills with its owner. A program killed in between leaves an empty lock that
// QSettings waits out for 30 s, freezing the next Close. A write never holds
// the lock for long, so an older lock is taken as abandoned and cleared.
void clearAbandonedLock(const QString &settingsPath) {
    QLockFile lock(settingsPath + QStringLiteral(".lock"));
    lock.setStaleLockTime(1000);
    if (lock.tryLock(2000))
        lock.unlock();
}

// Every stored value is a 16-bit integer or a Boolean written as text.
std::optional<int> shortValue(const QString &text) {
    bool ok = false;
    const short value = text.trimmed().toShort(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

std::optional<bool> booleanValue(const QString &text) {
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = word.toDouble(&ok);
    return ok ? std::optional<bool>(number != 0.0) : std::nullopt;
}

std::optional<int> valueWithin(const QString &text, int lowest, int highest) {
    const std::optional<int> value = shortValue(text);
    if (value && *value >= lowest && *value <= highest)
        return value;
    return std::nullopt;
}

// The text under a key as it was written. An ini file edited by hand may hold
// an unquoted list or a typed value, which QSettings hands back parsed.
std::optional<QString> storedText(const QSettings &settings, const QString &key,
                                  const QString &defaultText) {
    const QVariant value = settings.value(key, defaultText);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    return std::nullopt;
}

// QSettings reads "@Variant(...)" and "@DateTime(...)" values as serialised
// data, whose length fields a damaged file can set to gigabytes. Our saves
// never write one (a leading "@" of a text is written as "@@"), so such a
// value is taken as the plain text it looks like.
const QRegularExpression
    serialisedValue(QStringLiteral("^([^=\\n]*=[ \\t]*\"?)@(?=(Variant|DateTime)\\()"),
                    QRegularExpression::MultilineOption);

QByteArray iniFileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool holdsSerialisedValues(const QByteArray &ini) {
    return QString::fromLatin1(ini).contains(serialisedValue);
}

// Dotfile managers keep the settings file as a symbolic link into a folder of
// their own. Every change goes to the file the link ends at, so that the link
// stays a link; a link that points to itself is left as it is.
QString linkTarget(const QString &path) {
    QFileInfo file(path);
    for (int hops = 0; hops < 40 && file.isSymLink(); ++hops)
        file.setFile(file.symLinkTarget());
    return file.isSymLink() ? path : file.filePath();
}

} // namespace

PrefsStore::PrefsStore(frmPrefs &prefs, frmScreenOptions &screenOptions, QString settingsPath)
    : m_prefs(prefs)
    , m_screenOptions(screenOptions)
    , m_settingsPath(std::move(settingsPath)) {
    const auto check = [](QString key, QString defaultText, QCheckBox *box) {
        return Row{std::move(key), std::move(defaultText),
                   [box] { return QString::number(checkValue(box)); },
                   [box](const QString &text) {
                       const std::optional<int> value = valueWithin(text, 0, 2);
                       if (value)
                           setCheckValue(box, *value);
                       return value.has_value();
                   }};
    };
    const auto text = [](QString key, QString defaultText, QLineEdit *box) {
        return Row{std::move(key), std::move(defaultText), [box] { return box->text(); },
                   [box](const QString &stored) {
                       box->setText(stored);
                       return true;
                   }};
    };
    const auto option = [](QString key, QString defaultText, QRadioButton *button) {
        return Row{std::move(key), std::move(defaultText),
                   [button] {
                       return button->isChecked() ? QStringLiteral("True")
                                                  : QStringLiteral("False");
                   },
                   [button](const QString &stored) {
                       const std::optional<bool> selected = booleanValue(stored);
                       if (selected)
                           setOptionValue(button, *selected);
                       return selected.has_value();
                   }};
    };
    QScrollBar *delay = m_prefs.hsDelay;
    QComboBox *fileType = m_screenOptions.cboFileType;

    m_rows = {
        check(QStringLiteral("chkUseTimestamps"), QStringLiteral("1"), m_prefs.chkUseTimestamps),
        Row{QStringLiteral("hsDelay"), QStringLiteral("0"),
            [delay] { return QString::number(delay->value()); },
            [delay](const QString &stored) {
                const std::optional<int> value =
                    valueWithin(stored, delay->minimum(), delay->maximum());
                if (value)
                    delay->setValue(*value);
                return value.has_value();
            }},
        check(QStringLiteral("chkAsk"), QStringLiteral("0"), m_prefs.chkAsk),
        check(QStringLiteral("chkStopAfter"), QStringLiteral("1"), m_prefs.chkStopAfter),
        text(QStringLiteral("txtAcqLimit"), QStringLiteral("10"), m_prefs.txtAcqLimit),
        check(QStringLiteral("chkWFM"), QStringLiteral("1"), m_prefs.chkWFM),
        text(QStringLiteral("txtWFMpath"), QStringLiteral("E:\\"), m_prefs.txtWFMpath),
        text(QStringLiteral("txtWFMprefix"), QStringLiteral("my_ISFs_"), m_prefs.txtWFMprefix),
        check(QStringLiteral("chkASCII"), QStringLiteral("0"), m_prefs.chkASCII),
        text(QStringLiteral("txtASCIIpath"), QStringLiteral("E:\\"), m_prefs.txtASCIIpath),
        text(QStringLiteral("txtASCIIprefix"), QStringLiteral("my_CSVs_"), m_prefs.txtASCIIprefix),
        check(QStringLiteral("chkScreen"), QStringLiteral("0"), m_prefs.chkScreen),
        text(QStringLiteral("txtScreenPath"), QStringLiteral("E:\\"), m_prefs.txtScreenPath),
        text(QStringLiteral("txtScreenPrefix"), QStringLiteral("my_Images_"),
             m_prefs.txtScreenPrefix),
        check(QStringLiteral("chkRestoreRun"), QStringLiteral("1"), m_prefs.chkRestoreRun),
        Row{QStringLiteral("cboFileType"), QStringLiteral("1"),
            [fileType] { return QString::number(fileType->currentIndex()); },
            [fileType](const QString &stored) {
                const std::optional<int> index = valueWithin(stored, -1, fileType->count() - 1);
                if (index)
                    fileType->setCurrentIndex(*index);
                return index.has_value();
            }},
        option(QStringLiteral("optInksaverOn"), QStringLiteral("1"), m_screenOptions.optInksaverOn),
        option(QStringLiteral("optInksaverOff"), QStringLiteral("0"),
               m_screenOptions.optInksaverOff),
        option(QStringLiteral("optLandscape"), QStringLiteral("1"), m_screenOptions.optLandscape),
        option(QStringLiteral("optPortrait"), QStringLiteral("0"), m_screenOptions.optPortrait),
    };
}

void PrefsStore::loadPrefs(bool restoreDefaults) {
    // Defaults forget the whole stored set; a missing file is already that.
    if (restoreDefaults)
        QFile::remove(linkTarget(m_settingsPath));
    const QByteArray ini = iniFileBytes(m_settingsPath);
    QTemporaryFile plainCopy;
    QString readFrom = m_settingsPath;
    if (holdsSerialisedValues(ini) && plainCopy.open()) {
        plainCopy.write(
            QString::fromLatin1(ini).replace(serialisedValue, QStringLiteral("\\1@@")).toLatin1());
        plainCopy.close();
        readFrom = plainCopy.fileName();
    }
    QSettings settings(readFrom, QSettings::IniFormat);
    settings.beginGroup(section);
    for (const Row &row : std::as_const(m_rows)) {
        const std::optional<QString> stored = storedText(settings, row.key, row.defaultText);
        if (!stored || !row.apply(*stored))
            row.apply(row.defaultText);
    }
    m_prefs.update_publics();
    m_screenOptions.update_publics();
}

bool PrefsStore::savePrefs() {
    const QString target = linkTarget(m_settingsPath);
    // Saving merges with what the file holds, so a file holding serialised
    // values is replaced whole rather than read.
    if (!holdsSerialisedValues(iniFileBytes(target))) {
        QSettings settings(target, QSettings::IniFormat);
        const QSettings::Status status = writeRows(settings);
        // QSettings keeps the first error it meets: after reading a damaged
        // file as a FormatError it reports neither the write's success nor its
        // failure. Such a file is replaced by a fresh one instead.
        if (status != QSettings::FormatError)
            return status == QSettings::NoError;
    }
    const QString fresh = target + QStringLiteral(".new");
    QFile::remove(fresh);
    {
        QSettings settings(fresh, QSettings::IniFormat);
        if (writeRows(settings) != QSettings::NoError)
            return false;
    }
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(fresh).toStdString(),
                            QFile::encodeName(target).toStdString(), error);
    return !error;
}

QSettings::Status PrefsStore::writeRows(QSettings &settings) const {
    settings.beginGroup(section);
    for (const Row &row : std::as_const(m_rows))
        settings.setValue(row.key, row.read());
    settings.endGroup();
    clearAbandonedLock(settings.fileName());
    settings.sync();
    return settings.status();
}
