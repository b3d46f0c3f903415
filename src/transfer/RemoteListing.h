#pragma once

#include <QString>

namespace vantor {

// One line of the controller's directory listing as the remote panel sees it.
struct ListingEntry {
    enum class Kind { Skipped, File, Folder };
    Kind kind = Kind::Skipped;
    QString name;
    friend bool operator==(const ListingEntry&, const ListingEntry&) = default;
};

// Classifies a line of the OS-9 extended directory listing. Title, header and ruler lines
// and lines that do not begin with a numeric owner are skipped; an entry is a file when
// " -" occurs in it, else a folder when " d" does, and its name is the last word. A line
// with an owner but neither mark is a file named by the whole line.
ListingEntry classifyListingLine(const QString& line);

} // namespace vantor
