#pragma once
// The chat input line behind inputLine(): a QLineEdit whose Tab stays in
// it and whose misspelt words carry the desktop's wavy underline. The marks
// are handed to the line as input-method formats, the one way QLineEdit
// draws formats of its own text.
#include <QLineEdit>
#include <vector>

#include "desktop/spell.h"

class QMenu;

namespace kavel::platform {

class InputLine : public QLineEdit {
  public:
    InputLine(int window, QWidget* parent = nullptr);
    ~InputLine() override;
    void setControl(int id) { id_ = id; }
    void setWordFinder(WordFinder finder);
    const std::vector<WordSpan>& misspelt() const { return misspelt_; }
    // The context menu at a point: Qt's own, with the suggestions and
    // "Zum Wörterbuch hinzufügen" on top when the point is on a marked word.
    QMenu* createSpellingMenu(const QPoint& point);
    // Checks the words again and marks those not known.
    void recheck();

  protected:
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

  private:
    void mark(std::vector<WordSpan> marks);
    void replaceWord(WordSpan span, const QString& old, const QString& by);

    int window_;
    int id_ = -1;
    WordFinder finder_;
    std::vector<WordSpan> misspelt_;
    bool composing_ = false;  // an input method's text is being put together
};

}  // namespace kavel::platform
