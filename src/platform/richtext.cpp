// The chat view on a QTextEdit. Text is only ever added at the end, through
// one cursor kept there, one edit block per message: laying out a message
// once is what keeps appending cheap as the document grows. Undo is off and
// the block count unlimited (a block limit makes every append far slower).
#include "platform/richtext.h"

#include <QAbstractTextDocumentLayout>
#include <QHash>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>
#include <map>
#include <string>

#include "platform/encoding.h"
#include "platform/gadgets_qt.h"
#include "platform/image.h"

namespace kavel::platform {

namespace {

constexpr qreal kPointSize = 10.0;

std::string rtfText(QString text) {
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    std::string out;
    for (char c : fromQString(text)) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\line ";
        } else if (u >= 0x80) {
            static const char* hex = "0123456789abcdef";
            out += "\\'";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

class RichTextView : public QTextEdit, public ChatView {
  public:
    RichTextView(int window, bool readOnly) : window_(window) {
        setReadOnly(readOnly);
        setUndoRedoEnabled(false);
        setLineWrapMode(QTextEdit::WidgetWidth);
        setAcceptRichText(false);
        QFont f = document()->defaultFont();
        f.setPointSizeF(kPointSize);
        document()->setDefaultFont(f);
        format_.setFontPointSize(kPointSize);
        end_ = QTextCursor(document());
        // The room offers its own menu on the right button.
        setContextMenuPolicy(Qt::CustomContextMenu);
        connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint&) {
            pushEvent({EventKind::RightButton, window_, 0, EventType::None});
        });
    }

    void setStyle(int bits) override {
        format_.setFontWeight(bits & 1 ? QFont::Bold : QFont::Normal);
        format_.setFontItalic(bits & 2);
        format_.setFontUnderline(bits & 4);
        format_.setFontPointSize(kPointSize);
    }
    void setColour(int32_t colour) override { format_.setForeground(toQColor(colour)); }
    void setBackground(int32_t colour) override {
        QPalette p = palette();
        p.setColor(QPalette::Base, toQColor(colour));
        setPalette(p);
    }
    void append(std::string_view text) override {
        if (text == "\r") {
            appendLineBreak();
            return;
        }
        toEnd();
        end_.insertText(toQString(text), format_);
    }
    void appendLineBreak() override {
        toEnd();
        end_.insertBlock(QTextBlockFormat(), format_);
    }
    void insertImage(const Picture& picture) override {
        toEnd();
        // Equal pictures share one resource; a long chat full of smilies
        // would otherwise hold a copy of the same face per occurrence.
        const QImage image = toQImage(picture);
        const QString name = QStringLiteral("smiley:%1").arg(keyOf(image));
        if (!images_.contains(name)) {
            document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
            images_.insert(name);
        }
        QTextImageFormat f;
        f.merge(format_);
        f.setName(name);
        f.setWidth(picture.width);
        f.setHeight(picture.height);
        end_.insertImage(f);
    }
    bool saveContents(std::FILE* file, int format) override {
        const std::string out = format == 1 ? rtf() : plain();
        return std::fwrite(out.data(), 1, out.size(), file) == out.size() && std::fflush(file) == 0;
    }
    void beginMessage() override {
        toEnd();
        end_.beginEditBlock();
    }
    void endMessage() override { end_.endEditBlock(); }

  private:
    void toEnd() {
        if (!end_.atEnd()) end_.movePosition(QTextCursor::End);
    }
    static quint64 keyOf(const QImage& image) {
        // Content hash: equal pixels, equal name.
        return qHash(
            QByteArrayView(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    }

    std::string plain() const {
        std::string out;
        for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
            if (b != document()->begin()) out += "\r\n";
            QString t = b.text();
            t.remove(QChar::ObjectReplacementCharacter);
            out += fromQString(t);
        }
        return out;
    }

    std::string rtf() const {
        std::map<QRgb, int> colours;
        for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                colours.emplace(it.fragment().charFormat().foreground().color().rgb(), 0);
        std::string table = "{\\colortbl;";
        int n = 1;
        for (auto& [rgb, index] : colours) {
            index = n++;
            table += "\\red" + std::to_string(qRed(rgb)) + "\\green" + std::to_string(qGreen(rgb)) +
                     "\\blue" + std::to_string(qBlue(rgb)) + ";";
        }
        table += "}";
        std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 " +
                          fromQString(document()->defaultFont().family()) + ";}}" + table +
                          "\\f0\\fs20 ";
        for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
            if (b != document()->begin()) out += "\\par\n";
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment fr = it.fragment();
                const QTextCharFormat cf = fr.charFormat();
                QString t = fr.text();
                t.remove(QChar::ObjectReplacementCharacter);
                if (t.isEmpty()) continue;
                out += "{";
                if (cf.fontWeight() >= QFont::Bold) out += "\\b";
                if (cf.fontItalic()) out += "\\i";
                if (cf.fontUnderline()) out += "\\ul";
                out += "\\cf" + std::to_string(colours[cf.foreground().color().rgb()]) + " ";
                out += rtfText(t);
                out += "}";
            }
        }
        out += "}";
        return out;
    }

    int window_;
    QTextCursor end_;
    QTextCharFormat format_;
    QSet<QString> images_;
};

}  // namespace

int richTextControl(int window, int id, int x, int y, int w, int h, bool readOnly) {
    assertGuiThread();
    if (!windowCanvas(window)) return -1;
    auto* view = new RichTextView(window, readOnly);
    view->setAccessibleName(QStringLiteral("Textfeld"));
    return adoptControl(window, id, view, x, y, w, h);
}

ChatView* chatViewOf(int control) {
    assertGuiThread();
    return dynamic_cast<RichTextView*>(controlWidget(control));
}

}  // namespace kavel::platform
