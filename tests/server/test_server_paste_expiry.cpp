// An expired paste's content leaves the database when it expires: by the
// server loop's own timer, and at once when someone asks for it. Both on a
// clock the test moves, so no test waits for a paste to expire.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <thread>

#include "http.h"
#include "server.h"
#include "server/server_clients.h"
#include "store.h"
#include "support/quarnd_process.h"

using quarnd_test::httpRequest;
using quarnd_test::locationOf;
using quarnd_test::pasteForm;
using quarnd_test::pasteIdOf;
using quarnd_test::QuarndProcess;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr std::time_t kStart = 1'700'000'000;
const std::string kDeleted = "Sein Inhalt ist gel&ouml;scht";

// Rows of `table` for that id, read as another process would.
int rows(const std::string& dbPath, const char* table, const std::string& id) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    sqlite3_stmt* st = nullptr;
    const std::string sql = std::string("SELECT count(*) FROM ") + table + " WHERE id=?";
    int n = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, id.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int(st, 0);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

// The paste service alone, on a database file and a clock of the test's.
class PasteServiceOnFile : public ::testing::Test {
  protected:
    PasteServiceOnFile() : scratch_(), path_(scratch_.dataDir() + "/alone.db"), store_(path_, 1) {
        quarnd::PasteConfig config;
        config.clock = [this] { return now_; };
        config.pastesPerMinute = 0;
        service_ = std::make_unique<quarnd::PasteService>(store_, config);
    }

    std::string post(int seconds) {
        quarnd::HttpRequest r;
        r.method = "POST";
        r.target = "/main.php";
        r.body = pasteForm("t", "geheim", seconds);
        const auto reply = service_->handle(r);
        for (const auto& [name, value] : reply.headers) {
            if (name == "Location") return pasteIdOf(value);
        }
        ADD_FAILURE() << "no link: " << reply.status;
        return {};
    }
    quarnd::HttpResponse get(const std::string& id) {
        quarnd::HttpRequest r;
        r.method = "GET";
        r.target = "/main.php?code=" + id;
        return service_->handle(r);
    }

    QuarndProcess scratch_;  // only for its temporary folder
    std::string path_;
    quarnd::Store store_;
    std::time_t now_ = kStart;
    std::unique_ptr<quarnd::PasteService> service_;
};

TEST_F(PasteServiceOnFile, AskingForAnExpiredPasteDeletesItAtOnce) {
    const std::string gone = post(120);
    now_ += 100;
    const std::string kept = post(600);  // a later paste, as the old purge had it
    now_ += 21;
    ASSERT_EQ(rows(path_, "pastes", gone), 1);

    const auto first = get(gone);
    EXPECT_EQ(first.status, 410);
    EXPECT_THAT(first.body, HasSubstr(kDeleted));
    EXPECT_EQ(rows(path_, "pastes", gone), 0);
    EXPECT_EQ(rows(path_, "expired_pastes", gone), 1);  // its link still says "expired"
    EXPECT_EQ(rows(path_, "pastes", kept), 1);
    EXPECT_EQ(get(gone).status, 410);
    EXPECT_EQ(get(kept).status, 200);
}

TEST_F(PasteServiceOnFile, ThePageSaysDeletedOnlyWhenItIs) {
    const std::string id = post(120);
    now_ += 121;
    // Another writer holds the database: the content cannot go yet.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto locked = get(id);
    EXPECT_EQ(locked.status, 410);
    EXPECT_THAT(locked.body, Not(HasSubstr(kDeleted)));
    EXPECT_THAT(locked.body, HasSubstr("abgelaufen"));
    EXPECT_EQ(rows(path_, "pastes", id), 1);
    sqlite3_exec(other, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    EXPECT_THAT(get(id).body, HasSubstr(kDeleted));
    EXPECT_EQ(rows(path_, "pastes", id), 0);
}

TEST(server_paste_expiry, TheLoopDeletesExpiredPastesByItself) {
    QuarndProcess scratch;  // only for its temporary folder
    std::atomic<std::time_t> now{kStart};
    quarnd::ServerConfig config;
    config.chatPort = 0;
    config.pastePort = 0;
    config.dataDir = scratch.dataDir() + "/inproc";
    config.logToStderr = false;
    config.clock = [&] { return now.load(); };
    quarnd::Server server(config);
    std::thread loop([&] { server.run(); });

    auto post = [&](int seconds) {
        const std::string body = pasteForm("t", "geheim", seconds);
        return pasteIdOf(locationOf(
            httpRequest(server.pastePort(), "POST /main.php HTTP/1.1\r\nContent-Length: " +
                                                std::to_string(body.size()) + "\r\n\r\n" + body)));
    };
    const std::string db = scratch.dataDir() + "/inproc/quarn.db";
    const std::string gone = post(120);
    const std::string kept = post(600);
    ASSERT_FALSE(gone.empty());
    ASSERT_EQ(rows(db, "pastes", gone), 1);

    // Nobody asks for it; the loop wakes by itself and finds it due.
    now += 121;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (rows(db, "pastes", gone) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(rows(db, "pastes", gone), 0);
    EXPECT_EQ(rows(db, "expired_pastes", gone), 1);
    EXPECT_EQ(rows(db, "pastes", kept), 1);
    const std::string page =
        httpRequest(server.pastePort(), "GET /main.php?code=" + gone + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(page.rfind("HTTP/1.1 410", 0), 0u) << page;
    EXPECT_THAT(page, HasSubstr(kDeleted));

    server.requestStop();
    loop.join();
}

}  // namespace
