#pragma once
// Window 2, the profile window: a tab panel with the login, the colours, the
// optional information, the remarks and the stored profiles.

namespace kavel::profwin {

inline constexpr int Window = 2;
inline constexpr const char* Title = "KAVEL > Profil";
inline constexpr int Width = 242;
inline constexpr int Height = 362;

inline constexpr int Panel = 15;

// Tab "Login".
inline constexpr int UserName = 16;
inline constexpr int Password = 17;
inline constexpr int Register = 18;
inline constexpr int WhyRegister = 19;
inline constexpr int Apply = 20;
inline constexpr int UserNameLabel = 21;
inline constexpr int PasswordLabel = 22;
inline constexpr int SecurityFrame = 23;

// Tab "Nachrichten".
inline constexpr int ContrastFirst = 24;
inline constexpr int ColourFirst = 25;
inline constexpr int IgnoreColours = 26;
inline constexpr int NameColourLabel = 27;
inline constexpr int TextColourLabel = 28;
inline constexpr int UrlColourLabel = 29;
inline constexpr int BackgroundLabel = 30;
inline constexpr int ColourFrame = 31;
inline constexpr int DisplayFrame = 32;
inline constexpr int NameColour = 33;
inline constexpr int TextColour = 34;
inline constexpr int UrlColour = 35;
inline constexpr int BackgroundColour = 36;

// Tab "Allgemeines": the five parts of infoFields, fields 37 to 41 with
// their labels 42 to 46.
inline constexpr int FirstInfoField = 37;
inline constexpr int FirstInfoLabel = 42;
inline constexpr int InfoCount = 5;
inline constexpr int InfoFrame = 47;

// Tab "Kommentare".
inline constexpr int OwnRemarks = 48;
inline constexpr int AdminRemarks = 49;
inline constexpr int OwnRemarksFrame = 50;
inline constexpr int AdminRemarksFrame = 51;

// Tab "Sichern".
inline constexpr int ProfileList = 52;
inline constexpr int SaveProfile = 53;
inline constexpr int Accept = 54;
inline constexpr int Cancel = 55;
inline constexpr int LoadLabel = 56;
inline constexpr int SaveFrame = 57;

// The numbered images of the four colour swatches.
inline constexpr int NameSwatch = 0;
inline constexpr int TextSwatch = 1;
inline constexpr int UrlSwatch = 2;
inline constexpr int BackgroundSwatch = 3;
inline constexpr int SwatchSize = 20;

}  // namespace kavel::profwin
