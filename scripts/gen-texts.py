#!/usr/bin/env python3
"""Writes src/common/texts.cpp and src/common/texts.h from the table below.

The program keeps every text as Windows-1252 bytes; this script is where
they are edited in readable form. Run it after changing the table and
commit both outputs.
"""
import pathlib

CR = "\r"
TEXTS = [
    ("MenuActions", "Aktionen"), ("Connect", "Verbinden"), ("Disconnect", "Trennen"),
    ("MenuEnterRoom", "Chatraum betreten"), ("MenuRoomList", "Liste der verfügbaren Räume"),
    ("MenuLeaveRoom", "Chatraum verlassen"), ("MenuJoinedList", "Liste der betretenen Räume"),
    ("MenuOptions", "Optionen"), ("MenuProfile", "Profil"), ("MenuQuit", "Beenden"),
    ("MenuTools", "Tools"), ("MenuPluginManager", "Plugin Manager"), ("MenuHelpTitle", "Hilfe"),
    ("MenuHelp", "Hilfe"), ("MenuManual", "Anleitung"), ("MenuAbout", "Über"),
    ("OptSound", "Sound abspielen"), ("OptFlash", "blinken"), ("OptOnlyOwn", "nur eigene"),
    ("OptOnTop", "immer im Vordergrund halten"), ("OptSeparate", "Chatfenster separat anzeigen"),
    ("OptMarkUrls", "Links/URLs im Text markieren"),
    ("OptTextSmilies", "Smilies nicht grafisch darstellen"), ("OptNoPing", "kein automatischer Ping"),
    ("OptAccept", "Annehmen"), ("OptCancel", "Abbrechen"),
    ("OptFrameMessages", "Verhalten bei neuen Nachrichten"),
    ("OptFrameGeneral", "Generelle Einstellungen"), ("TabLogin", "Login"),
    ("Register", "neu registrieren"), ("WhyRegister", "warum registrieren?"),
    ("UserNameLabel", "Benutzername:"), ("PasswordLabel", "Passwort:"),
    ("SecurityFrame", "Sicherheitseinstellungen"), ("Apply", "übernehmen"),
    ("TabMessages", "Nachrichten"), ("ContrastFirst", "Kontrast vor Farbe"),
    ("ContrastFirstTip", "die Textfarbe wird verändert, wenn Text und Hintergrund keinen Kontrast zulassen"),
    ("ColourFirst", "Farbe vor Kontrast"),
    ("ColourFirstTip", "die Farbe wird beibehalten, auch wenn der Kontrast schlecht ist"),
    ("IgnoreColours", "Farbgebung ignorieren"),
    ("IgnoreColoursTip", "ignoriert die übertragende Farbgebung vollständig"),
    ("NameColourLabel", "Farbe des Benutzernamens"), ("TextColourLabel", "Farbe der Nachricht"),
    ("UrlColourLabel", "Markierungsfarbe von URLs"), ("BackgroundLabel", "Hintergrundfarbe des Chats"),
    ("ColourFrame", "Farbeinstellungen"), ("DisplayFrame", "Anzeigeoptionen"),
    ("TabGeneral", "Allgemeines"), ("HobbiesLabel", "Hobbies:"), ("EmailLabel", "E-Mail Adresse:"),
    ("LocationLabel", "Wohnort:"), ("IcqLabel", "ICQ-Nummer:"), ("HomepageLabel", "Homepage:"),
    ("OptionalFrame", "Optionale Informationen"), ("TabComments", "Kommentare"),
    ("OwnRemarksFrame", "Eigene Bemerkungen"), ("AdminRemarksFrame", "Bemerkungen der Administratoren"),
    ("TabSave", "Sichern"), ("SaveProfile", "Profil speichern"), ("ProfileAccept", "Annehmen"),
    ("ProfileCancel", "Abbrechen"), ("LoadProfile", "Profil laden"), ("SaveFrame", "Absichern"),
    ("CloseDialog", "Dialog schließen"), ("Available", "Verfügbar"), ("Active", "Aktiv"),
    ("SaveAndExit", "Save'n Exit"), ("MoveRight", ">"), ("MoveLeft", "<"),
    ("MoveAllRight", ">>"), ("MoveAllLeft", "<<"), ("AboutBack", "Zurück"),
    ("PasteNameLabel", "Name des Codes:"), ("PasteDurationLabel", "Dauer der Eintragung:"),
    ("PasteCodeFrame", "Code:"), ("PasteSubmit", "Eintragen!"), ("PasteCancel", "Abbrechen"),
    ("ClearList", "Liste löschen"), ("SaveLog", "Log speichern"), ("LogTxt", "Nach TXT streamen"),
    ("LogRtf", "Nach RTF streamen"), ("Absence", "Abwesenheit"), ("AwayShort", "nur kurz"),
    ("AwayFood", "zum Essen"), ("AwayPhone", "Telefon"), ("AwayOther", "anderer Grund"),
    ("AwayBack", "Zurück"), ("UploadCode", "Temporären Code Uploaden"),
    ("UserProfile", "Benutzerprofil"), ("WakeUser", "Benutzer aufwecken"),
    ("ShockUser", "Benutzer erschrecken"), ("OpenPrivate", "Privatchat eröffnen"),
    ("SoundUnsupported", "Sound wird vom verwendeten System nicht unterstützt"),
    ("NoTcpStack", "Fehler - kein TCP/IP Stack auf diesem System verfügbar"),
    ("StartOk", "Start erfolgreich"),
    ("ProfileRequest", "Bitte legen sie ein neues Profil an oder laden sie ein bestehendes"),
    ("PingTimeout", "Ping Timeout - versuche mich neu zu verbinden"),
    ("Disconnected", "Verbindung getrennt"), ("UserDropped", "[Benutzer $ vom Server getrennt]"),
    ("Registered", "Benutzer $ neu registriert - Willkommen im QUARN"),
    ("RegisterNeedsLogin", "Sie müssen zur Registrierung eingeloggt sein"), ("Question", "Frage"),
    ("ConnectQuestion", "Sie müssen zum Server verbunden sein, um ihr Profil zu aktualisieren." + CR
     + "Soll ich sie verbinden?"),
    ("PasswordTitle", "Passwort"), ("PasswordPrompt", "Bitte geben sie das Password für diesen Raum ein."),
    ("NeedUserName", "Bitte geben sie mindestens einen Nutzernamen an"),
    ("NeedPassword", "Sie müssen ein Passwort eingeben, um sich zu registrieren"),
    ("ProfileCreated", "Profil $ angelegt"), ("InfoTitle", "Info"),
    ("WhyRegisterText", CR.join([
        "Als registrierter User verfügt man über einige Features,",
        "die es sonst nicht gibt, wie zum Beispiel:", "",
        "1. frei einstellbare Profilinformationen", "2. Userstatistiken",
        "3. eigene Farbe des Benutzernamens", "4. exklusives Recht auf den gewählten Namen", "",
        "Melden Sie sich an, es lohnt sich wirklich :)."])),
    ("SoundNotReady", "Sound ist nicht bereit"),
    ("ProfileNoWrite", "Profil konnte nicht gespeichert werden; ungenügende Schreibrechte gesetzt"),
    ("ProfileNoName", "Profil konnte nicht gespeichert werden; kein gültiges Profil angegeben"),
    ("ProfileMissing", "Profil konnte nicht geladen werden; Datei existiert nicht"),
    ("ProfileUploaded", "Benutzerprofil $ erfolgreich upgedated"),
    ("ConnectOk", "Verbindung erfolgreich zu $ hergestellt"),
    ("ConnectFailed", "Verbindung fehlgeschlagen - keine Netzwerkverbindung möglich zu $"),
    ("ConnectNoStack", "Verbindung fehlgeschlagen - kein TCP/IP Protokoll installiert"),
    ("ShieldsDown", "Angriff scheint beendet zu sein - Schilde gesenkt"),
    ("Kicked", "Du wurdest vom Server geschmissen"), ("MessageTitle", "Nachricht"),
    ("LoginBadName", "Login fehlgeschlagen - Unzulässiger Benutzername angegeben"),
    ("LoginRefused", "Man will uns nicht hereinlassen, versuche es später nochmal"),
    ("WelcomeGuest", "Herzlich Willkommen $"),
    ("PleaseRegister", "Bitte registriere dich für erweiterte Funktionen"),
    ("LoginOk", "Login erfolgreich - Herzlich Willkommen $"),
    ("LoginBadPassword", "Login fehlgeschlagen - Das Passwort stimmt nicht"),
    ("LoginNameTaken", "Login fehlgeschlagen - Der Name wird bereits verwendet"),
    ("AdminOk", "Admin Switch durchgeführt"),
    ("AdminFailed", "Admin Switch fehlgeschlagen - User konnte nicht gefunden werden"),
    ("RoomOpened", "Raum eröffnet"),
    ("NoAdminRights", "Du bist nicht berechtigt, die Adminbefehle zu benutzen"),
    ("NameChangeFailed", "Namensänderung fehlgeschlagen - ungültig oder schon registriert"),
    ("NameChanged", "Name zu $ geändert"),
    ("RoomBadPassword", "Falsches Passwort für den Raum angegeben"),
    ("NameTooShort", "Username zu kurz, Sie müssen mindestens 3 Zeichen benutzen"),
    ("UserInfoTitle", "Benutzerinfo von : $"), ("InfoGeneral", "Allgemeine Userinformationen"),
    ("InfoRank", "Rang : "), ("InfoLastLogin", "Letzter Login : "), ("InfoPoints", "Chatpunkte : "),
    ("InfoOptional", "Optionale Informationen"), ("InfoHobbies", "Hobbies : "),
    ("InfoEmail", "E-Mailadresse : "), ("InfoLocation", "Standort : "),
    ("InfoIcq", "ICQ-Nummer : "), ("InfoHomepage", "Homepage : "),
    ("InfoOwnRemarks", "Eigene Bemerkungen"), ("InfoAdminRemarks", "Bemerkungen der Administratoren"),
    ("BanAdded", "BAN erfolgreich hinzugefügt"), ("BanRemoved", "BAN erfolgreich entfernt"),
    ("FloodQuestion", "Es sieht so aus, als würde gerade ein Floodangriff von $ stattfinden." + CR
     + "Sollen die Schilde hochgefahren werden?"),
    ("ShieldsUp", "Wir werden angegriffen - Schilde sind oben"),
    ("Shocked", "Du wurdest vom Benutzer $ erschreckt"),
    ("WokenUp", "Du wurdest vom Benutzer $ aufgeweckt"),
    ("RoomEntered", "Raum $ betreten"), ("RoomLeft", "Raum $ verlassen"),
    ("RoomLabelPassword", "[$ User, Passwort]"), ("RoomLabel", "[$ User]"),
    ("Minutes", "Minuten"), ("Hour", "Stunde"), ("Hours", "Stunden"),
    ("LogTxtFailed", "Fehler: Logdatei konnte nicht als Text gespeichert werden - ungenügende Schreibrechte"),
    ("LogRtfFailed", "Fehler: Logdatei konnte nicht als RichText gespeichert werden - ungenügende Schreibrechte"),
    ("ReasonBrb", "brb"), ("ReasonFood", "Essen"), ("ReasonPhone", "Telefon"),
    ("WhyTitle", "Warum?"), ("WhyPrompt", "Warum bist du weg?"),
    ("PrivateRoomTemplate", "Privatchat:$_$$"), ("ErrorTitle", "FEHLER"),
    ("DumpFailed", "Es ist ein schwerwiegender Fehler aufgetreten, die dump.txt konnte nicht erstellt werden."),
    ("ErrorSeeDump", "Offenbar ist ein Fehler aufgetreten, nähere Infos in der Dump.txt."),
    ("InformationTitle", "Information"),
    ("PluginNoSetup", "Das Plugin $ bietet nicht die Möglichkeit, es zu konfigurieren."),
    ("ContinueQuestion", "Es ist ein Fehler aufgetreten." + CR
     + "Informationen dazu finden sich in der dump.txt." + CR + "Soll das Programm fortgesetzt werden?"),
]

