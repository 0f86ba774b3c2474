#include "ResultTable.h"

#include <algorithm>

void ResultTable::add(const QString &benchmark, const QString &measure, const QString &value,
                      const QString &target, std::optional<bool> met) {
    m_rows.append({benchmark, measure, value, target, met});
}

QString ResultTable::toMarkdown() const {
    QString text = QStringLiteral("| Benchmark | Measure | Result | Target | Met |\n"
                                  "|---|---|---|---|---|\n");
    for (const Row &row : m_rows) {
        const QString met = !row.met   ? QString()
                            : *row.met ? QStringLiteral("yes")
                                       : QStringLiteral("**no**");
        text += QStringLiteral("| %1 | %2 | %3 | %4 | %5 |\n")
                    .arg(row.benchmark, row.measure, row.value, row.target, met);
    }
    return text;
}

int ResultTable::missed() const {
    return int(std::count_if(m_rows.cbegin(), m_rows.cend(),
                             [](const Row &row) { return row.met == false; }));
}
