// Command routing by numeric id: every object that can handle commands keeps a
// table of handlers and, optionally, update handlers that set an item's
// enabled and checked state.
#pragma once

#include <QString>

#include <functional>
#include <map>
#include <optional>

// State of a menu item or tool bar button, filled in by an update handler.
class CCmdUI {
public:
    explicit CCmdUI(int id) : m_nID(id) {}
    void Enable(bool enable = true) { m_bEnabled = enable; }
    void SetCheck(bool check = true) { m_checked = check; }

    int m_nID;
    bool m_bEnabled = true;
    std::optional<bool> m_checked;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // Runs the handler of id; false when this object has none.
    bool OnCmdMsg(int id);
    // Fills in ui when this object handles ui.m_nID (enabled unless its update
    // handler says otherwise); false when it does not handle the command.
    bool OnUpdateCmdUI(CCmdUI& ui);
    bool HandlesCommand(int id) const { return m_handlers.count(id) != 0; }
    // Whether an update handler decides the command's state.
    bool HasUpdateHandler(int id) const { return m_updates.count(id) != 0; }

protected:
    void OnCommand(int id, std::function<void()> handler);
    void OnCommandRange(int first, int last, const std::function<void(int)>& handler);
    void OnUpdate(int id, std::function<void(CCmdUI&)> handler);

private:
    std::map<int, std::function<void(int)>> m_handlers;
    std::map<int, std::function<void(CCmdUI&)>> m_updates;
};
