#include "ui/GUI_Help.h"

#include "common/data.h"
#include "desktop/help.h"
#include "ui/windows/main_window.h"

namespace kavel {

void openHelp(std::string_view page) {
    platform::showHelp(mainwin::Window, ui(Own::HelpTitle),
                       page.empty() ? std::string_view(platform::kHelpStartPage) : page);
}

}  // namespace kavel
