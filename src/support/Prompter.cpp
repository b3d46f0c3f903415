#include "Prompter.h"

#include <QtGlobal>

namespace vantor {

namespace {
Prompter* g_prompter = nullptr;
}

Prompter& Prompter::current() {
    Q_ASSERT_X(g_prompter, "Prompter::current", "no prompter installed");
    return *g_prompter;
}

void Prompter::install(Prompter* prompter) {
    g_prompter = prompter;
}

} // namespace vantor
