#pragma once
// Another program's connection to a records file (a second bench, sqlite3 at a prompt, a
// backup): it may hold the write lock for as long as a test needs, and change rows behind
// the tool's back.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace tq9::test {

class OtherConnection {
  public:
    explicit OtherConnection(const std::string& path) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK) << path;
    }
    ~OtherConnection() { sqlite3_close(db_); }
    OtherConnection(const OtherConnection&) = delete;
    OtherConnection& operator=(const OtherConnection&) = delete;

    // "BEGIN IMMEDIATE" or "BEGIN EXCLUSIVE": holds the write lock until Release.
    void Hold(const char* begin = "BEGIN EXCLUSIVE") { Exec(begin); }
    void Release() { Exec("COMMIT"); }
    // Runs `sql`, which is to end with `expected` (a constraint it breaks, say).
    void Exec(const std::string& sql, int expected = SQLITE_OK) {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), expected)
            << sql << ": " << (error ? error : "");
        sqlite3_free(error);
    }
    std::string Text(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        std::string text;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0)) {
            text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        }
        sqlite3_finalize(stmt);
        return text;
    }

  private:
    sqlite3* db_ = nullptr;
};

}  // namespace tq9::test
