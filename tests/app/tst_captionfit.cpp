#include "AppPaths.h"
#include "FakeClock.h"
#include "FakeInstrument.h"
#include "FakeMonotonicClock.h"
#include "ScriptedPrompter.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A caption as drawn: "&" marks the access key and is not shown.
QString shown(QString caption) {
    static const QRegularExpression accessKey(QStringLiteral("&(.)"));
    return caption.replace(accessKey, QStringLiteral("\\1"));
}

struct Fit {
    QString text;
    QSize needed;
    QSize available;
};

// What a control needs to show a text whole, from the style's own metrics,
// against the room the control's geometry gives it.
QList<Fit> fitsOf(QWidget *control) {
    QStyle *style = control->style();
    const QFontMetrics metrics = control->fontMetrics();
    const auto need = [&](const QString &text, int besides = 0) {
        return QSize(metrics.horizontalAdvance(shown(text)) + besides, metrics.height());
    };
    if (auto *option = qobject_cast<QRadioButton *>(control);
        option || qobject_cast<QCheckBox *>(control)) {
        auto *button = static_cast<QAbstractButton *>(control);
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        const auto element = option ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents;
        return {{button->text(), need(button->text()),
                 style->subElementRect(element, &opt, button).size()}};
    }
    if (auto *button = qobject_cast<QPushButton *>(control)) {
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        const int margins = 2 * style->pixelMetric(QStyle::PM_ButtonMargin, &opt, button);
        return {{button->text(), need(button->text(), margins),
                 style->subElementRect(QStyle::SE_PushButtonContents, &opt, button).size()}};
    }
    if (auto *label = qobject_cast<QLabel *>(control))
        return {{label->text(), need(label->text()), label->contentsRect().size()}};
    if (auto *frame = qobject_cast<QGroupBox *>(control); frame && !frame->title().isEmpty()) {
        QStyleOptionGroupBox opt;
        opt.initFrom(frame);
        opt.text = frame->title();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect title =
            style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, frame);
        // The title starts inside the frame and must end before the far side does.
        return {{frame->title(), need(frame->title(), title.left()),
                 QSize(frame->width() - title.left(), title.height())}};
    }
    if (auto *list = qobject_cast<QComboBox *>(control)) {
        QStyleOptionComboBox opt;
        opt.initFrom(list);
        const QSize field =
            style->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, list)
                .size();
        QList<Fit> fits;
        for (int i = 0; i < list->count(); ++i)
            fits.append({list->itemText(i), need(list->itemText(i)), field});
        return fits;
    }
    return {};
}

QStringList cutTexts(QWidget *window) {
    QStringList cut;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (!control->isVisibleTo(window))
            continue;
        for (const Fit &fit : fitsOf(control))
            if (fit.needed.width() > fit.available.width() ||
                fit.needed.height() > fit.available.height())
                cut << QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6")
                           .arg(control->objectName(), fit.text)
                           .arg(fit.needed.width())
                           .arg(fit.needed.height())
                           .arg(fit.available.width())
                           .arg(fit.available.height());
    }
    return cut;
}

} // namespace

// Run at 96 dpi as it is and again with QT_SCALE_FACTOR=1.5 (see CMakeLists).
class tst_CaptionFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The windows' geometry is in twips at 15 to the pixel.
        QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
    }

    void everyTextFits_data() {
        QTest::addColumn<QString>("window");
        for (const char *name : {"frmMain", "frmPrefs", "frmScreenOptions"})
            QTest::addRow("%s", name) << QString::fromLatin1(name);
    }
    void everyTextFits() {
        QFETCH(QString, window);
        QTemporaryDir dir;
        AppPaths paths{dir.filePath(QStringLiteral("config")),
                       dir.filePath(QStringLiteral("runtime")), QStringLiteral("mardock"),
                       dir.path(), dir.filePath(QStringLiteral("state"))};
        FakeInstrument instrument;
        ScriptedPrompter prompter;
        FakeClock clock;
        FakeMonotonicClock monotonic{&clock};
        frmMain main{instrument, prompter, clock, monotonic, paths};
        QWidget *shownWindow = &main;
        if (window == QLatin1String("frmPrefs"))
            shownWindow = &main.prefsDialog();
        else if (window == QLatin1String("frmScreenOptions"))
            shownWindow = &main.screenOptionsDialog();
        shownWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(shownWindow));

        const QStringList cut = cutTexts(shownWindow);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
    }
};

QTEST_MAIN(tst_CaptionFit)
#include "tst_captionfit.moc"
