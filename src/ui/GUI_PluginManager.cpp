#include "ui/GUI_PluginManager.h"

#include <string>
#include <vector>

#include "common/data.h"
#include "desktop/headed_list.h"
#include "objects/CLASS_Agents.h"
#include "ui/GUI.h"
#include "ui/windows/handlers.h"
#include "ui/windows/main_window.h"
#include "ui/windows/plugin_manager.h"

namespace kavel {

namespace pf = platform;

namespace {

using namespace pluginmgr;

void moveSelected(int from, int to) {
    const int index = pf::selectedItem(from);
    if (index < 0) return;
    pf::addItem(to, pf::itemText(from, index));
    pf::removeItem(from, index);
    // The list would select the neighbour; a second ">" must not move it.
    pf::setSelectedItem(from, -1);
}

void moveAll(int from, int to) {
    const int count = pf::itemCount(from);
    for (int i = 0; i < count; ++i)
        pf::addItem(to, pf::itemText(from, i));
    pf::clearItems(from);
}

std::vector<std::string> items(int list) {
    std::vector<std::string> names;
    for (int i = 0; i < pf::itemCount(list); ++i)
        names.push_back(pf::itemText(list, i));
    return names;
}

// Every plug-in is released and opened again, so each one saves its data
// and reads it back, even when nothing was moved.
void saveAndExit() {
    const std::vector<std::string> chosen = items(Active);
    unloadAllAgents();
    for (const std::string& name : chosen)
        loadPlugin(std::string(kPluginFolder) + "/" + name);
    pf::closeWindow(Window);
    buildMainMenu();
}

void moveButton(int id, int y, Txt caption, std::string_view name) {
    pf::button(Window, id, 170, y, MoveButtonSize, MoveButtonSize, ui(caption));
    pf::setAccessibleName(id, name);
}

}  // namespace

void openPluginManager() {
    if (pf::openWindow(Window, 0, 0, Width, Height, "KAVEL > Plugin Manager",
                       pf::kSystemMenu | pf::kScreenCentred | pf::kInvisible, mainwin::Window) < 0)
        return;
    pf::headedList(Window, Available, 40, 30, ListWidth, ListHeight, ui(Txt::Available),
                   ColumnWidth);
    pf::headedList(Window, Active, 210, 30, ListWidth, ListHeight, ui(Txt::Active), ColumnWidth);
    pf::frame(Window, ButtonFrame, 160, 120, 40, 130, "");
    pf::setAccessibleName(ButtonFrame, "Verschieben");
    moveButton(MoveAllRight, 130, Txt::MoveAllRight, "Alle aktivieren");
    moveButton(MoveRight, 160, Txt::MoveRight, "Aktivieren");
    moveButton(MoveLeft, 190, Txt::MoveLeft, "Deaktivieren");
    moveButton(MoveAllLeft, 220, Txt::MoveAllLeft, "Alle deaktivieren");
    pf::button(Window, SaveAndExit, 130, 380, 100, 30, ui(Txt::SaveAndExit), true);

    for (const std::string& name : listPluginFiles(kPluginFolder))
        pf::addItem(Available, name);
    // A loaded plug-in shows once, under "Aktiv"; a file that is present but
    // failed to load stays available.
    for (Agent* agent : AgentList) {
        const std::string name = agentGetName(agent);
        for (int i = 0; i < pf::itemCount(Available); ++i) {
            if (pf::itemText(Available, i) == name) {
                pf::removeItem(Available, i);
                break;
            }
        }
        pf::addItem(Active, name);
    }
    pf::showWindow(Window);
}

void pluginManagerHandler(pf::Event& event) {
    if (event.kind == pf::EventKind::CloseRequest) {
        pf::closeWindow(Window);
        event = {};
        return;
    }
    if (event.kind != pf::EventKind::Control) return;
    const bool doubleClick = event.type == pf::EventType::DoubleClick;
    switch (event.id) {
        case Available:
            if (doubleClick) moveSelected(Available, Active);
            break;
        case Active:
            if (doubleClick) moveSelected(Active, Available);
            break;
        case MoveRight:
            moveSelected(Available, Active);
            break;
        case MoveLeft:
            moveSelected(Active, Available);
            break;
        case MoveAllRight:
            moveAll(Available, Active);
            break;
        case MoveAllLeft:
            moveAll(Active, Available);
            break;
        case SaveAndExit:
            saveAndExit();
            break;
        default:
            break;
    }
}

namespace {
const bool handlerRegistered = registerWindow(pluginmgr::Window, &pluginManagerHandler);
}  // namespace

}  // namespace kavel
