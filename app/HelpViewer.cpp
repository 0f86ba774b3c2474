#include "HelpViewer.h"

#include <QFile>

HelpViewer::HelpViewer(const QString &guidePath, QWidget *parent)
    : QTextBrowser(parent) {
    setObjectName(QStringLiteral("helpViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Mardock User Guide"));
    setOpenExternalLinks(true);
    resize(640, 720);
    document()->setDocumentMargin(12);

    QFile guide(guidePath);
    if (guide.open(QIODevice::ReadOnly | QIODevice::Text))
        setMarkdown(QString::fromUtf8(guide.readAll()));
    else
        setPlainText(
            tr("The user guide could not be opened: %1\n%2").arg(guidePath, guide.errorString()));
}
