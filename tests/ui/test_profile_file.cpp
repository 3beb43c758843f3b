// The profile file: its exact bytes, round trips, the info fields with
// spaces, broken files that must never be half applied, and the file mode.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/data.h"
#include "ui/profile.h"

#include "support/file_io.h"
#include "support/work_folder.h"

using namespace kavel;

namespace {

using test::slurp;
using test::spit;

TEST(Base64, KnownVectorsAndStrictDecoding) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}};
    for (const auto& [plain, coded] : vectors) {
        EXPECT_EQ(base64Encode(plain), coded);
        EXPECT_EQ(base64Decode(coded), plain) << coded;
    }
    EXPECT_EQ(base64Encode(std::string("\xFF\xFE\0", 3)), "//4A");
    EXPECT_EQ(base64Decode("//4A"), std::string("\xFF\xFE\0", 3));
    EXPECT_EQ(base64Decode("Zm9v\r\n"), "foo");  // an editor's line end
    for (const char* bad : {"Zm9", "Zm9v!A==", "Z===", "Zg==Zm9v", "Zm=v", "Zm9v Zm9v"})
        EXPECT_FALSE(base64Decode(bad)) << bad;
}

TEST(ProfileCodec, TheFileHoldsSpaceEndedFieldsAndANul) {
    ProfileRecord p{"anna", "x", 0, 255, 16711680, 16777215, 288, ""};
    const auto plain = base64Decode(encodeProfile(p));
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, std::string("anna x 0 255 16711680 16777215 288  \0", 37));
}

TEST(ProfileCodec, InfoFieldsWithSpacesSurvive) {
    const std::string info =
        "Lesen\x0b"
        "a@b.de\x0b"
        "Bad Homburg\x0b\x0b"
        "http://x";
    ProfileRecord p{"anna", "pw", -1, 2, 3, 4, 0x8221, info};
    const auto back = decodeProfile(encodeProfile(p));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->infoFields, info);
    EXPECT_EQ(back->nameColour, -1);
    EXPECT_EQ(back->options, 0x8221);  // written as the signed 16-bit value
}

TEST(ProfileCodec, ShortAndOldFilesReadTheSame) {
    // Written before the info fields could hold spaces: no difference.
    auto old = decodeProfile(base64Encode(std::string("bob  1 2 3 4 5 hob\x0bmail \0", 26)));
    ASSERT_TRUE(old);
    EXPECT_EQ(old->password, "");
    EXPECT_EQ(old->urlColour, 3);
    EXPECT_EQ(old->infoFields, "hob\x0bmail");
    // Fewer than eight fields: the rest is empty or 0.
    auto shortOne = decodeProfile(base64Encode("carl pw 7"));
    ASSERT_TRUE(shortOne);
    EXPECT_EQ(shortOne->name, "carl");
    EXPECT_EQ(shortOne->textColour, 0);
    EXPECT_EQ(shortOne->infoFields, "");
}

class ProfileFiles : public ::testing::Test {
  protected:
    void SetUp() override { loadUiTexts(); }
    test::WorkFolder folder;
};

TEST_F(ProfileFiles, SaveAndLoadRoundTripWithMode0600) {
    setText(&ClientState::profileName, "anna");
    setText(&ClientState::nick, "[anna>brb]");
    setText(&ClientState::password, "geheim");
    setText(&ClientState::infoFields,
            "a b\x0b\x0b"
            "Bad Homburg\x0b\x0b");
    clientState.nameColour = 0x0000FF;
    clientState.backgroundColour = 0xFFFFFF;
    setOptions(0x0221);
    ASSERT_TRUE(saveProfile());
    struct stat info {};
    ASSERT_EQ(stat("profile/anna.prof", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Another profile in memory; everything checked below must come from
    // the file.
    for (TextField field :
         {&ClientState::profileName, &ClientState::password, &ClientState::infoFields})
        setText(field, "bert");
    clientState.nameColour = clientState.backgroundColour = 0x123456;
    setOptions(0);
    ASSERT_TRUE(loadProfile("anna.prof"));
    EXPECT_EQ(text(clientState.profileName), "anna");
    EXPECT_EQ(text(clientState.nick), "anna");  // an away name is dropped
    EXPECT_EQ(text(clientState.password), "geheim");
    EXPECT_EQ(text(clientState.infoFields),
              "a b\x0b\x0b"
              "Bad Homburg\x0b\x0b");
    EXPECT_EQ(static_cast<int32_t>(clientState.nameColour), 0x0000FF);
    EXPECT_EQ(static_cast<int32_t>(clientState.backgroundColour), 0xFFFFFF);
    EXPECT_EQ(options(), 0x0221);
}

TEST_F(ProfileFiles, SavingWithoutANameNeverTouchesTheFolder) {
    EXPECT_FALSE(saveProfile());
    EXPECT_FALSE(std::filesystem::exists("profile"));
    setText(&ClientState::profileName, "../evil");
    EXPECT_FALSE(saveProfile());
    EXPECT_FALSE(std::filesystem::exists("../evil.prof"));
}

TEST_F(ProfileFiles, BrokenFilesFailAndChangeNothing) {
    std::filesystem::create_directory("profile");
    spit("profile/bad.prof", "bm90IGJhc2U2NA=*");
    spit("profile/half.prof", base64Encode("eve pw 1 2 3 4 5 x ").substr(0, 10) + "!");
    setText(&ClientState::profileName, "anna");
    setText(&ClientState::password, "keep");
    clientState.textColour = 42;
    for (const char* name : {"bad.prof", "half.prof", "missing.prof", "../prefs.ini"}) {
        EXPECT_FALSE(loadProfile(name)) << name;
        EXPECT_EQ(text(clientState.profileName), "anna");
        EXPECT_EQ(text(clientState.password), "keep");
        EXPECT_EQ(static_cast<int32_t>(clientState.textColour), 42);
    }
}

TEST_F(ProfileFiles, ASecondSaveReplacesTheFileWhole) {
    setText(&ClientState::profileName, "anna");
    setText(&ClientState::infoFields, std::string(3000, 'h'));
    ASSERT_TRUE(saveProfile());
    setText(&ClientState::infoFields, "kurz");
    ASSERT_TRUE(saveProfile());
    const auto back = decodeProfile(slurp("profile/anna.prof"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->infoFields, "kurz");
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("profile"))
        ++files;
    EXPECT_EQ(files, 1);
}

}  // namespace
