#include "Guard.h"

#include "Errors.h"
#include "Prompter.h"

#include <QLoggingCategory>
#include <exception>

Q_LOGGING_CATEGORY(lcGuard, "vantor.support.guard", QtWarningMsg)

namespace vantor {

bool guarded(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const Error& e) {
        Prompter::current().error(e.message());
    } catch (const std::exception& e) {
        Prompter::current().error(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Prompter::current().error(QStringLiteral("Unknown error"));
    }
    return false;
}

void swallowing(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const Error& e) {
        qCDebug(lcGuard) << "notification handler failed:" << e.message();
    } catch (const std::exception& e) {
        qCDebug(lcGuard) << "notification handler failed:" << e.what();
    } catch (...) {
        qCDebug(lcGuard) << "notification handler failed";
    }
}

} // namespace vantor