# Status lines and messages of this program's own, beyond the fixed table
# above (whose numbering plug-ins and translations rely on). Index: Own::Name.
OWN_TEXTS = [
    ("RoomWindowFailed", "Das Fenster für den Raum $ konnte nicht geöffnet werden"),
    ("HelpTitle", "KAVEL > Hilfe"),
    ("PluginNameRefused",
     "Plugin-Datei $ übersprungen: Zeilenumbrüche, \"=\", Kommas und Leerzeichen am Anfang sind im "
     "Namen nicht erlaubt"),
    ("OptFrameMore", "Weitere Einstellungen"),
    ("OptSpellCheck", "Rechtschreibung prüfen"),
    ("LookupTimedOut",
     "Verbindung fehlgeschlagen - der Name $ konnte nicht innerhalb von 10 Sekunden aufgelöst werden"),
    ("OptTimeStamps", "Zeitstempel vor jeder Zeile"),
    ("UnreadFrom", "Ungelesen ab Zeile $"),
    ("OptTls", "Verschlüsselt verbinden (TLS)"),
    ("TlsUnknownTitle", "Unbekanntes Zertifikat"),
    ("TlsUnknown", "Der Server $ weist sich mit einem Zertifikat aus, für das keine bekannte Stelle bürgt."),
    ("TlsFingerprint", "SHA-256-Fingerabdruck: $"),
    ("TlsUnknownQuestion", "Stimmt dieser Fingerabdruck mit dem des Servers überein? "
     + "Mit \"Ja\" wird das Zertifikat für diesen Server gemerkt."),
    ("TlsChangedTitle", "Warnung"),
    ("TlsChanged", "Das Zertifikat des Servers $ hat sich geändert! Jemand könnte die Verbindung "
     + "belauschen. Es wurde nichts gesendet."),
    ("TlsKnownFingerprint", "Gemerkter Fingerabdruck: $"),
    ("TlsShownFingerprint", "Jetzt gezeigter Fingerabdruck: $"),
    ("TlsChangedStatus", "Verbindung zu $ abgewiesen - das Zertifikat hat sich geändert"),
    ("TlsDeclinedStatus", "Verbindung zu $ abgebrochen - Zertifikat nicht angenommen"),
    ("TlsFailedStatus", "Verschlüsselte Verbindung zu $ fehlgeschlagen"),
    ("TlsTimedOut", "der Server hat nicht rechtzeitig geantwortet"),
    ("TlsClosed", "der Server hat die Verbindung beendet (spricht er kein TLS?)"),
    ("TlsProtocol", "Fehler im TLS-Protokoll: $"),
    ("TlsPinNotSaved", "Der Fingerabdruck konnte nicht in $ gespeichert werden"),
]

