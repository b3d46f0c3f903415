#include "Application.h"
#include "FormInstall.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace {
// Qt aborts with a core dump when it cannot reach a display; say so plainly instead.
bool displayMissing() {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    const bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    return !platformChosen && qEnvironmentVariableIsEmpty("DISPLAY") &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return false;
#endif
}
} // namespace

int main(int argc, char* argv[]) {
    if (displayMissing()) {
        std::fputs("vantor: no display to show the window on (set DISPLAY, or start it under xvfb-run)\n", stderr);
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantor"));
    QApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    vantor::Application windows;
    windows.formInstall().show();
    return app.exec();
}
