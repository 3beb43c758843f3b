#pragma once
// The window facade's own bookkeeping, shared by the gadgets_*.cpp units
// only: which numbers are open, the menu being built, the event queue and
// the per-kind operations of controls. Other platform units use
// gadgets_qt.h instead.

#include <QAction>
#include <QFont>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/gadgets.h"

class QListWidget;

namespace kavel::platform::detail {

// Numbers handed out for kAnyId start well above every fixed number.
inline constexpr int kFirstFreeWindow = 1000;
inline constexpr int kFirstFreeControl = 10000;

enum class Kind : uint8_t {
    ListBox,
    Button,
    CheckBox,
    Option,
    TextField,
    Editor,
    Label,
    Frame,
    Combo,
    Image,
    ImageButton,
    Splitter,
    Panel,
    Adopted,  // a widget made elsewhere in src/platform (the chat view)
    Count
};

struct ControlRec {
    QPointer<QWidget> widget;
    int window = -1;
    Kind kind = Kind::Adopted;
};

// The top-level widget of a window: it asks instead of closing and reports
// changes of its inner size.
class Frame : public QWidget {
  public:
    Frame(int number, QWidget* parent, Qt::WindowFlags flags)
        : QWidget(parent, flags), number_(number) {}

    // Menu bar on top, the canvas below it.
    void relayout();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    int number_;
};

struct WindowRec {
    QPointer<Frame> frame;
    QPointer<QWidget> canvas;
    QPointer<QMenuBar> menuBar;
    int parent = -1;
    bool resizable = false;
    QSize lastInner;                         // last size reported as Resized
    QPointer<QWidget> openPage;              // tab page that receives new controls
    std::map<int, QPointer<QAction>> items;  // menu bar items by number
    std::map<int, std::string> itemTexts;
};

struct PopupRec {
    QPointer<QMenu> menu;
    int window = -1;
};

// Menu under construction (beginMenuBar / beginPopupMenu ... endMenu).
struct MenuBuild {
    bool active = false;
    int window = -1;
    int popup = 0;            // popup handle, 0 for a menu bar
    QMenuBar* bar = nullptr;  // owned by nobody until endMenu attaches it
    QMenu* popupMenu = nullptr;
    std::vector<QMenu*> stack;
    std::map<int, QPointer<QAction>> items;
    std::map<int, std::string> itemTexts;
};

// Everything the facade remembers between calls, in one place so that
// resetGadgets can put all of it back.
struct GadgetState {
    std::deque<Event> queue;
    std::map<int, WindowRec> windows;
    std::map<int, ControlRec> controls;
    std::map<int, PopupRec> popups;
    MenuBuild build;
    int nextPopup = 1;
    std::map<int, QImage> images;  // numbered pictures (gadgets_images.cpp)
    std::optional<QFont> drawingFont;
};

extern GadgetState state;

// Lets go of the notifier and timer the main loop's wait keeps between
// waits; before the application goes, and on every reset.
void dropWaitSources();
// Other threads stop waking the GUI thread: the application is going.
void forgetGuiDispatcher();

// --- what each kind of control does with the generic calls ----------------
// A null operation means the call has no effect on that kind; getters then
// answer their default (empty text, 0, -1).

struct ItemOps {
    void (*add)(QWidget*, const QString& text, int position);
    void (*remove)(QWidget*, int index);
    void (*clear)(QWidget*);
    int (*count)(QWidget*);
    std::string (*text)(QWidget*, int index);
    void (*select)(QWidget*, int index);
    int (*selected)(QWidget*);
};

// List box and combo box items, defined with the list calls.
extern const ItemOps listBoxItems;
extern const ItemOps comboItems;

struct KindOps {
    Kind kind;
    const char* name;  // accessible name until the program gives a better one
    void (*setText)(QWidget*, std::string_view text);
    std::string (*text)(QWidget*);
    void (*setState)(QWidget*, int state);
    int (*state)(QWidget*);
    const ItemOps* items;
    bool ownHeight;  // the height given at creation is not the control's
};

const KindOps& kindOps(Kind kind);

// Places a new widget as control id (or a fresh number) of window, on the
// open tab page if there is one; returns the number, or -1 (the widget is
// then deleted). name: the accessible name, empty for the kind's own.
int place(int window, int id, QWidget* widget, Kind kind, int x, int y, int w, int h,
          const QString& name = {});
// Reports a list box's clicks, double clicks and selection changes as
// events of control id.
void reportListEvents(QListWidget* list, int window, int id);
// Reports the widget's focus changes as FocusIn and FocusOut of control id.
void watchFocus(int window, int id, QWidget* widget);

// --- shared helpers -------------------------------------------------------

QString q(std::string_view s);
// Captions go through Qt's mnemonic parsing; a room called "R&B" must keep
// its ampersand.
QString caption(std::string_view s);
QString uncaption(QString s);
// The program separates lines with carriage returns; Qt wants line feeds.
QString multiline(std::string_view s);

WindowRec* findWindow(int window);
// Forgets (and answers nullptr for) a control whose widget is gone.
ControlRec* findControl(int id);
// Forgets every control that lives inside widget (or is it).
void forgetControlsIn(QWidget* widget);
void dropQueuedFor(int window);

// The lowest number at or above the first free one that is not open.
int freeWindowNumber();
int freeControlNumber();

// Window taker makes a control under a number that a control of another
// window, holder, holds: told to services().controlClash; without it, a
// build with assertions ends here and one without writes it to stderr.
void reportControlClash(int control, int holder, int taker);

}  // namespace kavel::platform::detail
