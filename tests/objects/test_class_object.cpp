#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "desktop/gadgets.h"
#include "objects/CLASS_Object.h"
#include "support/services.h"

namespace kavel {
namespace {

// A window number no part of the program uses.
constexpr int kOpenWindow = 990;

struct Rec {
    Object header;
    int32_t a;
    int32_t b;
};

int32_t one(Object*) {
    return 1;
}
int32_t two(Object*) {
    return 2;
}
int32_t three(Object*) {
    return 3;
}
int32_t four(Object*) {
    return 4;
}

const std::vector<Method> kRoot = {asMethod(&getClassName), asMethod(&hashCode),
                                   asMethod(&equals),       asMethod(&clone),
                                   asMethod(&toString),     asMethod(&destroy)};

std::vector<Method> tableOf(const Object* o) {
    return std::vector<Method>(o->methods, o->methods + methodCount(o));
}

std::vector<Method> rootThen(std::vector<Method> own) {
    std::vector<Method> all = kRoot;
    all.insert(all.end(), own.begin(), own.end());
    return all;
}

class ClassObjectTest : public ::testing::Test {
  protected:
    void SetUp() override { resetPendingClass(); }
    void TearDown() override {
        for (Object* o : made_)
            destroy(o);
        resetPendingClass();
    }
    Object* keep(Object* o) {
        if (o) made_.push_back(o);
        return o;
    }
    Object* makeRec(std::vector<Method> own = {}) {
        registerClass(sizeof(Rec), "Rec");
        for (Method m : own)
            addMethod(m);
        return keep(createObject());
    }

  private:
    std::vector<Object*> made_;
};

// A subclass constructor: registers itself, runs the parent's constructor
// (whose createObject must hand back null), then adds its own slot.
Object* newParent() {
    registerClass(8, "Parent");
    addMethod(asMethod(&two));
    return createObject();
}

TEST_F(ClassObjectTest, NestedRegistrationBuildsOneObjectOfTheOuterClass) {
    registerClass(sizeof(Rec), "Child");
    addMethod(asMethod(&one));
    EXPECT_EQ(newParent(), nullptr);
    addMethod(asMethod(&three));
    Object* o = keep(createObject());
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->size, int32_t(sizeof(Rec)));
    EXPECT_EQ(getClassName(o), "Child");
    EXPECT_EQ(tableOf(o), rootThen({asMethod(&one), asMethod(&two), asMethod(&three)}));
}

TEST_F(ClassObjectTest, OverrideReplacesInPlaceOrAppends) {
    struct Case {
        const char* name;
        void (*build)();
        std::vector<Method> expected;
    };
    const std::vector<Case> cases = {
        {"root destroy keeps slot 5",
         [] {
             addMethod(asMethod(&one));
             overrideMethod(asMethod(&destroy), asMethod(&four));
         },
         {kRoot[0], kRoot[1], kRoot[2], kRoot[3], kRoot[4], asMethod(&four), asMethod(&one)}},
        {"missing entry appends",
         [] {
             addMethod(asMethod(&one));
             overrideMethod(asMethod(&three), asMethod(&four));
         },
         rootThen({asMethod(&one), asMethod(&four)})},
        {"later additions still append",
         [] {
             addMethod(asMethod(&one));
             overrideMethod(asMethod(&one), asMethod(&two));
             addMethod(asMethod(&three));
         },
         rootThen({asMethod(&two), asMethod(&three)})},
        {"only the first match is replaced",
         [] {
             addMethod(asMethod(&one));
             addMethod(asMethod(&one));
             overrideMethod(asMethod(&one), asMethod(&two));
         },
         rootThen({asMethod(&two), asMethod(&one)})},
    };
    for (const auto& c : cases) {
        registerClass(sizeof(Rec), "Rec");
        c.build();
        Object* o = keep(createObject());
        ASSERT_NE(o, nullptr) << c.name;
        EXPECT_EQ(tableOf(o), c.expected) << c.name;
    }
}

TEST_F(ClassObjectTest, CreationResetsThePendingClass) {
    makeRec({asMethod(&one), asMethod(&two), asMethod(&three)});
    EXPECT_EQ(pendingClass().size, 0);
    EXPECT_TRUE(pendingClass().methods.empty());
    EXPECT_EQ(pendingClass().nesting, 0);

    registerClass(sizeof(Object), "Bare");
    Object* bare = keep(createObject());
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(methodCount(bare), 6);
    EXPECT_EQ(tableOf(bare), kRoot);
    EXPECT_EQ(getClassName(bare), "Bare");
}

TEST_F(ClassObjectTest, NegativeNestingBlocksCreationUntilBalanced) {
    EXPECT_EQ(createObject(), nullptr);
    EXPECT_EQ(pendingClass().nesting, -1);

    registerClass(sizeof(Rec), "First");
    addMethod(asMethod(&one));
    EXPECT_EQ(createObject(), nullptr) << "nesting went 0 -> -1";

    // The description was never reset, so it keeps the first name and grows.
    registerClass(8, "Second");
    registerClass(8, "Third");
    addMethod(asMethod(&two));
    Object* o = keep(createObject());
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(getClassName(o), "First");
    EXPECT_EQ(o->size, int32_t(sizeof(Rec)));
    EXPECT_EQ(tableOf(o), rootThen({asMethod(&one), asMethod(&two)}));
}

TEST_F(ClassObjectTest, NullSlotShowsFailureBoxAndEndsTheProgramInOrder) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* expected =
        "BOX<Object creation failed!><No valid object class, Pointer for this method is zero, "
        "and therefore probably not implemented>\nENDED\n";
    for (const bool nullOverride : {false, true}) {
        EXPECT_EXIT(
            {
                kavel::test::setService(
                    &kavel::platform::Services::dialogs, [](const platform::DialogRequest& r) {
                        std::fprintf(stderr, "BOX<%s><%s>\n", r.title.c_str(), r.text.c_str());
                        return platform::DialogAnswer{};
                    });
                // What is left when the process ends: the program's own end
                // closes its windows first.
                platform::openWindow(kOpenWindow, 0, 0, 100, 100, "offen", 0);
                std::atexit([] {
                    std::fprintf(stderr, "ENDED%s\n",
                                 platform::windowExists(kOpenWindow) ? " with a window" : "");
                });
                registerClass(sizeof(Rec), "Broken");
                if (nullOverride) {
                    overrideMethod(asMethod(&hashCode), nullptr);
                } else {
                    addMethod(asMethod(&one));
                    addMethod(nullptr);
                }
                createObject();
                std::fprintf(stderr, "returned\n");
            },
            ::testing::ExitedWithCode(0), expected);
    }
}

