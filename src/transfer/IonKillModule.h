#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vantor {

// The ion-beam guard module "ionkill" that the program carries and uploads to the
// controller before a restore. The build embeds either a stand-in (a valid OS-9 program
// module whose body only exits: it stops nothing) or the site's own module, checked when
// it was built; description() tells the engineer which.
class IonKillModule final {
public:
    static constexpr const char* kName = "ionkill";

    // The module as carried: upper-case hexadecimal digit pairs, no separators.
    static QByteArrayView hexText();
    // The module's bytes: the text read two digits at a time, the first digit high.
    static QByteArray bytes();
    static bool isStandIn();
    // For the FTP log, e.g. "ionkill edition 7, 17738 bytes: the built-in stand-in, which
    // stops nothing" or "ionkill edition 12, 20480 bytes: the site's module ionkill.mod".
    static QString description();

    // Writes the module's bytes to `fileName`. The file appears complete or not at all: an
    // existing file (or a link planted under that name) is replaced only when every byte
    // has been written. Throws FileError when it cannot be written.
    static void write(const QString& fileName);
};

} // namespace vantor
