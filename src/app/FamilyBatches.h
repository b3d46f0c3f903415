#pragma once

#include "FunctionChoice.h"

#include <QString>
#include <QStringList>

namespace vantor {

// The command scripts and captions of the batch buttons that depend on the instrument
// family and, for DAX, the model (index into daxModels(); -1 = none chosen).
struct FamilyBatches {
    QString startupButton;    // BtnStartup
    QString startupGroup;     // GrpStartup
    QString abortButton;      // BtnAbort
    QString seriesButton;     // BtnQEL740; empty = keep the present caption
    QString seriesGroup;      // GrpQEL740
    QStringList startupLines; // MemoStartup
    QStringList seriesLines;  // MemoQEL740
};

FamilyBatches familyBatches(Family family, int daxModel);

} // namespace vantor
