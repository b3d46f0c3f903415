#pragma once

#include <QString>
#include <QStringList>

namespace vantor {

// The command scripts and captions of the batch buttons that depend on the instrument
// family (1 = QEL, 2 = DAX) and, for DAX, the model (index into "61", "62", "41", "41B";
// -1 = none chosen).
struct FamilyBatches {
    QString startupButton;   // BtnStartup
    QString startupGroup;    // GrpStartup
    QString abortButton;     // BtnAbort
    QString seriesButton;    // BtnQEL740; empty = keep the present caption
    QString seriesGroup;     // GrpQEL740
    QStringList startupLines; // MemoStartup
    QStringList seriesLines;  // MemoQEL740
};

FamilyBatches familyBatches(int family, int daxModel);

// The DAX models in the order of the model choice.
QStringList daxModels();

} // namespace vantor
