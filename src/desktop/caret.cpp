#include "desktop/caret.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace kavel::platform {

namespace {

class CaretRest : public QObject {
  public:
    explicit CaretRest(QApplication* app)
        : QObject(app), flashTime_(QApplication::cursorFlashTime()) {
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (!resting_) flashTime_ = QApplication::cursorFlashTime();
            resting_ = true;
            QApplication::setCursorFlashTime(0);
        });
        app->installEventFilter(this);
    }
    void setRest(int ms) {
        timer_.setInterval(ms);
        wake();
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::MouseButtonPress:
            case QEvent::FocusIn:
            case QEvent::InputMethod:
                wake();
                break;
            default:
                break;
        }
        return false;
    }

  private:
    void wake() {
        if (resting_) {
            resting_ = false;
            QApplication::setCursorFlashTime(flashTime_);
        }
        timer_.start();
    }

    QTimer timer_;
    int flashTime_;
    bool resting_ = false;
};

CaretRest* installed = nullptr;

}  // namespace

void letCaretRest(int afterMs) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) return;
    if (!installed) {
        installed = new CaretRest(app);
        QObject::connect(app, &QObject::destroyed, [] { installed = nullptr; });
    }
    installed->setRest(afterMs);
}

}  // namespace kavel::platform
