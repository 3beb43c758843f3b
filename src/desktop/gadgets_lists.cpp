// Items of list boxes and combo boxes, by index. Changing them from the
// program is silent: filling a list from its own Change handler must not
// call that handler again.
#include <QComboBox>
#include <QListWidget>
#include <QSignalBlocker>

#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/gadgets_registry.h"

namespace kavel::platform {

namespace detail {

namespace {

QListWidget* asList(QWidget* w) {
    return static_cast<QListWidget*>(w);
}

QComboBox* asCombo(QWidget* w) {
    return static_cast<QComboBox*>(w);
}

}  // namespace

const ItemOps listBoxItems = {
    .add =
        [](QWidget* w, const QString& text, int position) {
            asList(w)->insertItem(position < 0 ? asList(w)->count() : position, text);
        },
    .remove = [](QWidget* w, int index) { delete asList(w)->takeItem(index); },
    .clear = [](QWidget* w) { asList(w)->clear(); },
    .count = [](QWidget* w) { return asList(w)->count(); },
    .text =
        [](QWidget* w, int index) {
            QListWidgetItem* item = asList(w)->item(index);
            return item ? fromQString(item->text()) : std::string();
        },
    .select =
        [](QWidget* w, int index) {
            QListWidget* list = asList(w);
            if (index < 0 || index >= list->count()) {
                list->setCurrentRow(-1);
                list->clearSelection();
                return;
            }
            list->setCurrentRow(index);
            list->scrollToItem(list->item(index));
        },
    .selected =
        [](QWidget* w) {
            QListWidgetItem* item = asList(w)->currentItem();
            return item && item->isSelected() ? asList(w)->row(item) : -1;
        },
};

const ItemOps comboItems = {
    .add =
        [](QWidget* w, const QString& text, int position) {
            asCombo(w)->insertItem(position < 0 ? asCombo(w)->count() : position, text);
        },
    .remove = [](QWidget* w, int index) { asCombo(w)->removeItem(index); },
    .clear = [](QWidget* w) { asCombo(w)->clear(); },
    .count = [](QWidget* w) { return asCombo(w)->count(); },
    .text =
        [](QWidget* w, int index) {
            QComboBox* combo = asCombo(w);
            return index >= 0 && index < combo->count() ? fromQString(combo->itemText(index))
                                                        : std::string();
        },
    .select =
        [](QWidget* w, int index) {
            QComboBox* combo = asCombo(w);
            combo->setCurrentIndex(index < combo->count() ? index : -1);
        },
    .selected = [](QWidget* w) { return asCombo(w)->currentIndex(); },
};

}  // namespace detail

using namespace detail;

namespace {

// The control behind id with its item operations; both null when id is not
// a list of any kind.
struct ListRef {
    QWidget* widget = nullptr;
    const ItemOps* items = nullptr;
    explicit operator bool() const { return items != nullptr; }
};

ListRef list(int id) {
    ControlRec* c = findControl(id);
    if (!c) return {};
    const ItemOps* items = kindOps(c->kind).items;
    return items ? ListRef{c->widget.data(), items} : ListRef{};
}

}  // namespace

void addItem(int id, std::string_view text, int position) {
    assertGuiThread();
    if (ListRef l = list(id)) {
        QSignalBlocker quiet(l.widget);
        l.items->add(l.widget, q(text), position);
    }
}

void removeItem(int id, int index) {
    assertGuiThread();
    if (ListRef l = list(id)) {
        QSignalBlocker quiet(l.widget);
        l.items->remove(l.widget, index);
    }
}

void clearItems(int id) {
    assertGuiThread();
    if (ListRef l = list(id)) {
        QSignalBlocker quiet(l.widget);
        l.items->clear(l.widget);
    }
}

int itemCount(int id) {
    assertGuiThread();
    ListRef l = list(id);
    return l ? l.items->count(l.widget) : 0;
}

std::string itemText(int id, int index) {
    assertGuiThread();
    ListRef l = list(id);
    return l ? l.items->text(l.widget, index) : std::string();
}

void setSelectedItem(int id, int index) {
    assertGuiThread();
    if (ListRef l = list(id)) {
        QSignalBlocker quiet(l.widget);
        l.items->select(l.widget, index);
    }
}

int selectedItem(int id) {
    assertGuiThread();
    ListRef l = list(id);
    return l ? l.items->selected(l.widget) : -1;
}

}  // namespace kavel::platform
