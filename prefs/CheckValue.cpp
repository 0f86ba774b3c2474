#include "CheckValue.h"

#include "CheckChange.h"

#include <QCheckBox>

int checkValue(const QCheckBox *box) {
    switch (box->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        break;
    }
    return 2;
}

void setCheckValue(QCheckBox *box, int value) {
    if (value == 2) {
        if (box->checkState() == Qt::PartiallyChecked)
            return;
        box->setCheckState(Qt::PartiallyChecked);
        // A tristate box would cycle back through greyed on later clicks; the
        // first change away from greyed makes it a two-state box again.
        onCheckChange(
            box, box, [box] { box->setTristate(false); }, Qt::SingleShotConnection);
        return;
    }
    box->setCheckState(value == 0 ? Qt::Unchecked : Qt::Checked);
    box->setTristate(false);
}
