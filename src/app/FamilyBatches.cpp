#include "FamilyBatches.h"

namespace vantor {

namespace {
QStringList commonStartupLines() {
    return {QStringLiteral("chd /h0"), QStringLiteral("del startup.org"),
            QStringLiteral("rename startup startup.org"), QStringLiteral("copy startup.QEL310 startup -vr"),
            QStringLiteral("dir st* -e")};
}

QStringList qelSeriesLines() {
    return {QStringLiteral("chd /h0"),
            QStringLiteral("copy startup.QEL740 startup -vr"),
            QStringLiteral("dir st* -e"),
            QStringLiteral("copy startQEL_QEL740 startQEL -vr"),
            QStringLiteral("dir st* -e"),
            QStringLiteral("chd /h0/QEL_V4/DATA/MANAGER"),
            QStringLiteral("copy MNG_DATA_QEL740 MNG_DATA -vr"),
            QStringLiteral("copy TASK_DATA_QEL740 TASK_DATA -vr"),
            QStringLiteral("chd /h0/QEL_V4/DATA/HARD"),
            QStringLiteral("copy /h0/QEL/HARD/DATA/* -vrw=."),
            QStringLiteral("copy Option_QEL740 Option -vr"),
            QStringLiteral("copy VERSION_QEL780 VERSION -vr"),
            QStringLiteral("chd /h0/QEL_V4/DATA/STAGE2"),
            QStringLiteral("copy /h0/QEL/STAGE/DATA/* -vrw=."),
            QStringLiteral("makdir /h0/QEL_V4/CUSTOMDATA"),
            QStringLiteral("makdir /h0/QEL_V4/CUSTOMDATA/HARD"),
            QStringLiteral("chd /h0/QEL/HARD/CUSTOMDATA"),
            QStringLiteral("dsave /h0/QEL_V4/CUSTOMDATA/HARD -evb100"),
            QStringLiteral("tmode nopause")};
}
} // namespace

FamilyBatches familyBatches(Family family, int daxModel) {
    FamilyBatches out;
    out.startupLines = commonStartupLines();
    if (family != Family::DAX) {
        out.startupButton = QStringLiteral("Set QEL Startup");
        out.startupGroup = QStringLiteral("Set QEL Startup");
        out.abortButton = QStringLiteral("Abort QEL");
        out.seriesButton = QStringLiteral("Set QEL740");
        out.seriesGroup = QStringLiteral("Set QEL740 Series ");
        out.seriesLines = qelSeriesLines();
        return out;
    }
    out.startupButton = QStringLiteral("Set DAX Startup");
    out.startupGroup = QStringLiteral("Set DAX Startup");
    out.abortButton = QStringLiteral("Abort DAX");
    out.startupLines << QStringLiteral("chd /h0/QEL_V4/Data/Manager");
    const QStringList models = daxModels();
    if (daxModel >= 0 && daxModel < models.size()) {
        const QString model = QStringLiteral("DAX") + models.at(daxModel);
        out.seriesButton = QStringLiteral("Set ") + model;
        out.startupLines << QStringLiteral("copy TASK_DATA_%1 TASK_DATA -vr").arg(model);
    }
    out.startupLines << QStringLiteral("chd /h0");
    out.seriesGroup = QStringLiteral("Set DAX41 ");
    out.seriesLines = {QStringLiteral("chd /h0/QEL_V4/CMDS"),
                       QStringLiteral("copy DSP_SCAN.EXE_DAX DSP_SCAN.EXE -vr"),
                       QStringLiteral("dir DSP_SCAN* -e")};
    return out;
}

} // namespace vantor
