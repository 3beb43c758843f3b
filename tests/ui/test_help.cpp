// The help pages compiled into the program: every page reachable from the
// start page, every link and anchor there, the chat input page complete,
// and the menu's two entry points opening the help window at their pages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTextBrowser>

#include <deque>
#include <map>
#include <regex>
#include <set>

#include "desktop/encoding.h"
#include "desktop/help.h"
#include "ui/GUI_Help.h"
#include "window_fixture.h"

namespace kavel::test {
namespace {

struct Link {
    std::string page;
    std::string anchor;
};

std::vector<Link> linksOf(const std::string& html) {
    static const std::regex href(R"re(href="([^"#]*)(?:#([^"]*))?")re");
    std::vector<Link> out;
    for (std::sregex_iterator it(html.begin(), html.end(), href), end; it != end; ++it)
        out.push_back({(*it)[1].str(), (*it)[2].str()});
    return out;
}

bool hasAnchor(const std::string& html, const std::string& anchor) {
    return html.find("name=\"" + anchor + "\"") != std::string::npos ||
           html.find("id=\"" + anchor + "\"") != std::string::npos;
}

bool isExternal(const std::string& page) {
    return page.rfind("http:", 0) == 0 || page.rfind("https:", 0) == 0 ||
           page.rfind("mailto:", 0) == 0;
}

TEST(HelpPages, EveryPageIsReachableFromTheStartPageAndEveryLinkHolds) {
    const std::vector<std::string> pages = platform::helpPages();
    ASSERT_GE(pages.size(), 2u);
    const std::set<std::string> all(pages.begin(), pages.end());
    ASSERT_TRUE(all.count(platform::kHelpStartPage));
    ASSERT_TRUE(all.count(kHelpTopic));

    std::set<std::string> reached{platform::kHelpStartPage};
    std::deque<std::string> todo{platform::kHelpStartPage};
    while (!todo.empty()) {
        const std::string page = todo.front();
        todo.pop_front();
        const std::string html = platform::helpPageSource(page);
        ASSERT_FALSE(html.empty()) << page;
        for (const Link& link : linksOf(html)) {
            if (isExternal(link.page)) continue;
            const std::string target = link.page.empty() ? page : link.page;
            ASSERT_TRUE(all.count(target)) << page << " links to a missing " << target;
            if (!link.anchor.empty()) {
                EXPECT_TRUE(hasAnchor(platform::helpPageSource(target), link.anchor))
                    << page << " links to " << target << "#" << link.anchor;
            }
            if (reached.insert(target).second) todo.push_back(target);
        }
    }
    EXPECT_EQ(reached, all);
}

TEST(HelpPages, GermanUtf8PagesThatCoverWhatANewcomerNeeds) {
    for (const std::string& page : platform::helpPages()) {
        const std::string html = platform::helpPageSource(page);
        EXPECT_NE(html.find("<html lang=\"de\">"), std::string::npos) << page;
        EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos) << page;
        EXPECT_NE(html.find("<title>"), std::string::npos) << page;
        // Valid UTF-8 all through: the text survives a round trip.
        EXPECT_EQ(QString::fromUtf8(html.c_str()).toUtf8().toStdString(), html) << page;
    }
    const std::string start = platform::helpPageSource(platform::kHelpStartPage);
    for (const char* needle :
         {"QUARN", "Benutzername:", "Annehmen", "Verbinden", "Chatraum betreten", "Eingabetaste",
          "neu registrieren", "Aktionen", "Tools", "Plugin Manager", "Anleitung", "Über"})
        EXPECT_NE(start.find(needle), std::string::npos) << needle;
    const std::string input = platform::helpPageSource(kHelpTopic);
    for (const char* needle :
         {"[b", "b]", "[i", "i]", "[c=RRGGBB", "/cmd", "/me ", ":)", ";)", ":D", ".D",
          "Benutzerprofil", "Benutzer aufwecken", "Benutzer erschrecken", "Privatchat eröffnen",
          "Abwesenheit", "nur kurz", "Zurück", "Pfeil hoch"})
        EXPECT_NE(input.find(needle), std::string::npos) << needle;
}

class HelpWindow : public WindowTest {
  protected:
    QTextBrowser* browser() const {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QTextBrowser*>(w); b && b->isVisible()) return b;
        return nullptr;
    }
};

TEST_F(HelpWindow, HilfeOpensTheChatInputPageAnleitungTheStartPage) {
    menu(mainwin::item::Help);
    ASSERT_TRUE(platform::helpShown());
    EXPECT_EQ(platform::helpPage(), "node11.html");
    ASSERT_NE(browser(), nullptr);
    EXPECT_EQ(browser()->windowTitle(), "KAVEL > Hilfe");
    EXPECT_EQ(browser()->documentTitle(), QString::fromUtf8("KAVEL – Die Eingabezeile"));
    EXPECT_TRUE(browser()->toPlainText().contains(QStringLiteral("[c=RRGGBB")));

    menu(mainwin::item::Manual);  // the same window turns to the start page
    EXPECT_EQ(platform::helpPage(), "index.html");
    EXPECT_TRUE(browser()->toPlainText().contains(QStringLiteral("Die ersten Schritte")));
    int browsers = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        browsers += qobject_cast<QTextBrowser*>(w) && w->isVisible();
    EXPECT_EQ(browsers, 1);
}

TEST_F(HelpWindow, TheLinksOfTheStartPageLeadToTheirPages) {
    menu(mainwin::item::Manual);
    QTextBrowser* b = browser();
    ASSERT_NE(b, nullptr);
    const QUrl start = b->source();
    for (const Link& link : linksOf(platform::helpPageSource(platform::kHelpStartPage))) {
        if (link.page.empty() || isExternal(link.page)) continue;
        SCOPED_TRACE(link.page);
        // What the browser does with a clicked link.
        b->setSource(start.resolved(QUrl(platform::toQString(link.page))));
        EXPECT_EQ(platform::helpPage(), link.page);
        EXPECT_TRUE(b->documentTitle().startsWith(QStringLiteral("KAVEL")));
        EXPECT_GT(b->toPlainText().size(), 200);
    }
}

TEST_F(HelpWindow, AnUnknownPageShowsTheStartPage) {
    openHelp("fehlt.html");
    EXPECT_EQ(platform::helpPage(), "index.html");
    openHelp("../etwas.html");
    EXPECT_EQ(platform::helpPage(), "index.html");
}

TEST_F(HelpWindow, ClosingTheMainWindowTakesTheHelpAlong) {
    menu(mainwin::item::Help);
    ASSERT_TRUE(platform::helpShown());
    gd::closeWindow(mainwin::Window);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(platform::helpShown());
}

}  // namespace
}  // namespace kavel::test
