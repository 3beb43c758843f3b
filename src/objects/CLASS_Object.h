// The class system rooms and plug-in agents are built on.
//
// A class is described anew by every constructor run: registerClass() with the
// record size and name, addMethods() with its own slots, overrideMethod() for
// the root slots it replaces, then createObject(). The
// object gets its own copy of the method table, and methods are called by slot
// number with the object first.
//
// There is one global pending description, so constructors must run on the
// main thread and never interleave.
//
// A class record starts with the Object header and is zero-filled on
// creation. C++ members that need construction are built in place and torn
// down by the class's own destroy, which then hands over to the root destroy:
//
//   struct ChatRoom {
//       Object header;                 // must be first
//       std::string name;              // lives in the zero-filled storage
//       int32_t menuId;
//   };
//
//   void roomDestroy(Object* o) {
//       auto* room = reinterpret_cast<ChatRoom*>(o);
//       // ... leave the room ...
//       room->name.~basic_string();
//       kavel::destroy(o);             // root: frees table, name and record
//   }
//
//   ChatRoom* newChatRoom() {
//       registerClass(sizeof(ChatRoom), "ChatRoom");
//       addMethods<room_slot::Count>(inSlot<room_slot::AddUser>(&roomAddUser),
//                                    inSlot<room_slot::ClearUsers>(&roomClearUsers),
//                                    /* ... a row for every slot to Count */);
//       overrideMethod(asMethod(&kavel::destroy), asMethod(&roomDestroy));
//       auto* room = reinterpret_cast<ChatRoom*>(createObject());
//       if (!room) return nullptr;           // an enclosing constructor builds it
//       new (&room->name) std::string();     // placement new into the record
//       return room;
//   }
//
//   callSlot<void>(&room->header, slot::Destroy);   // always through the table
//
// Standard library only: the plug-in host shares this header.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

// An entry point. Stored type-erased; callSlot() casts it back to the real
// signature R(*)(Object*, A...), which must be the one it was registered with.
using Method = void (*)();

struct Object {
    Method* methods;  // this object's own table (see methodCount)
    char* className;  // owned copy of the registered name
    int32_t size;     // record size given at registration
};

struct PendingClass {
    int32_t size = 0;  // 0: nothing is being assembled
    std::string name;
    std::vector<Method> methods;
    int32_t nesting = 0;
};

PendingClass& pendingClass();
void resetPendingClass();

// The first registration of a nest decides size and name and brings in the
// six root slots; inner ones (a parent constructor) only count nesting.
void registerClass(int32_t size, std::string_view name);
void addMethod(Method m);
// Replaces the first slot holding old; appends replacement if none does.
void overrideMethod(Method old, Method replacement);
// Null while an enclosing constructor is still assembling (nesting not back
// to 0), including after an unmatched createObject drove nesting negative.
// A null entry in the pending table shows the failure box and ends the program.
Object* createObject();

int32_t methodCount(const Object* o);

// The root class's implementations of slots 0..5. Calling them directly
// bypasses any override; use callSlot() to dispatch.
std::string getClassName(Object* o);
// sdbm over the size field and all class fields; never negative.
int32_t hashCode(Object* o);
int32_t equals(Object* o, Object* other);
// Copies the record byte for byte but gives the copy its own method table
// (taken from the original's current table) and its own name, so either can
// be destroyed alone. A byte copy duplicates whatever the fields point to:
// only clone classes whose fields are plain data.
Object* clone(Object* o);
std::string toString(Object* o);
void destroy(Object* o);

namespace slot {
enum : int { GetClassName = 0, HashCode, Equals, Clone, ToString, Destroy };
}

template <typename F>
Method asMethod(F f) {
    return reinterpret_cast<Method>(f);
}

// The root slots come first; a class's own slots follow from here on.
inline constexpr int kRootSlotCount = slot::Destroy + 1;

// A method meant for one slot. Only a function taking the object first can
// fill a slot.
template <int Slot>
struct SlotMethod {
    Method method;
};
template <int Slot, typename R, typename... A>
SlotMethod<Slot> inSlot(R (*f)(Object*, A...)) {
    return {asMethod(f)};
}

namespace detail {
template <int First, int... Rest>
constexpr bool consecutiveSlots() {
    int next = First;
    return ((Rest == ++next) && ...);
}
}  // namespace detail

// Adds a class's own slots in one go, each row naming the slot it is meant
// for. The compiler holds the rows to the slot enum: consecutive, in order,
// none missing before End (the enum's count). The first row must be the
// pending class's next free slot (checked in debug builds).
template <int End, int First, int... Rest>
void addMethods(SlotMethod<First> first, SlotMethod<Rest>... rest) {
    static_assert(detail::consecutiveSlots<First, Rest...>(),
                  "the rows must name consecutive slots, in the order of the slot enum");
    static_assert(First + static_cast<int>(sizeof...(Rest)) + 1 == End,
                  "every slot up to the enum's count needs its row");
    assert(pendingClass().methods.size() == static_cast<std::size_t>(First));
    addMethod(first.method);
    (addMethod(rest.method), ...);
}

template <typename R, typename... A>
R callSlot(Object* o, int slot, A... args) {
    assert(slot >= 0 && slot < methodCount(o));
    return reinterpret_cast<R (*)(Object*, A...)>(o->methods[slot])(o, args...);
}

// Shows the message in a box and ends the program the way it always ends:
// windows closed, plug-ins freed, exit code 0 (ports().endProgram).
[[noreturn]] void fatalBox(const std::string& title, const std::string& text);

}  // namespace kavel
