#include "CmdTarget.h"

bool CCmdTarget::OnCmdMsg(int id)
{
    const auto it = m_handlers.find(id);
    if (it == m_handlers.end())
        return false;
    // Copy first: a handler may replace the table's entries while it runs.
    const auto handler = it->second;
    handler(id);
    return true;
}

bool CCmdTarget::OnUpdateCmdUI(CCmdUI& ui)
{
    if (!HandlesCommand(ui.m_nID))
        return false;
    ui.m_bEnabled = true;
    const auto it = m_updates.find(ui.m_nID);
    if (it != m_updates.end())
        it->second(ui);
    return true;
}

void CCmdTarget::OnCommand(int id, std::function<void()> handler)
{
    m_handlers[id] = [h = std::move(handler)](int) { h(); };
}

void CCmdTarget::OnCommandRange(int first, int last, const std::function<void(int)>& handler)
{
    for (int id = first; id <= last; ++id)
        m_handlers[id] = handler;
}

void CCmdTarget::OnUpdate(int id, std::function<void(CCmdUI&)> handler)
{
    m_updates[id] = std::move(handler);
}
