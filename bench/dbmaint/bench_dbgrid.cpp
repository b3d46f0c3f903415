// Opening a generated keyed table of aperture-like records (29 fields, 221 bytes each) on
// the "DataBase" tab until the grid has painted its first rows, side by side with a plain
// pxlib read of every record of the same file in the same run (the floor), and the
// memory the open table takes. Goals: first rows in under 0.5 s and under 1/10 of the
// full read; memory under 3 times the file's size. Run by hand:
//   build/bench/dbmaint/bench_dbgrid [records]

#include "BenchSupport.h"
#include "app/FormInstall.h"
#include "common/InstrumentFolders.h"
#include "common/ScriptedPrompter.h"
#include "dbmaint/DatabaseSheet.h"
#include "dbmaint/ParadoxTable.h"
#include "dbmaint/TTable.h"
#include "support/TQelBtn.h"
#include "support/Wait.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

extern "C" {
#include <paradox.h>
}

using namespace vantor;
using namespace vantor::bench;
using namespace std::chrono_literals;

namespace {

// Resident memory of this process in KiB (VmRSS), and its peak (VmHWM).
qint64 statusKiB(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void makeTable(const QString& path, int records) {
    QList<paradox::FieldDef> fields{{QStringLiteral("AP-No"), paradox::FieldType::Long, 4},
                                    {QStringLiteral("Low-Cur"), paradox::FieldType::Logical, 1}};
    for (int i = 0; i < 27; ++i)
        fields.append({QStringLiteral("F%1").arg(i), paradox::FieldType::Number, 8});
    ParadoxTable::create(path, fields, 1);
    ParadoxTable table;
    table.open(path);
    QList<QByteArray> all;
    all.reserve(records);
    for (int k = 0; k < records; ++k) {
        QByteArray r = table.blankRecord();
        table.encode(r, 0, k);
        table.encode(r, 1, k % 2 == 0);
        for (int f = 2; f < 29; ++f)
            table.encode(r, f, k * 0.001 + f);
        all.append(r);
    }
    table.appendRecords(all);
}

// Every record through pxlib's own record reader.
double pxlibFullRead(const QString& path, int* read) {
    QElapsedTimer t;
    t.start();
    pxdoc_t* doc = PX_new();
    if (PX_open_file(doc, QFile::encodeName(path).constData()) < 0)
        fail(QStringLiteral("pxlib cannot open %1").arg(path));
    QByteArray buffer(PX_get_recordsize(doc), '\0');
    *read = 0;
    const int count = PX_get_num_records(doc);
    for (int i = 0; i < count; ++i)
        if (PX_get_record(doc, i, buffer.data()))
            ++*read;
    PX_close(doc);
    PX_delete(doc);
    return t.nsecsElapsed() / 1e9;
}

// Paint events reaching a view's viewport.
class PaintWatch final : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    // The grid is measured, not watched: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    test::InstrumentFolders folders;
    test::PrompterScope prompts;
    const QString path = folders.root() + QStringLiteral("/Bench.db");
    {
        QElapsedTimer t;
        t.start();
        makeTable(path, records);
        std::printf("generated %d records in %.2f s\n", records, t.nsecsElapsed() / 1e9);
    }
    const qint64 fileBytes = QFileInfo(path).size() + QFileInfo(ParadoxTable::indexPathFor(path)).size();

    TFormInstall form;
    form.show();
    form.setSheetTabVisible(form.ShtDBMainte, true);
    form.PageFTPCtrl->setCurrentWidget(form.ShtDBMainte);
    form.PageDB->setCurrentWidget(form.TabDBOption);
    DatabaseSheet* sheet = form.databaseSheet();
    pumpFor(200ms);

    prompts.prompter.clear(); // no alias here: the Aperture tab had nothing to show
    PaintWatch watch;
    sheet->DBGrid1->viewport()->installEventFilter(&watch);
    const qint64 rssBefore = statusKiB("VmRSS:");
    prompts.prompter.paths.enqueue(path);
    QElapsedTimer shown;
    shown.start();
    sheet->BtnSelDB->click();
    if (!pumpUntil([&] { return watch.paints > 0; }, 30s))
        fail(QStringLiteral("the grid never painted"));
    const double firstRows = shown.nsecsElapsed() / 1e9;
    const qint64 rssOpen = statusKiB("VmRSS:");
    if (sheet->DBGrid1->model()->rowCount() != records)
        fail(QStringLiteral("the grid shows %1 rows").arg(sheet->DBGrid1->model()->rowCount()));
    if (!prompts.prompter.texts("error").isEmpty())
        fail(prompts.prompter.texts("error").join('\n'));

    // Scrolling to the end reads the last block only.
    QElapsedTimer scrolled;
    scrolled.start();
    watch.paints = 0;
    sheet->DBGrid1->scrollToBottom();
    pumpUntil([&] { return watch.paints > 0; }, 30s);
    const double lastRows = scrolled.nsecsElapsed() / 1e9;

    QElapsedTimer ours;
    ours.start();
    for (int row = 0; row < records; ++row)
        sheet->TableMainte().table().record(row);
    const double ourFullRead = ours.nsecsElapsed() / 1e9;

    int read = 0;
    const double floor = pxlibFullRead(path, &read);
    if (read != records)
        fail(QStringLiteral("pxlib read %1 records").arg(read));

    std::printf("table file (.DB + .PX): %.1f MiB, %d records\n", fileBytes / 1048576.0, records);
    std::printf("first rows painted on the DataBase tab: %.3f s\n", firstRows);
    std::printf("last rows painted after scrolling to the end: %.3f s\n", lastRows);
    std::printf("plain pxlib read of every record (floor): %.3f s\n", floor);
    std::printf("our read of every record: %.3f s\n", ourFullRead);
    std::printf("first rows / pxlib full read: %.4f (goal < 0.1)\n", firstRows / floor);
    std::printf("memory taken by the open table: %.1f MiB = %.2f x the file (goal < 3)\n",
                (rssOpen - rssBefore) / 1024.0, (rssOpen - rssBefore) * 1024.0 / fileBytes);
    std::printf("peak resident memory of the process: %.1f MiB\n", statusKiB("VmHWM:") / 1024.0);
    return 0;
}
