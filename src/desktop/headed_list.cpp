// A list with a column heading (the plug-in manager's two lists).
#include <QHeaderView>
#include <QListWidget>
#include <QStandardItemModel>

#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"
#include "desktop/gadgets_registry.h"
#include "desktop/headed_list.h"

namespace kavel::platform {

namespace {

// A QListWidget, so that every list call of the facade works on it; the
// heading sits in the viewport margin, as a table view keeps its header.
class HeadedList : public QListWidget {
  public:
    HeadedList(const QString& heading, int columnWidth) {
        auto* model = new QStandardItemModel(0, 1, this);
        model->setHorizontalHeaderLabels({heading});
        header_ = new QHeaderView(Qt::Horizontal, this);
        header_->setModel(model);
        header_->setSectionsClickable(false);
        header_->setSectionResizeMode(QHeaderView::Fixed);
        header_->resizeSection(0, columnWidth);
        header_->setAccessibleName(heading);
        setSelectionMode(QAbstractItemView::SingleSelection);
        setAccessibleName(heading);
    }

  protected:
    void updateGeometries() override {
        if (!placing_) {
            placing_ = true;
            const int height = header_->sizeHint().height();
            setViewportMargins(0, height, 0, 0);
            const QRect area = viewport()->geometry();
            header_->setGeometry(area.left(), area.top() - height, area.width(), height);
            placing_ = false;
        }
        QListWidget::updateGeometries();
    }

  private:
    QHeaderView* header_ = nullptr;
    bool placing_ = false;  // setViewportMargins lays out again
};

}  // namespace

int headedList(int window, int id, int x, int y, int w, int h, std::string_view heading,
               int columnWidth) {
    assertGuiThread();
    auto* list = new HeadedList(toQString(heading), columnWidth);
    // A list box in every respect but its heading.
    id = detail::place(window, id, list, detail::Kind::ListBox, x, y, w, h, list->accessibleName());
    if (id < 0) return -1;
    detail::reportListEvents(list, window, id);
    return id;
}

}  // namespace kavel::platform
