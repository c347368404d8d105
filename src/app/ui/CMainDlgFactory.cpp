#include "app/ui/CMainDlgFactory.h"

#include "app/ui/CMainDlg.h"

std::unique_ptr<IMainWindow> CMainDlgFactory::Create(const CTorvSettings& settings,
                                                     std::unique_ptr<pugi::xml_document> library)
{
    return std::make_unique<CMainDlg>(settings, std::move(library));
}
