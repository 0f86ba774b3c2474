#pragma once

#include <QTextBrowser>

// The window that shows the user guide. It deletes itself when closed.
class HelpViewer : public QTextBrowser {
    Q_OBJECT

public:
    explicit HelpViewer(const QString &guidePath, QWidget *parent = nullptr);
};