CREDITS = [
    "KAVEL Client Program", "Windows 1.2", "Qt-Ausgabe f\u00fcr Linux", "",
    "ein Klient", "f\u00fcr den QUARN", "den Nachfolger", "des Falvos", "", "",
    "Mein Dank geht an", "",
    "das KAVEL-Team", "", "die Qt-Entwickler", "", "die GCC-Entwickler", "",
    "die CMake-Entwickler", "", "den Sinusgenerator",
    "f\u00fcr den geilen Startsound", "",
    "die QUARN-Gemeinde", "", "die Debian-Gemeinde",
    "danke f\u00fcr die Hilfe :)", "",
    "geschrieben in C++20 mit Qt 6", "",
    "Plaudern ohne Grenzen", "",
    "KAVEL-Team, Dezember 2026",
]

assert len(TEXTS) == 177, len(TEXTS)
assert len(CREDITS) == 33, len(CREDITS)


def literal(s):
    out, prev_hex = [], False
    for b in s.encode("cp1252"):
        c = chr(b)
        if b == 13:
            out.append("\\r"); prev_hex = False
        elif b == 0x22 or b == 0x5C:
            out.append("\\" + c); prev_hex = False
        elif 32 <= b < 127:
            if prev_hex and c in "0123456789abcdefABCDEF":
                out.append('" "')
            out.append(c); prev_hex = False
        else:
            out.append("\\x%02X" % b); prev_hex = True
    return '"' + "".join(out) + '"'


