// The records' settings files: the machine's, then the user's over it, key by key; what
// cannot be taken is said with its file and line; no password in them.

#include "line/LineSettings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/TempDir.h"

namespace tq9 {
namespace {

TEST(LineSettingsTest, TheUsersFileOverridesTheMachinesKeyByKey) {
    test::TempDir dir;
    const std::string machine = dir.File("machine.conf").string();
    const std::string user = dir.File("user.conf").string();
    const std::string missing = dir.File("missing.conf").string();

    LineSettings none = ReadLineSettings({machine, user}, "pc-7");
    EXPECT_EQ(none.server, "") << "no files: no line server";
    EXPECT_EQ(none.bench, "pc-7") << "the host name";

    std::ofstream(machine) << "# the line's server\nserver = service=tq9line\nbench = line-1\n";
    std::ofstream(user) << "\n  bench =  line-3  \r\n";
    const LineSettings both = ReadLineSettings({machine, missing, user}, "pc-7");
    EXPECT_EQ(both.server, "service=tq9line");
    EXPECT_EQ(both.bench, "line-3");
    EXPECT_TRUE(both.problems.empty());

    std::ofstream(user) << "server\nbench =\ncolour = blue\n"
                           "server = host=db password=secret dbname=tq9\n";
    const LineSettings bad = ReadLineSettings({machine, user}, "pc-7");
    EXPECT_EQ(bad.server, "") << "a server string with a password is not used";
    EXPECT_EQ(bad.bench, "line-1");
    EXPECT_EQ(bad.problems,
              (std::vector<std::string>{
                  user + ":1: not a \"key = value\" line", user + ":2: an empty bench name",
                  user + ":3: unknown setting colour",
                  user + ":4: the server string holds a password; put it in ~/.pgpass"}));
    EXPECT_EQ(ReadLineSettings({user, user}, "pc-7").problems.size(), 4u) << "said once";
    std::ofstream(user) << "server = postgresql://bench3:secret@db/tq9\n";
    EXPECT_EQ(ReadLineSettings({user}, "pc").server, "");
    std::ofstream(user) << "server = postgresql://bench3@db/tq9?sslmode=verify-full\n";
    EXPECT_EQ(ReadLineSettings({user}, "pc").server,
              "postgresql://bench3@db/tq9?sslmode=verify-full");
}

TEST(LineSettingsTest, APasswordTypedIntoAConnectionIsNeverShown) {
    EXPECT_EQ(WithoutPassword("host=db password=secret dbname=tq9"),
              "host=db password=(hidden) dbname=tq9");
    EXPECT_EQ(WithoutPassword("host=db PASSWORD = 'se cr\\'et' dbname=tq9"),
              "host=db PASSWORD = (hidden) dbname=tq9");
    EXPECT_EQ(WithoutPassword("postgresql://bench3:secret@db/tq9?sslmode=verify-full"),
              "postgresql://bench3:(hidden)@db/tq9?sslmode=verify-full");
    EXPECT_EQ(WithoutPassword("postgresql://db/tq9?user=b&password=secret&sslmode=require"),
              "postgresql://db/tq9?user=b&password=(hidden)&sslmode=require");
    EXPECT_EQ(WithoutPassword("service=tq9line passfile=/etc/pw"),
              "service=tq9line passfile=/etc/pw")
        << "nothing else changes";
}

}  // namespace
}  // namespace tq9
