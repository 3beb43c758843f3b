#include "objects/CLASS_Object.h"

#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/ports.h"
#include "common/reset.h"

namespace kavel {

namespace {

PendingClass g_pending;

constexpr char kCreationFailed[] = "Object creation failed!";

// The slot count sits in one hidden slot in front of the table, so the
// header keeps exactly the three fields other code lays out against.
static_assert(sizeof(std::size_t) <= sizeof(Method));

Method* newTable(const Method* entries, std::size_t count) {
    auto* block = static_cast<Method*>(std::malloc((count + 1) * sizeof(Method)));
    if (!block) fatalBox(kCreationFailed, "Not enough memory for the method table");
    std::memset(block, 0, sizeof(Method));
    std::memcpy(static_cast<void*>(block), &count, sizeof count);
    if (count) std::memcpy(static_cast<void*>(block + 1), entries, count * sizeof(Method));
    return block + 1;
}

void freeTable(Method* table) {
    if (table) std::free(table - 1);
}

char* newName(const char* name, std::size_t length) {
    auto* copy = static_cast<char*>(std::malloc(length + 1));
    if (!copy) fatalBox(kCreationFailed, "Not enough memory for the class name");
    if (length) std::memcpy(copy, name, length);
    copy[length] = '\0';
    return copy;
}

// The header must fit even if a class registers a smaller size.
std::size_t storageSize(int32_t size) {
    return size > static_cast<int32_t>(sizeof(Object)) ? static_cast<std::size_t>(size)
                                                       : sizeof(Object);
}

Object* newRecord(int32_t size) {
    auto* o = static_cast<Object*>(std::calloc(1, storageSize(size)));
    if (!o) fatalBox(kCreationFailed, "Not enough memory for the object");
    return o;
}

}  // namespace

PendingClass& pendingClass() {
    return g_pending;
}

void resetPendingClass() {
    g_pending.size = 0;
    g_pending.name.clear();
    g_pending.methods.clear();
    g_pending.nesting = 0;
}

namespace {
const bool registered = registerReset(&resetPendingClass);
}  // namespace

void registerClass(int32_t size, std::string_view name) {
    if (g_pending.size == 0) {
        g_pending.size = size;
        g_pending.name.assign(name);
        g_pending.methods.insert(g_pending.methods.end(),
                                 {asMethod(&getClassName), asMethod(&hashCode), asMethod(&equals),
                                  asMethod(&clone), asMethod(&toString), asMethod(&destroy)});
    }
    ++g_pending.nesting;
}

void addMethod(Method m) {
    g_pending.methods.push_back(m);
}

void overrideMethod(Method old, Method replacement) {
    for (Method& entry : g_pending.methods) {
        if (entry == old) {
            entry = replacement;
            return;
        }
    }
    g_pending.methods.push_back(replacement);
}

Object* createObject() {
    if (--g_pending.nesting != 0) return nullptr;

    // Checked before anything is allocated: the program ends here, and a
    // half-built object would only show up as a leak in that exit.
    for (Method m : g_pending.methods) {
        if (!m) {
            fatalBox(kCreationFailed,
                     "No valid object class, Pointer for this method is zero, and therefore "
                     "probably not implemented");
        }
    }

    Object* o = newRecord(g_pending.size);
    o->methods = newTable(g_pending.methods.data(), g_pending.methods.size());
    o->className = newName(g_pending.name.data(), g_pending.name.size());
    o->size = g_pending.size;

    g_pending.size = 0;
    g_pending.methods.clear();
    return o;
}

int32_t methodCount(const Object* o) {
    std::size_t count;
    std::memcpy(&count, static_cast<const void*>(o->methods - 1), sizeof count);
    return static_cast<int32_t>(count);
}

std::string getClassName(Object* o) {
    return o->className ? o->className : "";
}

int32_t hashCode(Object* o) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(o);
    std::size_t end = o->size > 0 ? static_cast<std::size_t>(o->size) : 0;
    const std::size_t first = offsetof(Object, size);
    if (end < first + sizeof o->size) end = first + sizeof o->size;
    uint32_t h = 0;
    for (std::size_t i = first; i < end; ++i)
        h = bytes[i] + (h << 6) + (h << 16) - h;
    return static_cast<int32_t>(h & 0x7FFFFFFFu);
}

int32_t equals(Object* o, Object* other) {
    return o == other ? 1 : 0;
}

Object* clone(Object* o) {
    Object* copy = newRecord(o->size);
    std::memcpy(static_cast<void*>(copy), o, storageSize(o->size));
    copy->methods = newTable(o->methods, static_cast<std::size_t>(methodCount(o)));
    const char* name = o->className ? o->className : "";
    copy->className = newName(name, std::strlen(name));
    return copy;
}

std::string toString(Object* o) {
    char address[2 * sizeof(uintptr_t) + 1];
    std::snprintf(address, sizeof address, "%" PRIXPTR, reinterpret_cast<uintptr_t>(o));
    return getClassName(o) + "@" + address;
}

void destroy(Object* o) {
    if (!o) return;
    freeTable(o->methods);
    std::free(o->className);
    std::free(o);
}

void fatalBox(const std::string& title, const std::string& text) {
    if (ports().messageBox) ports().messageBox(title, text);
    if (ports().endProgram) ports().endProgram();
    std::exit(0);
}

}  // namespace kavel
