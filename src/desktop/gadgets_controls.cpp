// Numbered controls once they exist: placing them, and the generic calls
// (text, state, geometry, ...) that each kind answers through one table.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>

#include <algorithm>
#include <iterator>

#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/gadgets_registry.h"
#include "desktop/input_line.h"

namespace kavel::platform {

namespace detail {

namespace {

// --- per-kind operations --------------------------------------------------

// A wrapping button shows its caption on a label inside it.
QLabel* wrapLabel(QWidget* w) {
    return w->findChild<QLabel*>(QStringLiteral("wrapLabel"));
}

void setButtonText(QWidget* w, std::string_view text) {
    if (QLabel* inner = wrapLabel(w))
        inner->setText(caption(text));
    else
        static_cast<QPushButton*>(w)->setText(caption(text));
    w->setAccessibleName(q(text));
}

std::string buttonText(QWidget* w) {
    if (QLabel* inner = wrapLabel(w)) return fromQString(uncaption(inner->text()));
    return fromQString(uncaption(static_cast<QPushButton*>(w)->text()));
}

void setTickText(QWidget* w, std::string_view text) {
    static_cast<QAbstractButton*>(w)->setText(caption(text));
    w->setAccessibleName(q(text));
}

std::string tickText(QWidget* w) {
    return fromQString(uncaption(static_cast<QAbstractButton*>(w)->text()));
}

void setTicked(QWidget* w, int state) {
    static_cast<QAbstractButton*>(w)->setChecked(state != 0);
}

int ticked(QWidget* w) {
    return static_cast<QAbstractButton*>(w)->isChecked() ? 1 : 0;
}

void setFieldText(QWidget* w, std::string_view text) {
    static_cast<QLineEdit*>(w)->setText(q(text));
    // The program's own changes come without signals; the marks must follow.
    if (auto* input = dynamic_cast<InputLine*>(w)) input->recheck();
}

std::string fieldText(QWidget* w) {
    return fromQString(static_cast<QLineEdit*>(w)->text());
}

void setEditorText(QWidget* w, std::string_view text) {
    static_cast<QPlainTextEdit*>(w)->setPlainText(multiline(text));
}

std::string editorText(QWidget* w) {
    return fromQString(static_cast<QPlainTextEdit*>(w)->toPlainText());
}

void setLabelText(QWidget* w, std::string_view text) {
    static_cast<QLabel*>(w)->setText(q(text));
    w->setAccessibleName(q(text));
}

std::string labelText(QWidget* w) {
    return fromQString(static_cast<QLabel*>(w)->text());
}

void setFrameText(QWidget* w, std::string_view text) {
    static_cast<QGroupBox*>(w)->setTitle(caption(text));
    w->setAccessibleName(q(text));
}

std::string frameText(QWidget* w) {
    return fromQString(uncaption(static_cast<QGroupBox*>(w)->title()));
}

// The text of a list or combo box is its current item; setting it selects
// the item with that text (or none).
void setComboText(QWidget* w, std::string_view text) {
    auto* combo = static_cast<QComboBox*>(w);
    combo->setCurrentIndex(combo->findText(q(text)));
}

std::string comboText(QWidget* w) {
    return fromQString(static_cast<QComboBox*>(w)->currentText());
}

void setListText(QWidget* w, std::string_view text) {
    auto* list = static_cast<QListWidget*>(w);
    const auto found = list->findItems(q(text), Qt::MatchExactly);
    list->setCurrentItem(found.isEmpty() ? nullptr : found.front());
}

std::string listText(QWidget* w) {
    QListWidgetItem* item = static_cast<QListWidget*>(w)->currentItem();
    return item ? fromQString(item->text()) : std::string();
}

// A panel's text is the title of its open tab, its state the tab's index.
void setPanelText(QWidget* w, std::string_view text) {
    auto* tabs = static_cast<QTabWidget*>(w);
    tabs->setTabText(tabs->currentIndex(), caption(text));
}

std::string panelText(QWidget* w) {
    auto* tabs = static_cast<QTabWidget*>(w);
    return fromQString(uncaption(tabs->tabText(tabs->currentIndex())));
}

void setPanelTab(QWidget* w, int state) {
    static_cast<QTabWidget*>(w)->setCurrentIndex(state);
}

int panelTab(QWidget* w) {
    return static_cast<QTabWidget*>(w)->currentIndex();
}

// A splitter's state is the size of its first half.
void setDivider(QWidget* w, int state) {
    auto* s = static_cast<QSplitter*>(w);
    const int total = s->orientation() == Qt::Vertical ? s->height() : s->width();
    const int first = std::clamp(state, 0, std::max(0, total - s->handleWidth()));
    s->setSizes({first, std::max(0, total - s->handleWidth() - first)});
}

int divider(QWidget* w) {
    const auto sizes = static_cast<QSplitter*>(w)->sizes();
    return sizes.isEmpty() ? 0 : sizes.front();
}

constexpr KindOps kKinds[] = {
    {Kind::ListBox, "Liste", setListText, listText, nullptr, nullptr, &listBoxItems, false},
    {Kind::Button, "Element", setButtonText, buttonText, nullptr, nullptr, nullptr, false},
    {Kind::CheckBox, "Element", setTickText, tickText, setTicked, ticked, nullptr, false},
    {Kind::Option, "Element", setTickText, tickText, setTicked, ticked, nullptr, false},
    {Kind::TextField, "Eingabefeld", setFieldText, fieldText, nullptr, nullptr, nullptr, false},
    {Kind::Editor, "Textfeld", setEditorText, editorText, nullptr, nullptr, nullptr, false},
    {Kind::Label, "Element", setLabelText, labelText, nullptr, nullptr, nullptr, false},
    {Kind::Frame, "Element", setFrameText, frameText, nullptr, nullptr, nullptr, false},
    // A combo box is as high as its font wants; the height given is its list's.
    {Kind::Combo, "Auswahlliste", setComboText, comboText, nullptr, nullptr, &comboItems, true},
    {Kind::Image, "Bild", nullptr, nullptr, nullptr, nullptr, nullptr, false},
    {Kind::ImageButton, "Bild", nullptr, nullptr, nullptr, nullptr, nullptr, false},
    {Kind::Splitter, "Teiler", nullptr, nullptr, setDivider, divider, nullptr, false},
    {Kind::Panel, "Registerkarten", setPanelText, panelText, setPanelTab, panelTab, nullptr, false},
    {Kind::Adopted, "Element", nullptr, nullptr, nullptr, nullptr, nullptr, false},
};

constexpr bool inKindOrder() {
    for (std::size_t i = 0; i < std::size(kKinds); ++i)
        if (kKinds[i].kind != static_cast<Kind>(i)) return false;
    return true;
}
static_assert(std::size(kKinds) == static_cast<std::size_t>(Kind::Count) && inKindOrder(),
              "one row per control kind, in the order of Kind");

QWidget* containerFor(WindowRec& rec) {
    if (rec.openPage) return rec.openPage;
    return rec.canvas;
}

}  // namespace

const KindOps& kindOps(Kind kind) {
    return kKinds[static_cast<std::size_t>(kind)];
}

int place(int window, int id, QWidget* widget, Kind kind, int x, int y, int w, int h,
          const QString& name) {
    WindowRec* rec = findWindow(window);
    if (!rec) {
        delete widget;
        return -1;
    }
    if (id == kAnyId) id = freeControlNumber();
    if (ControlRec* held = findControl(id)) {
        // A window built anew makes its controls again under their numbers;
        // a number that another window holds is a numbering fault.
        if (held->window != window) reportControlClash(id, held->window, window);
        freeControl(id);
    }
    widget->setParent(containerFor(*rec));
    widget->setGeometry(x, y, w, h);
    widget->setAccessibleName(name.isEmpty() ? QString::fromLatin1(kindOps(kind).name) : name);
    widget->show();
    state.controls[id] = ControlRec{widget, window, kind};
    return id;
}

}  // namespace detail

using namespace detail;

int adoptControl(int window, int id, QWidget* widget, int x, int y, int w, int h) {
    assertGuiThread();
    const QString name = widget->accessibleName();
    return place(window, id, widget, Kind::Adopted, x, y, w, h, name);
}

QWidget* controlWidget(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    return c ? c->widget.data() : nullptr;
}

bool controlExists(int id) {
    assertGuiThread();
    return findControl(id) != nullptr;
}

int controlWindow(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    return c ? c->window : -1;
}

void freeControl(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    if (!c) {
        state.controls.erase(id);
        return;
    }
    QPointer<QWidget> w = c->widget;
    forgetControlsIn(w);
    if (w) {
        w->hide();
        w->setParent(nullptr);
        w->deleteLater();
    }
}

void resizeControl(int id, int x, int y, int w, int h) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    if (!c) return;
    QRect g = c->widget->geometry();
    if (x != -1) g.moveLeft(x);
    if (y != -1) g.moveTop(y);
    if (w != -1) g.setWidth(w);
    if (h != -1 && !kindOps(c->kind).ownHeight) g.setHeight(h);
    c->widget->setGeometry(g);
}

