#include "DirectoryList.h"

namespace vantor {

namespace {
constexpr qsizetype kMaxColumnLength = 255;
}

int VendorFromSystReply(const QString& reply) {
    // "VMS" and "MVS" must be tried before "VM", which both contain.
    static const struct {
        const char* keyword;
        int vendor;
    } kKeywords[] = {
        {"UNIX", VendorUnix}, {"NETWARE", VendorNetWare}, {"DOS", VendorDos},         {"VMS", VendorVms},
        {"MVS", VendorMvs},   {"VM", VendorVm},           {"MACOS", VendorMacintosh}, {"OS/400", VendorOs400},
    };
    for (const auto& k : kKeywords)
        if (reply.contains(QLatin1String(k.keyword), Qt::CaseSensitive))
            return k.vendor;
    return VendorOther;
}

void TFTPDirectoryList::ParseLine(const QString& line) {
    Columns.clear();
    Columns.append(QString());
    qsizetype pos = 0;
    while (pos < line.size()) {
        if (line.at(pos) != QLatin1Char(' ')) {
            if (Columns.last().size() < kMaxColumnLength)
                Columns.last().append(line.at(pos));
            ++pos;
        } else {
            Columns.append(QString());
            while (pos < line.size() && line.at(pos) == QLatin1Char(' '))
                ++pos;
        }
    }
    ColumnCount = int(Columns.size());
}

void TFTPDirectoryList::ClearLists() {
    Attributes.clear();
    Names.clear();
    ModifDates.clear();
    Sizes.clear();
}

std::unique_ptr<TFTPDirectoryList> TFTPDirectoryList::ForVendor(int vendor) {
    switch (vendor) {
    case VendorUnix:
    case VendorDos:
    case VendorVm:
    case VendorMacintosh:
    case VendorVms:
    case VendorMvs:
    case VendorOther:
    case VendorOs400:
    case VendorNetWare:
        return std::make_unique<TFTPUnixList>();
    default:
        return nullptr;
    }
}

void TFTPUnixList::ParseLine(const QString& line) {
    TFTPDirectoryList::ParseLine(line);
    const int n = ColumnCount;
    if (n <= 7)
        return;
    Names.append(Column(n));
    Sizes.append(Column(n - 4));
    ModifDates.append(Column(n - 3) + QLatin1Char(' ') + Column(n - 2) + QLatin1Char(' ') + Column(n - 1));
    Attributes.append(Column(1));
}

} // namespace vantor
