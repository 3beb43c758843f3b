// The driver's commands: one line each, fields separated by tabs, UTF-8;
// every command gets one line back, "ok" or "err", a tab and the answer,
// in which a line break is written as \n and a backslash as \\.
//
//   windows                           titles of the shown top-level windows
//   menu  <window> <item>             triggers a menu item of the window's
//                                     menu bar or of its open popup menu
//   type  <window> <control> <text>   puts the text into a text field
//   key   <window> <key>              the window's shortcut for the key
//                                     ("Return")
//   press <window> <key>              a key press at the window's focus
//                                     widget ("Ctrl+F"), passed on upwards
//   read  <window> <control>          the text of a view, field or list
//   click <window> <list> <item>      left click on a list entry
//   winid <window>                    the window's native id (screenshots)
//   resize <window> <width> <height>
//   close <window>                    the window's close box
//   text  <window>                    the text of a message box
//   answer <window> <button>          clicks a button of a dialog ("Ja")
//
// A window is named by its title (a room's title may carry a suffix after
// " > "), a control by its accessible name, an item by its text without
// the & marks, or by the start of it.
#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>
#include <QTextEdit>
#include <QWidget>
#include <functional>

#include "hook.h"

namespace kavelhook {

namespace {

QString escaped(QString text) {
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\\n"));
    text.replace(QChar::LineSeparator, QStringLiteral("\\n"));
    return text;
}

QWidget* window(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) return w;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle().startsWith(title + QStringLiteral(" > "))) return w;
    return nullptr;
}

QWidget* control(QWidget* window, const QString& name) {
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->accessibleName() == name) return w;
    return nullptr;
}

QString plain(QString text) {
    return text.remove(QLatin1Char('&'));
}

QAction* findAction(const QList<QAction*>& actions, const QString& item) {
    QAction* prefix = nullptr;
    for (QAction* a : actions) {
        if (plain(a->text()) == item && !a->menu()) return a;
        if (!prefix && !a->menu() && plain(a->text()).startsWith(item)) prefix = a;
        if (a->menu())
            if (QAction* inner = findAction(a->menu()->actions(), item)) return inner;
    }
    return prefix;
}

QString run(const QStringList& f) {
    const QString& command = f.value(0);
    if (command == QStringLiteral("windows")) {
        QStringList titles;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !qobject_cast<QMenu*>(w)) titles << w->windowTitle();
        return QStringLiteral("ok\t") + escaped(titles.join(QLatin1Char('\t')));
    }
    QWidget* w = window(f.value(1));
    if (!w) return QStringLiteral("err\tno window ") + f.value(1);
    if (command == QStringLiteral("menu")) {
        QList<QAction*> actions;
        if (QWidget* popup = QApplication::activePopupWidget()) actions += popup->actions();
        for (QMenu* m : w->findChildren<QMenu*>())
            if (m->isVisible()) actions += m->actions();
        if (auto* bar = w->findChild<QMenuBar*>()) actions += bar->actions();
        QAction* a = findAction(actions, f.value(2));
        if (!a) return QStringLiteral("err\tno menu item ") + f.value(2);
        a->trigger();
        for (QMenu* m : w->findChildren<QMenu*>())
            if (m->isVisible()) m->hide();
        return QStringLiteral("ok\t");
    }
    if (command == QStringLiteral("key")) {
        for (QShortcut* s : w->findChildren<QShortcut*>())
            if (s->key() == QKeySequence(f.value(2))) {
                emit s->activated();
                return QStringLiteral("ok\t");
            }
        return QStringLiteral("err\tno shortcut ") + f.value(2);
    }
    if (command == QStringLiteral("press")) {
        const QKeySequence seq(f.value(2));
        if (seq.isEmpty()) return QStringLiteral("err\tno key ") + f.value(2);
        const QKeyCombination key = seq[0];
        QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers());
        QWidget* target = w->focusWidget() ? w->focusWidget() : w;
        QApplication::sendEvent(target, &press);
        return QStringLiteral("ok\t");
    }
    if (command == QStringLiteral("winid"))
        return QStringLiteral("ok\t") + QString::number(w->winId());
    if (command == QStringLiteral("resize")) {
        w->resize(f.value(2).toInt(), f.value(3).toInt());
        return QStringLiteral("ok\t");
    }
    if (command == QStringLiteral("close")) {
        w->close();
        return QStringLiteral("ok\t");
    }
    if (command == QStringLiteral("text")) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) return QStringLiteral("err\tnot a message box");
        return QStringLiteral("ok\t") + escaped(box->text());
    }
    if (command == QStringLiteral("answer")) {
        for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
            if (b->isVisible() && plain(b->text()) == f.value(2)) {
                // Queued: the dialog's own event loop must not end inside
                // this command's answer.
                QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
                return QStringLiteral("ok\t");
            }
        return QStringLiteral("err\tno button ") + f.value(2);
    }
    QWidget* c = control(w, f.value(2));
    if (!c) return QStringLiteral("err\tno control ") + f.value(2);
    if (command == QStringLiteral("type")) {
        auto* field = qobject_cast<QLineEdit*>(c);
        if (!field) return QStringLiteral("err\tnot a text field");
        field->setText(f.value(3));
        return QStringLiteral("ok\t");
    }
    if (command == QStringLiteral("read")) {
        if (auto* view = qobject_cast<QTextEdit*>(c))
            return QStringLiteral("ok\t") + escaped(view->toPlainText());
        if (auto* field = qobject_cast<QLineEdit*>(c))
            return QStringLiteral("ok\t") + escaped(field->text());
        if (auto* list = qobject_cast<QListWidget*>(c)) {
            QStringList items;
            for (int i = 0; i < list->count(); ++i)
                items << list->item(i)->text();
            return QStringLiteral("ok\t") + escaped(items.join(QLatin1Char('\n')));
        }
        // A custom-drawn text such as the chat view: as a screen reader reads it.
        if (QAccessibleInterface* access = QAccessible::queryAccessibleInterface(c))
            if (QAccessibleTextInterface* text = access->textInterface())
                return QStringLiteral("ok\t") + escaped(text->text(0, text->characterCount()));
        return QStringLiteral("err\tunreadable control");
    }
    if (command == QStringLiteral("click")) {
        auto* list = qobject_cast<QListWidget*>(c);
        if (!list) return QStringLiteral("err\tnot a list");
        const QList<QListWidgetItem*> found = list->findItems(f.value(3), Qt::MatchExactly);
        if (found.isEmpty()) return QStringLiteral("err\tno entry ") + f.value(3);
        list->setCurrentItem(found.first());
        emit list->itemClicked(found.first());
        return QStringLiteral("ok\t");
    }
    return QStringLiteral("err\tunknown command ") + command;
}

void serve(QLocalSocket* peer) {
    QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer] {
        while (peer->canReadLine()) {
            const QString line = QString::fromUtf8(peer->readLine()).chopped(1);
            peer->write(run(line.split(QLatin1Char('\t'))).toUtf8() + '\n');
            // The command may end the program before its loop runs again.
            peer->flush();
        }
    });
}

}  // namespace

void startCommands(const QString& path) {
    auto* server = new QLocalServer(QCoreApplication::instance());
    QLocalServer::removeServer(path);
    if (!server->listen(path)) {
        say("error", server->errorString());
        return;
    }
    QObject::connect(server, &QLocalServer::newConnection, server, [server] {
        while (QLocalSocket* peer = server->nextPendingConnection())
            serve(peer);
    });
}

}  // namespace kavelhook
