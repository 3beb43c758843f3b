#include "core/data.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/textblock.h"

namespace kavel {

// Aligned so that the 16-bit options word at offset 80 can be used with
// atomic operations although the record itself is packed.
alignas(8) ClientState clientState{};
uint16_t AppFlags = 0;
std::vector<AvailableRoom> AvailableRooms;
std::vector<ChatRoom*> joinedRooms;
std::vector<Agent*> AgentList;
std::array<std::string, kUiTextCount> UiTexts;

std::string_view text(const char* field) {
    return field ? std::string_view(field) : "";
}

void setText(TextField field, std::string_view value) {
    char* copy = static_cast<char*>(std::malloc(value.size() + 1));
    if (!copy) return;  // keep the old value rather than lose the field
    std::memcpy(copy, value.data(), value.size());
    copy[value.size()] = '\0';
    const char* old = clientState.*field;
    clientState.*field = copy;
    std::free(const_cast<char*>(old));
}

namespace {

constexpr TextField kTextFields[] = {&ClientState::profileName, &ClientState::nick,
                                     &ClientState::password,    &ClientState::lastLogin,
                                     &ClientState::infoFields,  &ClientState::ownRemarks,
                                     &ClientState::adminRemarks};

uint16_t* optionsWord() {
    return reinterpret_cast<uint16_t*>(reinterpret_cast<char*>(&clientState) +
                                       offsetof(ClientState, options));
}

}  // namespace

uint16_t options() {
    return __atomic_load_n(optionsWord(), __ATOMIC_SEQ_CST);
}
void setOptions(uint16_t value) {
    __atomic_store_n(optionsWord(), value, __ATOMIC_SEQ_CST);
}
void setOptionBits(uint16_t bits) {
    __atomic_fetch_or(optionsWord(), bits, __ATOMIC_SEQ_CST);
}
void clearOptionBits(uint16_t bits) {
    __atomic_fetch_and(optionsWord(), static_cast<uint16_t>(~bits), __ATOMIC_SEQ_CST);
}

std::string convertText(std::string_view text) {
    return std::string(text);
}

namespace {

// Reads the next NUL-terminated text of the block; the position moves past it.
std::string nextText(unsigned& position) {
    if (position >= kTextBlockSize) return {};
    std::string_view rest(kTextBlock + position, kTextBlockSize - position);
    std::string_view t(rest.data(), std::min(rest.find('\0'), rest.size()));
    position += static_cast<unsigned>(t.size()) + 1;
    return std::string(t);
}

}  // namespace

void loadUiTexts() {
    unsigned position = 0;
    for (auto& entry : UiTexts)
        entry = convertText(nextText(position));
}

const std::string& ui(Txt index) {
    return UiTexts[static_cast<std::size_t>(index)];
}

std::string fillPlaceholder(std::string_view text, std::string_view value) {
    std::string out;
    out.reserve(text.size() + value.size());
    for (char c : text) {
        if (c == '$')
            out.append(value);
        else
            out.push_back(c);
    }
    return out;
}

std::string ui(Txt index, std::string_view value) {
    return fillPlaceholder(ui(index), value);
}

std::vector<std::string> creditLines() {
    unsigned position = 0;
    for (int i = 0; i < kUiTextCount; ++i)
        nextText(position);
    std::vector<std::string> lines;
    lines.reserve(kCreditLineCount);
    for (int i = 0; i < kCreditLineCount; ++i)
        lines.push_back(nextText(position));
    return lines;
}

void resetSharedState() {
    for (TextField field : kTextFields)
        setText(field, "");
    clientState.nameColour = clientState.textColour = clientState.urlColour = 0;
    clientState.backgroundColour = 0;
    clientState.rank = clientState.chatPoints = 0;
    setOptions(0);
    clientState.connection = 0;
    clientState.focusedInput = 0;
    clientState.mainWindow = nullptr;
    AppFlags = 0;
    AvailableRooms.clear();
    joinedRooms.clear();
    AgentList.clear();
}

}  // namespace kavel
