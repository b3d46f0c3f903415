#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace vantor {

// Server system types, as held in TFtpClient::Vendor. Every known type is parsed with
// the UNIX-style parser; VendorDetect asks the server with SYST at the first listing.
enum TVendor : int {
    VendorUnix = 2400,
    VendorDos = 2401,
    VendorVm = 2402,
    VendorMacintosh = 2404,
    VendorVms = 2406,
    VendorMvs = 2408,
    VendorOther = 2410,
    VendorDetect = 2411,
    VendorOs400 = 2414,
    VendorNetWare = 2416,
};

// The Vendor a SYST reply names; VendorOther when it names none of the known systems.
int VendorFromSystReply(const QString& reply);

// Splits listing lines into columns and files them into four parallel lists: entry i of
// each list belongs to the i-th filed line. Pure: no I/O, no events.
class TFTPDirectoryList {
public:
    TFTPDirectoryList() = default;
    virtual ~TFTPDirectoryList() = default;

    QStringList Attributes; // column 1 (the permission text)
    QStringList Names;      // last column
    QStringList ModifDates; // the three columns before the last, joined by single spaces
    QStringList Sizes;      // the fifth column from the end

    // Columns of the last line split, column 1 first. Only the space separates columns,
    // a run of spaces counts as one; a leading space gives an empty first column,
    // trailing spaces an empty last one. A column keeps at most 255 characters.
    QStringList Columns;
    int ColumnCount = 0;
    const QString& Column(int number) const { return Columns.at(number - 1); } // 1-based

    // Splits `line` into Columns; files nothing.
    virtual void ParseLine(const QString& line);
    void ClearLists();

    // The parser for a Vendor value, or none for a value that names no known system.
    static std::unique_ptr<TFTPDirectoryList> ForVendor(int vendor);
};

// UNIX "ls -l" lines: a line of more than seven columns is filed as name = last column,
// size = fifth from the end, date = the three before the name, attributes = column 1.
// Shorter lines ("total 12", headers) are not filed.
class TFTPUnixList final : public TFTPDirectoryList {
public:
    void ParseLine(const QString& line) override;
};

} // namespace vantor
