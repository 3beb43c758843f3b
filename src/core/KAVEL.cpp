// The main module: start-up, main loop and shutdown.
#include <QApplication>
#include <QMainWindow>

#include "core/data.h"
#include "core/main.h"
#include "platform/encoding.h"

namespace kavel {

int kavelMain(int argc, char** argv) {
    QApplication app(argc, argv);
    loadUiTexts();
    QMainWindow window;
    window.setWindowTitle(platform::toQString("KAVEL - Client Program"));
    window.resize(600, 300);
    window.show();
    app.exec();
    return 0;
}

}  // namespace kavel
