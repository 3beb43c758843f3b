// The standard dialogs. Each is modal and returns its answer; with a
// scripted answerer installed (tests) none of them ever opens.
#include <QColorDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "platform/encoding.h"
#include "platform/gadgets.h"
#include "platform/gadgets_qt.h"
#include "platform/gadgets_registry.h"

namespace kavel::platform {

using namespace detail;

namespace {

DialogAnswer ask(const DialogRequest& request) {
    return state.answerer(request);
}

}  // namespace

void messageBox(std::string_view title, std::string_view text) {
    assertGuiThread();
    if (state.answerer) {
        ask({DialogRequest::Message, std::string(title), std::string(text)});
        return;
    }
    QMessageBox box(QMessageBox::Information, q(title), multiline(text), QMessageBox::Ok);
    box.exec();
}

bool askYesNo(std::string_view title, std::string_view text) {
    assertGuiThread();
    if (state.answerer)
        return ask({DialogRequest::YesNo, std::string(title), std::string(text)}).yes;
    QMessageBox box(QMessageBox::Question, q(title), multiline(text),
                    QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::string inputText(std::string_view title, std::string_view prompt,
                      std::string_view defaultText) {
    return askText(title, prompt, defaultText).value_or(std::string());
}

std::optional<std::string> askText(std::string_view title, std::string_view prompt,
                                   std::string_view defaultText) {
    assertGuiThread();
    if (state.answerer) {
        DialogAnswer a = ask({DialogRequest::Input, std::string(title), std::string(prompt)});
        if (a.cancelled) return std::nullopt;
        return std::move(a.text);
    }
    bool ok = false;
    const QString answer = QInputDialog::getText(nullptr, q(title), multiline(prompt),
                                                 QLineEdit::Normal, q(defaultText), &ok);
    if (!ok) return std::nullopt;
    return fromQString(answer);
}

int32_t chooseColour(int32_t initial) {
    assertGuiThread();
    if (state.answerer) return ask({DialogRequest::Colour, {}, {}}).colour;
    const QColor start = toQColor(initial);
    const QColor chosen = QColorDialog::getColor(start);
    if (!chosen.isValid()) return -1;
    return fromQColor(chosen);
}

void setDialogAnswerer(DialogAnswerer answerer) {
    assertGuiThread();
    state.answerer = std::move(answerer);
}

}  // namespace kavel::platform
