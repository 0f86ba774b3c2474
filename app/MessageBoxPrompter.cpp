#include "MessageBoxPrompter.h"

#include <QMessageBox>

namespace {

QMessageBox::StandardButtons standardButtons(Prompter::Buttons buttons) {
    switch (buttons) {
    case Prompter::Buttons::Ok:
        return QMessageBox::Ok;
    case Prompter::Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Prompter::Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Prompter::Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

Prompter::Answer answer(int button) {
    switch (button) {
    case QMessageBox::Yes:
        return Prompter::Answer::Yes;
    case QMessageBox::No:
        return Prompter::Answer::No;
    case QMessageBox::Cancel:
        return Prompter::Answer::Cancel;
    default:
        return Prompter::Answer::Ok;
    }
}

} // namespace

Prompter::Answer MessageBoxPrompter::ask(const QString &text, Buttons buttons, Icon icon) {
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    QStringLiteral("Mardock"), text, standardButtons(buttons));
    // The main window stays on top of everything; a box below it could not
    // be answered.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    return answer(box.exec());
}
