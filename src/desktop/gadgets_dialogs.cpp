// The standard dialogs. Each is modal and returns its answer; with a
// scripted answerer installed (services().dialogs, tests) none of them ever
// opens. SIGINT or SIGTERM answers an open dialog with its cancel or "No" at
// once, so that the program can end (a logout does not wait for a dialog
// nobody sees).
#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>

#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/gadgets_registry.h"
#include "system/faults.h"

namespace kavel::platform {

using namespace detail;

namespace {

DialogAnswer ask(const DialogRequest& request) {
    return services().dialogs(request);
}

// Answers every open modal dialog as its cancel would.
void cancelModalDialogs() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (!dialog || !dialog->isVisible() || !dialog->isModal()) continue;
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (box && box->escapeButton())
            box->escapeButton()->click();
        else
            dialog->reject();
    }
}

QPointer<QSocketNotifier> endWatch;

// Runs the dialog unless the program is ending already, which counts as
// cancelled; its result otherwise.
int runModal(QDialog& dialog) {
    if (endRequested()) return QDialog::Rejected;
    answerDialogsOnEndSignal();
    return dialog.exec();
}

}  // namespace

void answerDialogsOnEndSignal() {
    const int fd = endSignalFd();
    if (endWatch || fd < 0 || !QCoreApplication::instance()) return;
    endWatch = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(endWatch.data(), &QSocketNotifier::activated, [] {
        drainEndSignalFd();
        cancelModalDialogs();
    });
}

void messageBox(std::string_view title, std::string_view text) {
    assertGuiThread();
    if (services().dialogs) {
        ask({DialogRequest::Message, std::string(title), std::string(text)});
        return;
    }
    QMessageBox box(QMessageBox::Information, q(title), multiline(text), QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    runModal(box);
}

bool askYesNo(std::string_view title, std::string_view text) {
    assertGuiThread();
    if (services().dialogs)
        return ask({DialogRequest::YesNo, std::string(title), std::string(text)}).yes;
    QMessageBox box(QMessageBox::Question, q(title), multiline(text),
                    QMessageBox::Yes | QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return runModal(box) == QMessageBox::Yes;
}

std::string inputText(std::string_view title, std::string_view prompt,
                      std::string_view defaultText) {
    return askText(title, prompt, defaultText).value_or(std::string());
}

std::optional<std::string> askText(std::string_view title, std::string_view prompt,
                                   std::string_view defaultText) {
    assertGuiThread();
    if (services().dialogs) {
        DialogAnswer a = ask({DialogRequest::Input, std::string(title), std::string(prompt)});
        if (a.cancelled) return std::nullopt;
        return std::move(a.text);
    }
    QInputDialog dialog;
    dialog.setWindowTitle(q(title));
    dialog.setLabelText(multiline(prompt));
    dialog.setTextEchoMode(QLineEdit::Normal);
    dialog.setTextValue(q(defaultText));
    if (runModal(dialog) != QDialog::Accepted) return std::nullopt;
    return fromQString(dialog.textValue());
}

int32_t chooseColour(int32_t initial) {
    assertGuiThread();
    if (services().dialogs) return ask({DialogRequest::Colour, {}, {}}).colour;
    QColorDialog dialog(toQColor(initial));
    if (runModal(dialog) != QDialog::Accepted) return -1;
    const QColor chosen = dialog.selectedColor();
    if (!chosen.isValid()) return -1;
    return fromQColor(chosen);
}

}  // namespace kavel::platform
