// Another program using a table file at the same time as the tool: it talks
// to SQLite directly and never waits for a lock.
//
//   table_peer write <file> <sql>   run the statement; exit 0 when it succeeded
//   table_peer hold <file>          hold an exclusive lock until stdin closes

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: table_peer write|hold <file> [sql]\n");
        return 2;
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "open: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    sqlite3_busy_timeout(db, 0);
    char *err = nullptr;
    if (std::strcmp(argv[1], "write") == 0 && argc >= 4) {
        if (sqlite3_exec(db, argv[3], nullptr, nullptr, &err) != SQLITE_OK) {
            std::fprintf(stderr, "write: %s\n", err ? err : "?");
            sqlite3_close(db);
            return 1;
        }
        std::printf("ok\n");
    } else if (std::strcmp(argv[1], "hold") == 0) {
        if (sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, &err) != SQLITE_OK) {
            std::fprintf(stderr, "lock: %s\n", err ? err : "?");
            sqlite3_close(db);
            return 1;
        }
        std::printf("locked\n");
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    } else {
        return 2;
    }
    sqlite3_close(db);
    return 0;
}
