// The rich-text control on a QTextEdit, for the user information text
// (rooms have a view of their own, chat_log_view.h). Text is only ever
// added at the end, through one cursor kept there, one edit block per
// message: laying out a message once is what keeps appending cheap as the
// document grows. Undo is off and the block count unlimited (a block limit
// makes every append far slower).
#include "desktop/richtext.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
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

#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"
#include "desktop/image.h"

namespace kavel::platform {

namespace {

constexpr qreal kPointSize = 10.0;

// The characters a smiley picture stands for, kept with the picture.
constexpr int kPictureText = QTextFormat::UserProperty + 1;

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
        background_ = colour;
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
        f.setProperty(kPictureText, toQString(picture.text));
        f.setToolTip(toQString(picture.text));
        f.setWidth(picture.width);
        f.setHeight(picture.height);
        end_.insertImage(f);
    }
    ViewContent content() const override {
        ViewContent out;
        out.background = background_;
        out.font = fromQString(document()->defaultFont().family());
        std::map<QString, std::string> pngs;
        for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
            if (b != document()->begin()) out.runs.push_back({ViewRun::LineBreak});
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const QTextCharFormat cf = fragment.charFormat();
                if (cf.isImageFormat()) {
                    addPictures(out, cf.toImageFormat(), fragment.length(), pngs);
                    continue;
                }
                ViewRun run;
                run.style = (cf.fontWeight() >= QFont::Bold ? textstyle::Bold : 0) |
                            (cf.fontItalic() ? textstyle::Italic : 0) |
                            (cf.fontUnderline() ? textstyle::Underline : 0);
                run.colour = fromQColor(cf.foreground().color());
                // Line separators inside a block are line breaks of their own.
                const QStringList lines = fragment.text()
                                              .remove(QChar::ObjectReplacementCharacter)
                                              .split(QChar::LineSeparator);
                for (qsizetype i = 0; i < lines.size(); ++i) {
                    if (i > 0) out.runs.push_back({ViewRun::LineBreak});
                    if (lines[i].isEmpty()) continue;
                    run.text = fromQString(lines[i]);
                    out.runs.push_back(run);
                }
            }
        }
        return out;
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

    void addPictures(ViewContent& out, const QTextImageFormat& f, int count,
                     std::map<QString, std::string>& pngs) const {
        // Equal neighbours share one fragment, one character each.
        auto known = pngs.find(f.name());
        if (known == pngs.end()) {
            const QImage image =
                document()->resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            if (!image.isNull()) image.save(&buffer, "PNG");
            known = pngs.emplace(f.name(), std::string(bytes.constData(), bytes.size())).first;
        }
        ViewRun run;
        run.kind = ViewRun::Picture;
        run.text = fromQString(f.property(kPictureText).toString());
        run.width = static_cast<int>(f.width());
        run.height = static_cast<int>(f.height());
        run.png = known->second;
        for (int i = 0; i < count; ++i)
            out.runs.push_back(run);
    }

    int window_;
    QTextCursor end_;
    QTextCharFormat format_;
    QSet<QString> images_;
    int32_t background_ = kWhite;
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
    QWidget* widget = controlWidget(control);
    if (auto* log = dynamic_cast<ChatLogView*>(widget)) return log;
    return dynamic_cast<RichTextView*>(widget);
}

}  // namespace kavel::platform
