#include "app/CTORVModule.h"

#include <cassert>

CTORVModule::CTORVModule()
    : m_collector(m_port, ShortAnswerWindow)
{
    assert(s_instance == nullptr && "one application object per process");
    s_instance = this;
}

CTORVModule::~CTORVModule()
{
    // The port must not hand a chunk to the collector while it is being
    // destroyed: the default collector takes over first.
    m_port.ResetCollector();
    s_instance = nullptr;
}