int controlX(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    return c ? c->widget->x() : 0;
}

int controlY(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    return c ? c->widget->y() : 0;
}

int controlWidth(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    return c ? c->widget->width() : 0;
}

int controlHeight(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    return c ? c->widget->height() : 0;
}

void setControlText(int id, std::string_view text) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    if (!c) return;
    if (auto set = kindOps(c->kind).setText) {
        QSignalBlocker quiet(c->widget.data());
        set(c->widget, text);
    }
}

std::string controlText(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    if (!c) return {};
    auto get = kindOps(c->kind).text;
    return get ? get(c->widget) : std::string();
}

void setControlState(int id, int state) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    if (!c) return;
    if (auto set = kindOps(c->kind).setState) {
        QSignalBlocker quiet(c->widget.data());
        set(c->widget, state);
    }
}

int controlState(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    if (!c) return 0;
    auto get = kindOps(c->kind).state;
    return get ? get(c->widget) : 0;
}

void disableControl(int id, bool disabled) {
    assertGuiThread();
    if (ControlRec* c = findControl(id)) c->widget->setEnabled(!disabled);
}

bool controlDisabled(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    return c && !c->widget->isEnabled();
}

void setControlFocus(int id) {
    assertGuiThread();
    if (ControlRec* c = findControl(id)) c->widget->setFocus(Qt::OtherFocusReason);
}

void setToolTip(int id, std::string_view text) {
    assertGuiThread();
    if (ControlRec* c = findControl(id)) {
        c->widget->setToolTip(q(text));
        c->widget->setAccessibleDescription(q(text));
    }
}

void hideControl(int id, bool hidden) {
    assertGuiThread();
    if (ControlRec* c = findControl(id)) c->widget->setVisible(!hidden);
}

bool controlHidden(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    return c && c->widget->isHidden();
}

void setAccessibleName(int id, std::string_view name) {
    assertGuiThread();
    if (ControlRec* c = findControl(id)) c->widget->setAccessibleName(q(name));
}

std::string accessibleName(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    return c ? fromQString(c->widget->accessibleName()) : std::string();
}

int controlNamed(int window, std::string_view accessibleName) {
    assertGuiThread();
    const QString wanted = q(accessibleName);
    for (const auto& [id, rec] : state.controls)
        if (rec.window == window && rec.widget && rec.widget->accessibleName() == wanted) return id;
    return -1;
}

}  // namespace kavel::platform