TEST_F(ClassObjectTest, CallsGoThroughTheObjectsOwnTable) {
    Object* x = makeRec({asMethod(&one)});
    Object* y = makeRec({asMethod(&one)});
    ASSERT_NE(x->methods, y->methods);

    x->methods[6] = asMethod(&two);
    EXPECT_EQ(callSlot<int32_t>(x, 6), 2);
    EXPECT_EQ(callSlot<int32_t>(y, 6), 1);
    EXPECT_EQ(callSlot<std::string>(y, slot::GetClassName), "Rec");
    EXPECT_EQ(callSlot<int32_t>(y, slot::Equals, y), 1);
    EXPECT_EQ(callSlot<int32_t>(y, slot::Equals, x), 0);
}

// The pattern rooms and agents follow: a C++ member built in the zero-filled
// record, torn down by the class's own destroy before the root destroy runs.
// Under the sanitizer build a missed step shows as a leak or a bad free.
struct Room {
    Object header;
    std::string name;
    std::vector<int> users;
};

int g_roomsDestroyed = 0;

void roomDestroy(Object* o) {
    auto* room = reinterpret_cast<Room*>(o);
    room->name.~basic_string();
    room->users.~vector();
    ++g_roomsDestroyed;
    destroy(o);
}

TEST_F(ClassObjectTest, OverriddenDestroyRunsThroughSlot5) {
    registerClass(sizeof(Room), "ChatRoom");
    overrideMethod(asMethod(&destroy), asMethod(&roomDestroy));
    auto* room = reinterpret_cast<Room*>(createObject());
    ASSERT_NE(room, nullptr);
    new (&room->name) std::string(100, 'x');
    new (&room->users) std::vector<int>(50, 7);

    g_roomsDestroyed = 0;
    callSlot<void>(&room->header, slot::Destroy);
    EXPECT_EQ(g_roomsDestroyed, 1);
}

TEST_F(ClassObjectTest, HashCoversSizeAndFieldsOnly) {
    auto* x = reinterpret_cast<Rec*>(makeRec());
    auto* y = reinterpret_cast<Rec*>(makeRec({asMethod(&one)}));
    x->a = y->a = 1;
    x->b = y->b = 2;
    // sdbm over size 32, four zero padding bytes, 1 and 2 as little-endian
    // 32-bit values; the raw hash 0xB4ADCB1D has its top bit set.
    EXPECT_EQ(hashCode(&x->header), 883804957);
    EXPECT_EQ(hashCode(&y->header), hashCode(&x->header)) << "table and name must not count";

    y->b = 3;
    EXPECT_NE(hashCode(&y->header), hashCode(&x->header));
    for (int32_t v : {0, 2, 0x7FFFFFFF, -1, 123456789}) {
        y->a = v;
        EXPECT_GE(callSlot<int32_t>(&y->header, slot::HashCode), 0) << "a = " << v;
    }
}

TEST_F(ClassObjectTest, ToStringIsNameAtUpperCaseAddress) {
    Object* o = makeRec();
    const std::string s = toString(o);
    ASSERT_EQ(s.rfind("Rec@", 0), 0u) << s;
    const std::string hex = s.substr(4);
    ASSERT_FALSE(hex.empty());
    EXPECT_NE(hex[0], '0') << s;
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << s;
    EXPECT_EQ(std::strtoull(hex.c_str(), nullptr, 16), reinterpret_cast<uintptr_t>(o)) << s;
}

TEST_F(ClassObjectTest, CloneOwnsItsTableAndName) {
    registerClass(sizeof(Rec), "Rec");
    addMethod(asMethod(&one));
    auto* original = reinterpret_cast<Rec*>(createObject());
    ASSERT_NE(original, nullptr);
    original->a = 42;
    original->header.methods[6] = asMethod(&two);

    Object* copy = keep(callSlot<Object*>(&original->header, slot::Clone));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(reinterpret_cast<Rec*>(copy)->a, 42);
    EXPECT_EQ(hashCode(copy), hashCode(&original->header));
    EXPECT_EQ(equals(copy, &original->header), 0);
    EXPECT_NE(copy->methods, original->header.methods);
    EXPECT_NE(copy->className, original->header.className);
    EXPECT_EQ(callSlot<int32_t>(copy, 6), 2) << "copies the current table";

    // Freeing the original must leave the copy whole.
    destroy(&original->header);
    EXPECT_EQ(getClassName(copy), "Rec");
    EXPECT_EQ(methodCount(copy), 7);
}

}  // namespace
}  // namespace kavel
