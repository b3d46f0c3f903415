#include "Application.h"

#include "FormInstall.h"
#include "backup/FormRestore.h"
#include "console/widgets/ConsoleSheets.h"
#include "console/widgets/FormBatchTitle.h"
#include "support/QtPrompter.h"

namespace vantor {

Application::Application() : m_prompter(std::make_unique<QtPrompter>()) {
    Prompter::install(m_prompter.get());
    m_formInstall = std::make_unique<TFormInstall>();
    m_prompter->setParent(m_formInstall.get());
    m_formBatchTitle = std::make_unique<TFormBatchTitle>(m_formInstall.get());
    m_formInstall->consoles()->setBatchTitleDialog(m_formBatchTitle.get());
    m_formRestore = std::make_unique<TFormRestore>(m_formInstall.get());
    m_formInstall->setRestoreDialog(m_formRestore.get());
}

Application::~Application() {
    m_formRestore.reset();
    m_formBatchTitle.reset();
    m_formInstall.reset();
    Prompter::install(nullptr);
}

} // namespace vantor
