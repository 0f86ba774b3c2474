#pragma once

#include <QList>
#include <QString>
#include <optional>

// The results of one run, printed as one Markdown table.
class ResultTable {
public:
    // met: whether the target was met; nullopt for a figure with no target.
    void add(const QString &benchmark, const QString &measure, const QString &value,
             const QString &target = {}, std::optional<bool> met = std::nullopt);
    QString toMarkdown() const;
    // Rows whose target was missed.
    int missed() const;

private:
    struct Row {
        QString benchmark;
        QString measure;
        QString value;
        QString target;
        std::optional<bool> met;
    };
    QList<Row> m_rows;
};
