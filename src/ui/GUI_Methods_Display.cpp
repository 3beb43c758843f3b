// The message display: one pass of the lexer over a message, left to right.
#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "common/LEXER.h"
#include "common/cp1252.h"
#include "common/data.h"
#include "common/datemask.h"
#include "common/misc.h"
#include "common/reset.h"
#include "desktop/gadgets.h"
#include "objects/agent_chain.h"
#include "system/services.h"
#include "ui/GUI_Methods_Display.h"
#include "ui/smilies.h"

namespace kavel {

namespace {

DisplayOptions current;
const bool registered = registerReset([] { current = DisplayOptions{}; });

bool isUrlWord(const std::string& lower) {
    return lower == "http" || lower == "www" || lower == "ftp" || lower == "https";
}

int32_t contrasted(int32_t c, int32_t background) {
    const double d = (std::abs(red(c) - red(background)) + std::abs(green(c) - green(background)) +
                      std::abs(blue(c) - blue(background))) /
                     3.0;
    return d < 85 ? complement(c) : c;
}

class Printer {
  public:
    Printer(PrintTarget& target, RenderState& state, std::string text)
        : target_(target), view_(target.view()), state_(state), text_(std::move(text)) {}

    void run();

  private:
    void flushTo(std::size_t end) {
        end = std::min(end, text_.size());
        if (end > lastEnd_) view_.append(std::string_view(text_).substr(lastEnd_, end - lastEnd_));
    }
    void applyStyle() { view_.setStyle(state_.style); }
    void applyColour() {
        if (mode_ != opt::IgnoreColours) view_.setColour(state_.colour);
    }
    void finishToken(std::size_t end) {
        lastEnd_ = std::min(end, text_.size());
        applyStyle();
        applyColour();
    }
    void restoreSaved() {
        state_.style = savedStyle_;
        state_.colour = savedColour_;
        applyStyle();
        applyColour();
    }

    void colourCode(TextToken& token, std::size_t start);
    bool smiley(const TextToken& token, std::size_t start);

    PrintTarget& target_;
    ChatView& view_;
    RenderState& state_;
    const std::string text_;
    uint16_t options_ = options();
    uint16_t mode_ = options_ & opt::ColourMode;
    std::size_t lastEnd_ = 0;
    int32_t savedStyle_ = 0;
    int32_t savedColour_ = 0;
    bool mentioned_ = false;
};

void Printer::colourCode(TextToken& token, std::size_t start) {
    flushTo(start);
    const auto digitsAt = static_cast<std::size_t>(token.position);
    token.position += 1;
    if (Lex(text_, token, lexstart::HexDigits) == 0) {
        // The code ends the text: nothing but the code itself to drop.
        token.position = static_cast<int32_t>(text_.size());
        return;
    }
    if (token.text.size() < 6) return;  // dropped with its digits
    token.position = static_cast<int32_t>(digitsAt + 6);
    const int32_t c = hexToColour(cp1252::upperCase(token.text.substr(0, 6)));
    if (mode_ == opt::ColourFirst)
        state_.colour = c;
    else if (mode_ == opt::ContrastFirst)
        state_.colour = contrasted(c, state_.background);
}

// False when the pair stays text.
bool Printer::smiley(const TextToken& token, std::size_t start) {
    if (options_ & opt::TextSmilies) return false;
    const auto entry = smileyFor(token.text);
    if (!entry) return false;
    int32_t face = state_.colour;
    if (mode_ == opt::ContrastFirst && (red(face) + green(face) + blue(face)) / 3 < 50)
        face = complement(face);
    Picture picture = makeSmiley(*entry, state_.background, face);
    picture.text = token.text;
    flushTo(start);
    view_.insertImage(picture);
    return true;
}

void Printer::run() {
    view_.beginMessage();
    state_.style = 0;
    state_.colour = kBlack;
    view_.setStyle(0);
    view_.setColour(kBlack);
    savedStyle_ = 0;
    savedColour_ = clientState.textColour;
    // The stamp is text of the line like any other, so the find bar, copy
    // and the logs have it exactly as the view shows it; plug-ins and the
    // mention rule see the message without it.
    if (current.timeStamps) view_.append(timeStamp(platform::localSeconds()));

    const std::string nick(text(clientState.nick));
    const std::string lowerNick = cp1252::lowerCase(nick);

    TextToken token;
    token.position = 0;
    while (Lex(text_, token, lexstart::Fresh)) {
        if (token.type == lex::Skipped) break;
        const std::size_t start = static_cast<std::size_t>(token.position) - token.text.size();
        switch (token.type) {
            case lex::Word: {
                const std::string lower = cp1252::lowerCase(token.text);
                if (isUrlWord(lower)) {
                    token.position = static_cast<int32_t>(start + 1);
                    Lex(text_, token, lexstart::ContinueUrl);
                    flushTo(start);
                    const std::string url = token.text;
                    const bool marked = options_ & opt::MarkUrls;
                    if (marked) {
                        savedStyle_ = state_.style;
                        savedColour_ = state_.colour;
                        state_.colour = clientState.urlColour;
                        state_.style |= textstyle::Bold;
                    }
                    if (!target_.hasUrl(url)) target_.addUrl(url);
                    finishToken(static_cast<std::size_t>(token.position));
                    view_.appendLink(url);
                    // An unmarked link changed nothing, so nothing is restored.
                    if (marked) restoreSaved();
                } else if (!lowerNick.empty() && lower == lowerNick) {
                    flushTo(start);
                    savedStyle_ = state_.style;
                    savedColour_ = state_.colour;
                    state_.style |= textstyle::Bold;
                    if (start != 0) mentioned_ = true;
                    finishToken(static_cast<std::size_t>(token.position));
                    view_.append(nick);
                    restoreSaved();
                }
                break;
            }
            case lex::Colour:
                colourCode(token, start);
                finishToken(static_cast<std::size_t>(token.position));
                break;
            case lex::Bold:
            case lex::Italic:
                flushTo(start);
                state_.style ^= token.type == lex::Bold ? textstyle::Bold : textstyle::Italic;
                finishToken(static_cast<std::size_t>(token.position));
                break;
            case lex::Smiley:
                if (smiley(token, start)) finishToken(static_cast<std::size_t>(token.position));
                break;
            default:
                break;
        }
    }

    if (clientState.focusedInput != 0) {
        const int input = static_cast<int>(clientState.focusedInput);
        if (platform::controlExists(input))
            platform::setControlFocus(input);
        else
            clientState.focusedInput = 0;
    }
    flushTo(text_.size());
    view_.appendLineBreak();
    view_.endMessage();

    if (!(options_ & opt::OnlyOwn) || mentioned_) {
        if (options_ & opt::Flash) target_.flash();
        if (options_ & opt::Sound) target_.playMessageSound();
    }
    if (mentioned_) target_.mentioned();
}

}  // namespace

DisplayOptions& displayOptions() {
    return current;
}

std::string timeStamp(uint32_t seconds) {
    const std::time_t when = seconds;
    std::tm local{};
    localtime_r(&when, &local);
    return formatDateMask("[%hh:%ii] ", local);
}

void printMessage(PrintTarget& target, RenderState& state, const std::string& text) {
    if (text.empty()) return;
    const std::string rendered = runProcessRIn(text);
    Printer(target, state, rendered).run();
}

}  // namespace kavel
