#include "app/ui/CMainDlgFactory.h"

#include "app/CTORVModule.h"
#include "app/ui/CMainDlg.h"
#include "app/ui/CWidgetPrompt.h"

std::unique_ptr<IMainWindow> CMainDlgFactory::Create(const CTorvSettings& settings,
                                                     std::unique_ptr<CDeviceLibrary> library)
{
    auto window = std::make_unique<CMainDlg>(settings, std::move(library), m_module.Port(), m_module.Collector(),
                                             m_prompt);
    m_prompt.SetParent(window.get());
    return window;
}
