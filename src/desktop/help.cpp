// The help window: one QTextBrowser on the pages under :/help. It lives
// outside the numbered windows because it has nothing to report to the
// main loop; closing it is Qt's business alone.
#include "desktop/help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>

#include "common/reset.h"
#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"

// The resources of a static library need to be named once to be linked in.
static void initHelpResources() {
    static bool done = false;
    if (done) return;
    Q_INIT_RESOURCE(help);
    done = true;
}

namespace kavel::platform {

namespace {

const QString kRoot = QStringLiteral(":/help/");

QPointer<QTextBrowser> browser;

const bool registered = registerReset([] {
    if (QCoreApplication::instance()) closeHelp();
});

bool pageExists(const QString& page) {
    return !page.isEmpty() && !page.contains(QLatin1Char('/')) && QFile::exists(kRoot + page);
}

}  // namespace

void showHelp(int owner, std::string_view title, std::string_view page) {
    assertGuiThread();
    initHelpResources();
    QString name = toQString(page);
    if (!pageExists(name)) name = QString::fromLatin1(kHelpStartPage);
    if (!browser) {
        browser = new QTextBrowser(windowFrame(owner));
        browser->setWindowFlag(Qt::Window, true);
        browser->setAttribute(Qt::WA_DeleteOnClose, true);
        browser->setOpenExternalLinks(true);
        browser->setSearchPaths({kRoot});
        browser->resize(620, 520);
        if (QScreen* screen = QGuiApplication::primaryScreen())
            browser->move(screen->availableGeometry().center() - browser->rect().center());
    }
    browser->setWindowTitle(toQString(title));
    browser->setAccessibleName(toQString(title));
    browser->setSource(QUrl(QStringLiteral("qrc") + kRoot + name));
    browser->show();
    browser->raise();
    browser->activateWindow();
}

void closeHelp() {
    assertGuiThread();
    if (browser) {
        browser->hide();
        browser->deleteLater();
    }
    browser = nullptr;
}

bool helpShown() {
    assertGuiThread();
    return browser && browser->isVisible();
}

std::string helpPage() {
    assertGuiThread();
    if (!helpShown()) return {};
    return fromQString(browser->source().fileName());
}

std::vector<std::string> helpPages() {
    initHelpResources();
    std::vector<std::string> pages;
    for (const QString& name : QDir(kRoot).entryList({QStringLiteral("*.html")}, QDir::Files))
        pages.push_back(fromQString(name));
    return pages;
}

std::string helpPageSource(std::string_view page) {
    initHelpResources();
    const QString name = toQString(page);
    if (!pageExists(name)) return {};
    QFile file(kRoot + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

}  // namespace kavel::platform
