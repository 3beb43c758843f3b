#include "common/data.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>

#include "common/cp1252.h"
#include "common/reset.h"
#include "common/textblock.h"

namespace kavel {

// Aligned to a cache line: the 16-bit options word at offset 80 can then be
// used with atomic operations, and no text reference straddles two lines, so
// a plug-in thread reads each one whole although the record is packed.
alignas(64) ClientState clientState{};
uint16_t AppFlags = 0;
std::vector<AvailableRoom> AvailableRooms;
std::vector<ChatRoom*> joinedRooms;
std::vector<Agent*> AgentList;
std::array<std::string, kUiTextCount> UiTexts;

std::string_view text(const char* field) {
    return field ? std::string_view(field) : "";
}

namespace {

constexpr TextField kTextFields[] = {&ClientState::profileName, &ClientState::nick,
                                     &ClientState::password,    &ClientState::lastLogin,
                                     &ClientState::infoFields,  &ClientState::ownRemarks,
                                     &ClientState::adminRemarks};

// Every text a field has held. A plug-in's Setup thread may still be reading
// a text the main thread has just replaced, so a replaced text is never freed
// while plug-ins run: it is kept, and handed out again when the field gets
// the same value back (a nick going away and coming back), which bounds the
// memory by the number of different values. Buffers never change once
// published. Kept at aligned places also because the record's own copies sit
// at odd offsets, where leak checkers do not look for pointers.
struct FieldTexts {
    std::vector<std::unique_ptr<char[]>> buffers;
    std::vector<std::size_t> lengths;
    const char* current = nullptr;
};
FieldTexts fieldTexts[std::size(kTextFields)];

std::size_t fieldIndex(TextField field) {
    for (std::size_t i = 0; i < std::size(kTextFields); ++i)
        if (kTextFields[i] == field) return i;
    return 0;  // not reachable: every text field is listed above
}

const char* keptCopy(FieldTexts& kept, std::string_view value) {
    for (std::size_t i = 0; i < kept.buffers.size(); ++i) {
        if (kept.lengths[i] == value.size() &&
            (value.empty() || std::memcmp(kept.buffers[i].get(), value.data(), value.size()) == 0))
            return kept.buffers[i].get();
    }
    auto copy = std::make_unique<char[]>(value.size() + 1);  // zero-filled
    if (!value.empty()) std::memcpy(copy.get(), value.data(), value.size());
    kept.buffers.push_back(std::move(copy));
    kept.lengths.push_back(value.size());
    return kept.buffers.back().get();
}

uint16_t* optionsWord() {
    return reinterpret_cast<uint16_t*>(reinterpret_cast<char*>(&clientState) +
                                       offsetof(ClientState, options));
}

}  // namespace

void setText(TextField field, std::string_view value) {
    FieldTexts& kept = fieldTexts[fieldIndex(field)];
    const char* fresh = keptCopy(kept, value);
    kept.current = fresh;
    // A plug-in thread may read the reference at the same moment; the store
    // is atomic so it sees either the old text or the new one.
    auto** slot =
        reinterpret_cast<const char**>(reinterpret_cast<unsigned char*>(&(clientState.*field)));
    __atomic_store_n(slot, fresh, __ATOMIC_RELEASE);
}

void releaseRetiredTexts() {
    for (FieldTexts& kept : fieldTexts) {
        for (std::size_t i = kept.buffers.size(); i-- > 0;) {
            if (kept.buffers[i].get() == kept.current) continue;
            kept.buffers.erase(kept.buffers.begin() + static_cast<std::ptrdiff_t>(i));
            kept.lengths.erase(kept.lengths.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

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
bool takeOptionBits(uint16_t bits) {
    const uint16_t before =
        __atomic_fetch_and(optionsWord(), static_cast<uint16_t>(~bits), __ATOMIC_SEQ_CST);
    return (before & bits) != 0;
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

const char* ui(Own index) {
    return kOwnTexts[static_cast<std::size_t>(index)];
}

std::string ui(Own index, std::string_view value) {
    return cp1252::fillPlaceholder(ui(index), value);
}

std::string ui(Txt index, std::string_view value) {
    return cp1252::fillPlaceholder(ui(index), value);
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

namespace {

// The shared records as at start-up: empty texts, no flags, empty lists.
// The connection, the rooms and the plug-ins are released by their owners.
void resetSharedState() {
    for (TextField field : kTextFields)
        setText(field, "");
    clientState.nameColour = clientState.textColour = clientState.urlColour = 0;
    clientState.backgroundColour = 0;
    clientState.rank = clientState.chatPoints = 0;
    setOptions(0);
    clientState.focusedInput = 0;
    clientState.mainWindow = nullptr;
    AppFlags = 0;
    AvailableRooms.clear();
}

// Between tests no plug-in thread is left that could hold an old text.
const bool registered = registerReset([] {
    resetSharedState();
    releaseRetiredTexts();
    loadUiTexts();
});

}  // namespace

}  // namespace kavel
