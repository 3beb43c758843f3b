// Menu bars, popup menus and keyboard shortcuts. Every item, whether chosen
// with the mouse or through its shortcut, becomes a Menu event of the window
// it belongs to.
#include <QCursor>
#include <QKeySequence>
#include <QShortcut>

#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/gadgets_registry.h"

namespace kavel::platform {

using namespace detail;

namespace {

MenuBuild& build() {
    return state.build;
}

// Starts a new build; a menu bar left unfinished by the last one belongs to
// no window and would never be freed.
void restartBuild() {
    delete build().bar;
    build() = MenuBuild{};
}

void addMenuAction(QMenu* menu, int window, int id, std::string_view text, bool disabled) {
    QAction* action = menu->addAction(caption(text));
    action->setEnabled(!disabled);
    action->setData(id);  // the item's number, for whoever reads the menu from outside
    QObject::connect(action, &QAction::triggered, [window, id] {
        pushEvent({EventKind::Menu, window, id, EventType::None});
    });
    build().items[id] = action;
    build().itemTexts[id] = std::string(text);
}

QMenu* currentMenu() {
    if (build().stack.empty()) return build().popupMenu;
    return build().stack.back();
}

}  // namespace

void beginMenuBar(int window) {
    assertGuiThread();
    restartBuild();
    if (!findWindow(window)) return;
    build().active = true;
    build().window = window;
    build().bar = new QMenuBar;
    build().bar->setNativeMenuBar(false);
}

int beginPopupMenu(int window, int menu) {
    assertGuiThread();
    restartBuild();
    if (!findWindow(window)) return -1;
    if (menu != kAnyId) {
        auto it = state.popups.find(menu);
        if (it != state.popups.end() && it->second.menu) it->second.menu->deleteLater();
    } else {
        menu = state.nextPopup++;
    }
    if (menu >= state.nextPopup) state.nextPopup = menu + 1;
    auto* m = new QMenu(windowFrame(window));
    state.popups[menu] = PopupRec{m, window};
    build().active = true;
    build().window = window;
    build().popup = menu;
    build().popupMenu = m;
    return menu;
}

void menuTitle(std::string_view title) {
    assertGuiThread();
    if (!build().active) return;
    if (build().bar) {
        QMenu* m = build().bar->addMenu(caption(title));
        build().stack.assign(1, m);
    } else if (build().popupMenu) {
        build().popupMenu->setTitle(caption(title));
    }
}

void menuItem(int id, std::string_view text, bool disabled) {
    assertGuiThread();
    if (!build().active) return;
    if (QMenu* m = currentMenu()) addMenuAction(m, build().window, id, text, disabled);
}

void menuSeparator() {
    assertGuiThread();
    if (!build().active) return;
    if (QMenu* m = currentMenu()) m->addSeparator();
}

void openSubMenu(std::string_view title) {
    assertGuiThread();
    if (!build().active) return;
    if (QMenu* m = currentMenu()) build().stack.push_back(m->addMenu(caption(title)));
}

void closeSubMenu() {
    assertGuiThread();
    if (!build().active) return;
    // The title menu itself stays open (only a new menuTitle replaces it).
    if (build().stack.size() > 1)
        build().stack.pop_back();
    else if (build().popupMenu && build().stack.size() == 1)
        build().stack.pop_back();
}

void endMenu() {
    assertGuiThread();
    MenuBuild& b = build();
    if (!b.active) return;
    if (b.bar) {
        WindowRec* rec = findWindow(b.window);
        if (!rec) {
            delete b.bar;
        } else {
            const QSize inner = rec->canvas ? rec->canvas->size() : QSize();
            const bool hadBar = rec->menuBar != nullptr;
            if (rec->menuBar) rec->menuBar->deleteLater();
            rec->menuBar = b.bar;
            b.bar->setParent(rec->frame);
            b.bar->show();
            rec->items = std::move(b.items);
            rec->itemTexts = std::move(b.itemTexts);
            // The window was opened with its inner size; the first menu bar
            // adds to the outside, it does not eat the controls' room.
            if (!hadBar) {
                const int top = b.bar->sizeHint().height();
                if (rec->resizable)
                    rec->frame->resize(inner.width(), inner.height() + top);
                else
                    rec->frame->setFixedSize(inner.width(), inner.height() + top);
            }
            rec->frame->relayout();
        }
    }
    b = MenuBuild{};
}

void disableMenuItem(int window, int id, bool disabled) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    if (!rec) return;
    auto it = rec->items.find(id);
    if (it != rec->items.end() && it->second) it->second->setEnabled(!disabled);
}

std::string menuItemText(int window, int id) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    if (!rec) return {};
    auto it = rec->itemTexts.find(id);
    return it == rec->itemTexts.end() ? std::string() : it->second;
}

void displayPopupMenu(int menu) {
    assertGuiThread();
    auto it = state.popups.find(menu);
    // popup(), not exec(): the main loop keeps polling while it is open.
    if (it != state.popups.end() && it->second.menu) it->second.menu->popup(QCursor::pos());
}

void freeMenu(int menu) {
    assertGuiThread();
    auto it = state.popups.find(menu);
    if (it == state.popups.end()) return;
    if (it->second.menu) it->second.menu->deleteLater();
    state.popups.erase(it);
}

void addKeyboardShortcut(int window, Key key, int menuId) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    if (!rec) return;
    QList<QKeySequence> keys;
    switch (key) {
        case Key::Return:
            keys = {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)};
            break;
        case Key::ShiftReturn:
            keys = {QKeySequence(Qt::SHIFT | Qt::Key_Return),
                    QKeySequence(Qt::SHIFT | Qt::Key_Enter)};
            break;
        case Key::Up:
            keys = {QKeySequence(Qt::Key_Up)};
            break;
        case Key::Down:
            keys = {QKeySequence(Qt::Key_Down)};
            break;
    }
    for (const QKeySequence& seq : keys) {
        auto* shortcut = new QShortcut(seq, rec->frame);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, [window, menuId] {
            pushEvent({EventKind::Menu, window, menuId, EventType::None});
        });
    }
}

}  // namespace kavel::platform
