#include "desktop/view_text.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"

namespace kavel::platform {

std::string lastTextLine(int control) {
    assertGuiThread();
    if (ChatLogView* log = chatLogViewOf(control)) {
        const ChatLog& model = log->log();
        for (int line = model.lineCount() - 1; line >= 0; --line) {
            const int64_t from = model.position(line, 0);
            const auto length = static_cast<int64_t>(model.lineText(line).size());
            const QString text =
                log->plainText(from, from + length).remove(QChar(0xFFFC)).trimmed();
            if (!text.isEmpty()) return fromQString(text);
        }
        return {};
    }
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
