// A collection run hands over exactly the messages a save run writes, each in the folder
// the save run gives it, and names them so in its records; a collection that cannot be
// written ends the run there.

#include "engine/collection.h"

#include <algorithm>
#include <map>

#include "engine_fixture.h"

namespace {

class recording_collection : public message_collection {
  public:
    std::optional<folder_id> folder(const std::vector<std::string>& store_folder,
                                    int list) override {
        std::string place;
        for (const std::string& name : store_folder) place += (place.empty() ? "" : "/") + name;
        places.push_back(place + (list == 1 ? "/deleted" : ""));
        return folder_id(places.size() - 1);
    }
    std::string place(folder_id folder) const override { return places.at(folder); }
    bool add(folder_id folder, const chain_record& record) override {
        if (added == fail_at) return false;
        ++added;
        messages[places.at(folder)].push_back(*record.bytes);
        return true;
    }

    std::vector<std::string> places;
    std::map<std::string, std::vector<std::string>> messages;  // by place, in the run's order
    size_t added = 0, fail_at = SIZE_MAX;
};

// The bytes of every file of a save run's list folder, sorted.
std::vector<std::string> saved(const std::string& folder) {
    std::vector<std::string> all;
    for (const std::string& name : files_in(folder)) all.push_back(file_bytes(folder + "/" + name));
    std::sort(all.begin(), all.end());
    return all;
}

std::vector<std::string> sorted(std::vector<std::string> messages) {
    std::sort(messages.begin(), messages.end());
    return messages;
}

}  // namespace

TEST_F(engine_test, CollectionRunsTakeWhatSaveRunsWriteWhereTheyWriteIt) {
    std::string store = write_generated_store(11, 40, 9, "Inbox.dbx");
    std::string out = dir.file("out");
    ASSERT_EQ(run(store, 1, out).outcome.errors, 0);

    recording_collection into;
    std::vector<std::string> files;
    chain_observer = [&](const chain_record& record) { files.push_back(record.file); };
    run_outcome outcome;
    capture_output([&] { collect_store(into, {"Inbox"}, store.c_str(), &outcome); });
    chain_observer = nullptr;
    EXPECT_TRUE(outcome.folder_entered && outcome.errors == 0 && !outcome.output_failed);
    EXPECT_EQ(into.places, (std::vector<std::string>{"Inbox", "Inbox/deleted"}));
    EXPECT_EQ(sorted(into.messages["Inbox"]), saved(out + "/Inbox"));
    EXPECT_EQ(sorted(into.messages["Inbox/deleted"]), saved(out + "/Inbox/deleted"));
    ASSERT_EQ(files.size(), 49u);
    EXPECT_EQ(std::count(files.begin(), files.end(), "Inbox/deleted"), 9);

    // A carved store goes below the image's folder, under its start.
    recording_collection carved;
    capture_output([&] { collect_image(carved, {"disk"}, store.c_str(), &outcome); });
    EXPECT_EQ(carved.places,
              (std::vector<std::string>{"disk/000000000000", "disk/000000000000/deleted"}));
    EXPECT_EQ(sorted(carved.messages["disk/000000000000"]), saved(out + "/Inbox"));
}

TEST_F(engine_test, ACollectionThatCannotBeWrittenEndsTheRun) {
    std::string store = write_generated_store(12, 30, 5, "Inbox.dbx");
    recording_collection into;
    into.fail_at = 7;
    run_outcome outcome;
    capture_output([&] { collect_store(into, {"Inbox"}, store.c_str(), &outcome); });
    EXPECT_TRUE(outcome.output_failed);
    EXPECT_EQ(into.added, 7u);
    EXPECT_EQ(into.places.size(), 1u);  // the fragments' folder is never asked for
    EXPECT_GE(outcome.errors, 1);
}
