// The store is evidence: no kind of run changes a byte of it or its modification time,
// not even a run abandoned during the scan or between two messages.

#include <cstdio>

#include "engine_fixture.h"
#include "platform/fs.h"
#include "tools/dbxgen/hostile.h"

namespace {

struct run_kind {
    const char* name;
    int mode;
    enum { to_the_end, during_the_scan, between_messages } abandoned;
};

const run_kind run_kinds[] = {
    {"list only", 0, run_kind::to_the_end},
    {".eml", 1, run_kind::to_the_end},
    {".msg", 2, run_kind::to_the_end},
    {".eml abandoned during the scan", 1, run_kind::during_the_scan},
    {".msg abandoned during the scan", 2, run_kind::during_the_scan},
    {".eml abandoned between messages", 1, run_kind::between_messages},
    {".msg abandoned between messages", 2, run_kind::between_messages},
};

// A realistic store, large enough for the scan to pass several checkpoints.
void write_realistic_store(const std::string& path) {
    FILE* file = platform::open_file(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    dbxgen::store_options options;
    options.seed = 9;
    options.messages = 30;
    options.deleted = 10;
    EXPECT_GT(dbxgen::write_store(options, file), 64 * 1024);
    std::fclose(file);
}

}  // namespace

TEST_F(engine_test, NoKindOfRunChangesTheStore) {
    std::vector<std::string> paths = {dir.file("Realistic.dbx")};
    write_realistic_store(paths[0]);
    for (const auto& shape : dbxgen::hostile_shapes()) {
        if (!shape.seed) continue;  // the small ones
        paths.push_back(dir.file(shape.name + ".dbx"));
        ASSERT_TRUE(dbxgen::write_hostile_store(shape.make(), paths.back()));
    }

    for (const std::string& path : paths) {
        std::string bytes = file_bytes(path);
        int64_t written = modification_time(path);
        // A list-only run counts the checkpoints: those of the scan, then one per chain.
        view = recording_view{};
        run(path, 0);
        int chains = int(view.rows.size());
        int scan_checkpoints = view.checkpoints - chains;
        for (const run_kind& kind : run_kinds) {
            SCOPED_TRACE(path + ", " + kind.name);
            view = recording_view{};
            if (kind.abandoned == run_kind::during_the_scan) {
                if (scan_checkpoints < 1) continue;
                view.abandon_at = 1;
            } else if (kind.abandoned == run_kind::between_messages) {
                if (chains < 2) continue;
                view.abandon_at = scan_checkpoints + 2;  // after the first message
            }
            auto result = run(path, kind.mode, dir.file("out"));
            EXPECT_EQ(result.outcome.abandoned, kind.abandoned != run_kind::to_the_end);
            EXPECT_EQ(result.outcome.store_opened, kind.abandoned != run_kind::during_the_scan);
            EXPECT_TRUE(file_bytes(path) == bytes);
            EXPECT_EQ(modification_time(path), written);
        }
    }
}
