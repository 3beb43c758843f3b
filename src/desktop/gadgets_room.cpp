// Facade calls the chat room needs beyond the common controls.
#include <QListView>

#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"

namespace kavel::platform {

void expectLongList(int id) {
    assertGuiThread();
    // With rows of varying height the view lays out every row again on
    // each insertion; one line of text per row lets it skip that.
    if (auto* list = qobject_cast<QListView*>(controlWidget(id))) {
        list->setUniformItemSizes(true);
        list->setLayoutMode(QListView::Batched);
    }
}

}  // namespace kavel::platform
