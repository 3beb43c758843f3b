#pragma once
// The desktop as the rest of the program sees it: numbered windows and
// controls, menus with numbered items, one event queue, standard dialogs.
// A small facade over Qt Widgets; the rest of the program never includes a
// Qt header. Everything here runs on the GUI thread only: every entry, the
// getters included, checks that and ends the program when called from any
// other thread (a widget touched off the GUI thread is silent undefined
// behaviour in a release Qt).
//
// Numbers: windows and controls are identified by ints. The fixed windows
// and controls use the numbers of their window headers; rooms and other
// windows opened at run time ask for a fresh number with kAnyId.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "system/services.h"
#include "system/socket.h"

namespace kavel::platform {

inline constexpr int kAnyId = -1;

// The desktop session of the program (the QApplication). start returns
// false when no display can be opened; end closes every window.
bool startDesktop(int& argc, char** argv);
void endDesktop();
// Puts the facade back to its start: closes every window (and with them
// their controls and popup menus), drops a half-built menu and the queued
// events, and hands out numbers from the start again. The session itself stays (test fixtures).
void resetGadgets();

// --- events ---------------------------------------------------------------

enum class EventKind : uint8_t {
    None,
    CloseRequest,  // the window's close box
    Menu,          // menu bar, popup menu or keyboard shortcut; id = item
    Control,       // id = control number, type says what happened
    Resized,       // the window's inner size changed
    RightButton,   // right mouse button pressed inside the window
};

enum class EventType : uint8_t {
    None,
    Click,        // button pressed, check box toggled, list item clicked
    LeftClick,    // left button on a list
    DoubleClick,  // left double click on a list
    FocusIn,      // the control got the keyboard focus
    FocusOut,     // the control lost it
    Change,       // text or selection changed by the user
    RightClick,   // right button on a list or editor (for its popup menu)
    TabForward,   // Tab in an input line (it keeps the focus)
    TabBack,      // Shift+Tab in an input line
};

struct Event {
    EventKind kind = EventKind::None;
    int window = -1;
    int id = 0;
    EventType type = EventType::None;
};

// Changes the program makes through this facade (setControlText,
// setSelectedItem, ...) never produce events; only the user's actions do.
// Otherwise filling a list from its own Change handler would loop forever.
//
// Takes one event without waiting. When the queue is empty, lets Qt deliver
// what is pending first (and runs deferred deletes); returns an event of kind
// None when there is still nothing.
Event pollEvent();
// For blocking waits on the GUI thread (an upload): lets Qt repaint and
// deliver what is not user input, so the windows do not turn grey. Events
// of our own that this produces wait in the queue for the main loop.
void keepWindowsPainted();
// The same for a wait of at most timeoutMs: returns early once Qt has
// delivered something or wakeMainLoop() was called. While a test drives the
// clock it delivers what is pending and sleeps through the services.
void waitKeepingWindowsPainted(uint32_t timeoutMs);
// How the GUI thread waits for another thread (a name lookup): painting,
// and woken as soon as the other thread is done.
WaitHooks guiThreadWait();
// Waits, when the queue is empty, for the first of: a window-system or
// posted event, the connection (a handle of socket.h, 0 for none) readable
// or closed by its peer, SIGINT or SIGTERM, wakeMainLoop(), or timeoutMs
// (kWaitForever: no limit). It may return having found nothing for the
// program (Qt woke up for its own reasons); the caller looks again.
inline constexpr uint32_t kWaitForever = UINT32_MAX;
void waitForWork(uint32_t timeoutMs, uint32_t connection);
// From any thread: ends the GUI thread's waitForWork at once, or the next
// one when it is not waiting yet.
void wakeMainLoop();
// Queues an event as if Qt had produced it (tests, deferred commands).
void postEvent(const Event& event);
// --- windows --------------------------------------------------------------

enum WindowFlag : unsigned {
    kSizeGadget = 1u << 0,     // resizable
    kMinMaxGadgets = 1u << 1,  // minimise and maximise boxes
    kSystemMenu = 1u << 2,     // close box
    kTitleBar = 1u << 3,       // title bar only, no close box
    kScreenCentred = 1u << 4,
    kParentCentred = 1u << 5,  // centred on the parent window
    kInvisible = 1u << 6,      // created hidden; show with showWindow
    // The small dialog font that fixed layouts were measured for (8 pt), so
    // captions fit the places their windows give them.
    kCompactFont = 1u << 7,
};

// Opens a window with the given inner size. parent = -1: top-level;
// otherwise owned by (stays above) that window. Returns the window number,
// or -1 when it could not be created. Opening a number that is already open
// closes the old window first.
int openWindow(int number, int x, int y, int width, int height, std::string_view title,
               unsigned flags, int parent = -1);
bool windowExists(int window);
void closeWindow(int window);
void showWindow(int window);
void setWindowTitle(int window, std::string_view title);
std::string windowTitle(int window);
int windowWidth(int window);  // inner size
int windowHeight(int window);
void resizeWindow(int window, int width, int height);
bool isForegroundWindow(int window);
// Native handle of the window (for plug-ins): pointer-sized, opaque.
void* windowHandle(int window);
// Windows and controls as a screen reader finds them: the open window with
// that title owned by parent (-1: whatever its owner), and the control of
// window with that accessible name; the lowest number when several match,
// -1 when none does.
int windowTitled(std::string_view title, int parent = -1);
int controlNamed(int window, std::string_view accessibleName);

// --- controls -------------------------------------------------------------
// Every creator takes the window the control goes into, its number (or
// kAnyId) and its place; it returns the control number, or -1.

int listBox(int window, int id, int x, int y, int w, int h);
int button(int window, int id, int x, int y, int w, int h, std::string_view text,
           bool wrap = false);
int checkBox(int window, int id, int x, int y, int w, int h, std::string_view text);
int optionButton(int window, int id, int x, int y, int w, int h, std::string_view text);
int textField(int window, int id, int x, int y, int w, int h, std::string_view text,
              bool password = false);
int editor(int window, int id, int x, int y, int w, int h, bool readOnly = false);
// A text field for chat input: Tab and Shift+Tab stay in it and come as
// Control events TabForward and TabBack; its words can be spell checked
// (spell.h).
int inputLine(int window, int id, int x, int y, int w, int h);
// The caret of a text field, in characters from the start.
int textCaret(int id);
void setTextCaret(int id, int position);
int label(int window, int id, int x, int y, int w, int h, std::string_view text,
          bool centred = false);
int frame(int window, int id, int x, int y, int w, int h, std::string_view text);
int comboBox(int window, int id, int x, int y, int w, int h);
int imageControl(int window, int id, int x, int y, int w, int h, bool border = false);
int imageButton(int window, int id, int x, int y, int w, int h);
// A splitter that takes two existing controls (or splitters) as its halves.
// vertical: the divider is vertical (halves side by side); otherwise first is
// above second. position: size of the first half in pixels. secondFixed: the
// second half keeps its size when the splitter grows or shrinks.
int splitter(int window, int id, int x, int y, int w, int h, int first, int second, bool vertical,
             int position, bool secondFixed = false);
// Tab panel: controls created while a tab is open go onto that tab's page.
int panel(int window, int id, int x, int y, int w, int h);
void addPanelTab(int panel, std::string_view title);
void closePanelTabs(int panel);

bool controlExists(int id);
void freeControl(int id);
void resizeControl(int id, int x, int y, int w, int h);  // -1 keeps a value
int controlX(int id);
int controlY(int id);
int controlWidth(int id);
int controlHeight(int id);
void setControlText(int id, std::string_view text);
std::string controlText(int id);
// Check box and option button: 1 ticked, 0 not. Splitter: divider position.
void setControlState(int id, int state);
int controlState(int id);
void disableControl(int id, bool disabled);
bool controlDisabled(int id);
void setControlFocus(int id);
void setToolTip(int id, std::string_view text);
void hideControl(int id, bool hidden);
bool controlHidden(int id);
// Every control gets its caption (or a word for its kind) as accessible name;
// fields and lists should be told what they hold.
void setAccessibleName(int id, std::string_view name);
std::string accessibleName(int id);
int controlWindow(int id);  // the window a control belongs to, -1 when none

// Lists (list box, combo box): items by index.
void addItem(int id, std::string_view text, int position = -1);
void removeItem(int id, int index);
void clearItems(int id);
int itemCount(int id);
std::string itemText(int id, int index);
void setSelectedItem(int id, int index);
int selectedItem(int id);  // -1 when none
// A list that may grow to thousands of entries (a room's links): its rows
// are laid out as equal-height lines, so adding one stays cheap.
void expectLongList(int id);

// --- menus ----------------------------------------------------------------
// Build with the calls below between beginMenuBar/endMenu (or
// beginPopupMenu/endMenu); menu handles are numbers too.

void beginMenuBar(int window);
int beginPopupMenu(int window, int menu = kAnyId);  // reuses the handle when given
void menuTitle(std::string_view title);
void menuItem(int id, std::string_view text, bool disabled = false);
void menuSeparator();
void openSubMenu(std::string_view title);
void closeSubMenu();
void endMenu();
// Greys out (or enables) one item of the window's menu bar without
// building the menu anew.
void disableMenuItem(int window, int id, bool disabled);
std::string menuItemText(int window, int id);
void displayPopupMenu(int menu);  // at the mouse position
void freeMenu(int menu);

enum class Key { Return, ShiftReturn, Up, Down };
// The key pressed inside the window produces a Menu event with menuId.
void addKeyboardShortcut(int window, Key key, int menuId);

// --- standard dialogs -----------------------------------------------------
// Modal. Tests answer them through services().dialogs, so that none opens.

void messageBox(std::string_view title, std::string_view text);
bool askYesNo(std::string_view title, std::string_view text);
std::string inputText(std::string_view title, std::string_view prompt,
                      std::string_view defaultText);
// The same question where cancelling must be told apart from an empty
// answer: nullopt when the user cancelled.
std::optional<std::string> askText(std::string_view title, std::string_view prompt,
                                   std::string_view defaultText);
// Returns the chosen colour (red | green << 8 | blue << 16) or -1 when cancelled.
int32_t chooseColour(int32_t initial);

// From now on SIGINT and SIGTERM (see faults.h) answer an open dialog with
// its cancel or "No", and a dialog asked for after them is not shown.
void answerDialogsOnEndSignal();

// --- images ---------------------------------------------------------------
// Numbered pictures the program draws on (the colour swatches, the about
// animation) and shows on image controls and image buttons. Their numbers
// are the program's own and meet no window or control number.

struct Point {
    int x = 0;
    int y = 0;
};

// Makes image n, filled black, or keeps it when it already has this size.
// False for a size that is not positive.
bool createImage(int number, int width, int height);
void freeImage(int number);
bool imageExists(int number);
int imageWidth(int number);
int imageHeight(int number);
void fillImage(int number, int32_t colour);
// Sets single pixels; points outside the image are left out.
void drawPoints(int number, const std::vector<Point>& points, int32_t colour);
// Text in the drawing font with its top left corner at (x, y); the
// background stays as it is. The font is not smoothed, so every pixel of a
// glyph has exactly the text's colour.
void drawText(int number, int x, int y, std::string_view text, int32_t colour);
int textWidth(std::string_view text);
// The colour at (x, y); -1 outside the image or when there is no image n.
int32_t imagePixel(int number, int x, int y);
// Shows a copy of image n on an image control or image button; drawing on
// the image later shows after the next call.
void showImage(int control, int number);
// The colour at (x, y) of the picture the control shows, -1 when none.
int32_t shownPixel(int control, int x, int y);

}  // namespace kavel::platform
