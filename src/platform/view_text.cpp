#include "platform/view_text.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include "platform/encoding.h"
#include "platform/gadgets_qt.h"

namespace kavel::platform {

std::string lastTextLine(int control) {
    assertGuiThread();
    auto* view = qobject_cast<QTextEdit*>(controlWidget(control));
    if (!view) return {};
    for (QTextBlock block = view->document()->lastBlock(); block.isValid();
         block = block.previous()) {
        QString text = block.text();
        text.remove(QChar::ObjectReplacementCharacter);
        // A message may hold line breaks of its own.
        const QStringList lines = text.split(QChar::LineSeparator, Qt::SkipEmptyParts);
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (!it->trimmed().isEmpty()) return fromQString(it->trimmed());
    }
    return {};
}

}  // namespace kavel::platform
