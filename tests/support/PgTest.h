#pragma once
// A test with a database of its own on the program's PostgreSQL server.

#include <gtest/gtest.h>

#include "support/PgServer.h"

namespace tq9::test {

// A test with a database of its own on the program's server.
class PgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string whyNot;
        server = PgServer::Shared(whyNot);
        ASSERT_NE(server, nullptr) << whyNot;
        database = server->NewDatabase();
    }
    std::string Value(const std::string& sql) const { return server->Value(database, sql); }
    // As the line's admin registers a bench: `role` (in tq9_bench) sends for `bench`.
    void Register(const std::string& role, const std::string& bench) const {
        std::string whyNot;
        ASSERT_TRUE(server->Sql(
            database, "SELECT tq9.register_bench('" + role + "', '" + bench + "')", whyNot))
            << whyNot;
    }
    PgServer* server = nullptr;
    std::string database;
};

}  // namespace tq9::test
