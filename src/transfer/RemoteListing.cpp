#include "RemoteListing.h"

#include <algorithm>

namespace vantor {

ListingEntry classifyListingLine(const QString& line) {
    const QString head = line.left(5);
    if (head.contains(QLatin1String("     ")) || head.contains(QLatin1String("--")) ||
        head.contains(QLatin1String("Own")))
        return {};
    bool isNumber = false;
    const int owner = QString(head).remove(QLatin1Char(' ')).toInt(&isNumber);
    if (!isNumber || owner == -1)
        return {};

    ListingEntry entry;
    qsizetype tail = line.indexOf(QLatin1String(" -"));
    entry.kind = ListingEntry::Kind::File;
    if (tail < 0) {
        tail = line.indexOf(QLatin1String(" d"));
        if (tail >= 0)
            entry.kind = ListingEntry::Kind::Folder;
    }
    if (tail < 0) {
        entry.name = line;
        return entry;
    }
    const QString rest = line.mid(tail);
    const qsizetype blank = rest.lastIndexOf(QLatin1Char(' '), std::max<qsizetype>(rest.size() - 2, 0));
    entry.name = rest.mid(blank + 1);
    return entry;
}

} // namespace vantor
