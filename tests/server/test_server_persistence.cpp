// What survives a restart: users with their profile and points, bans, pastes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>

#include "server/server_clients.h"
#include "store.h"
#include "support/quarnd_process.h"

using quarnd_test::QuarndProcess;
using quarnd_test::RawQuarnClient;
using ::testing::ElementsAre;

namespace {

std::string login(RawQuarnClient& c, const std::string& name, const std::string& pw) {
    return quarnd_test::firstOf(c.command("LOGIN " + name + " " + pw + " [CLIENT:KAVEL@Windows]"));
}

TEST(server_persistence, RegisteredUserProfileAndBanSurviveRestart) {
    QuarndProcess server;
    std::ofstream(server.dataDir() + "/admins.txt") << "boss\n";
    {
        RawQuarnClient u(server.chatPort());
        EXPECT_EQ(login(u, "M\xfcller", ""), "[2]- Gast");
        u.sendRaw(
            "SAVE USER_PASSWORT pw\xe4\rSAVE USER_COLOR ABCDEF\rSAVE USER_INFO1 a\x0b"
            "b\r"
            "SAVE USER_INFO2 \xdf\xfc\r");
        u.command("JOIN Lobby");
        u.command("CHAT Lobby eins");
        auto boss = quarnd_test::registeredLogin(server.chatPort(), "boss");
        EXPECT_THAT(boss->command("BAN spammer"), ElementsAre("BAN_ADDED"));
    }
    server.restart();

    RawQuarnClient u(server.chatPort());
    EXPECT_EQ(login(u, "M\xfcller", "pw\xe4"), "[3]- Login erfolgreich");
    auto info = u.command("INFO M\xfcller");
    ASSERT_EQ(info.size(), 9u);
    EXPECT_EQ(info[1], "USER_RANK 1");
    EXPECT_EQ(info[3], "USER_SCORE 1");
    EXPECT_EQ(info[4], "USER_COLOR ABCDEF");
    EXPECT_EQ(info[5],
              "USER_DATA1 a\x0b"
              "b");
    EXPECT_EQ(info[6], "USER_DATA2 \xdf\xfc");
    EXPECT_NE(info[2], "USER_LOGIN -");

    RawQuarnClient s(server.chatPort());
    EXPECT_EQ(login(s, "spammer", ""), "[1]- Server voll");

    // A password change replaces the old one.
    u.send("SAVE USER_PASSWORT neu");
    u.command("ROOMLIST");  // round trip: the save is done
    u.close();
    server.restart();
    RawQuarnClient old(server.chatPort());
    EXPECT_EQ(login(old, "M\xfcller", "pw\xe4"), "[4]- Passwort falsch");
    RawQuarnClient fresh(server.chatPort());
    EXPECT_EQ(login(fresh, "M\xfcller", "neu"), "[3]- Login erfolgreich");
}

TEST(server_persistence, PasswordIsStoredAsSaltedYescryptHash) {
    QuarndProcess server;
    for (const char* name : {"eins", "zwei"}) {
        RawQuarnClient c(server.chatPort());
        login(c, name, "");
        c.send("SAVE USER_PASSWORT gleich");
        c.command("INFO eins");  // round trip: the save is done
    }
    server.stop();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((server.dataDir() + "/quarn.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT pwhash FROM users ORDER BY login", -1, &st, nullptr);
    std::vector<std::string> hashes;
    while (sqlite3_step(st) == SQLITE_ROW) {
        hashes.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    ASSERT_EQ(hashes.size(), 2u);
    for (const auto& h : hashes) {
        EXPECT_EQ(h.rfind("$y$", 0), 0u) << h;
        EXPECT_EQ(h.find("gleich"), std::string::npos);
    }
    EXPECT_NE(hashes[0], hashes[1]);  // salted
}

TEST(server_persistence, StoreKeepsBytesExactly) {
    quarnd::Store store(":memory:", 1);
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    store.setPassword("user", "pw");
    store.setData("user", 2, all);
    EXPECT_EQ(store.findUser("user")->data2, all);
    EXPECT_EQ(store.checkPassword("user", "pw"), quarnd::PasswordCheck::Right);
    EXPECT_EQ(store.checkPassword("user", "pW"), quarnd::PasswordCheck::Wrong);
    EXPECT_EQ(store.checkPassword("nobody", "pw"), quarnd::PasswordCheck::Unregistered);

    quarnd::Paste p{"id1", "t", std::string("a\0b\r\n", 5), 100, 200};
    store.addPaste(p);
    EXPECT_EQ(store.findPaste("id1", 199)->code, p.code);
    EXPECT_FALSE(store.findPaste("id1", 200));
    store.purgeExpiredPastes(300);
    EXPECT_FALSE(store.findPaste("id1", 0));
}

TEST(server_persistence, OlderDatabaseGetsCaseInsensitiveNames) {
    char dir[] = "/tmp/quarnd-olddb-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/quarn.db";
    {
        // As written before names were folded: no login_key, bans as typed,
        // and a later registration that differs only in case.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        const std::string alice = quarnd::hashPassword("alt", 1);
        const std::string impostor = quarnd::hashPassword("fremd", 1);
        const std::string sql =
            "CREATE TABLE users (login BLOB PRIMARY KEY, pwhash TEXT NOT NULL, colour TEXT NOT "
            "NULL DEFAULT '000000', data1 BLOB NOT NULL DEFAULT x'', data2 BLOB NOT NULL DEFAULT "
            "x'', data3 BLOB NOT NULL DEFAULT x'', score INTEGER NOT NULL DEFAULT 0, last_login "
            "INTEGER NOT NULL DEFAULT 0, created INTEGER NOT NULL DEFAULT 0);"
            "CREATE TABLE bans (login BLOB PRIMARY KEY, created INTEGER NOT NULL);"
            "INSERT INTO users(login, pwhash, created) VALUES(CAST('Alice' AS BLOB), '" +
            alice + "', 1), (CAST('ALICE' AS BLOB), '" + impostor +
            "', 2), (CAST('J\xfcrgen' AS BLOB), '" + alice +
            "', 3);"
            "INSERT INTO bans VALUES(CAST('Spammer' AS BLOB), 1);";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    for (int open = 0; open < 2; ++open) {  // and again once migrated
        quarnd::Store store(path, 1);
        EXPECT_EQ(store.checkPassword("alice", "alt"), quarnd::PasswordCheck::Right);
        EXPECT_EQ(store.checkPassword("ALICE", "fremd"), quarnd::PasswordCheck::Wrong);
        EXPECT_EQ(store.findUser("ALICE")->login, "Alice");
        EXPECT_EQ(store.checkPassword("J\xdcRGEN", "alt"), quarnd::PasswordCheck::Right);
        EXPECT_TRUE(store.isBanned("SPAMMER"));
        ASSERT_EQ(store.startupNotes().size(), 1u);
        EXPECT_THAT(store.startupNotes()[0], ::testing::HasSubstr("'ALICE' differs from 'Alice'"));
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