root = pathlib.Path(__file__).resolve().parent.parent
h = ["// Generated by scripts/gen-texts.py; edit the table there.", "#pragma once", "",
     "namespace kavel {", "", "// Index of every entry of UiTexts.", "enum class Txt : int {"]
for i, (name, _) in enumerate(TEXTS):
    h.append(f"    {name} = {i},")
h += ["};", "", "// This program's own texts, after the table.", "enum class Own : int {"]
for i, (name, _) in enumerate(OWN_TEXTS):
    h.append(f"    {name} = {i},")
h += ["};", "", "inline constexpr int kUiTextCount = 177;",
      f"inline constexpr int kOwnTextCount = {len(OWN_TEXTS)};", "inline constexpr int kCreditLineCount = 33;",
      "", "}  // namespace kavel", ""]
(root / "src/common/texts.h").write_text("\n".join(h))

c = ["// Generated by scripts/gen-texts.py; edit the table there.",
     "// Windows-1252 bytes; each text ends with a NUL, the 33 credit lines follow",
     "// the 177 interface texts.", "#include \"common/textblock.h\"", "", "namespace kavel {", "",
     "// clang-format off", "const char kTextBlock[] ="]
for _, t in TEXTS:
    c.append(f"    {literal(t)} \"\\0\"")
for t in CREDITS:
    c.append(f"    {literal(t)} \"\\0\"")
c[-1] += ";"
c += ["", "const char* const kOwnTexts[] = {"]
for _, t in OWN_TEXTS:
    c.append(f"    {literal(t)},")
c += ["};", "// clang-format on", "", "const unsigned kTextBlockSize = sizeof(kTextBlock);", "",
      "}  // namespace kavel", ""]
(root / "src/common/texts.cpp").write_text("\n".join(c))
