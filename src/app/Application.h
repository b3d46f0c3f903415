#pragma once

#include <memory>

namespace vantor {

class QtPrompter;
class TFormBatchTitle;
class TFormInstall;
class TFormRestore;

// The program's three windows, created in their fixed order and kept until the end.
class Application final {
public:
    Application();
    ~Application();

    TFormInstall& formInstall() const { return *m_formInstall; }
    TFormBatchTitle& formBatchTitle() const { return *m_formBatchTitle; }
    TFormRestore& formRestore() const { return *m_formRestore; }

private:
    std::unique_ptr<QtPrompter> m_prompter;
    std::unique_ptr<TFormInstall> m_formInstall;
    std::unique_ptr<TFormBatchTitle> m_formBatchTitle;
    std::unique_ptr<TFormRestore> m_formRestore;
};

} // namespace vantor
