// The folder writer: a set of files replaced as one, whatever fails and
// wherever the process or the machine stops.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "platform/fake/fake_files.h"
#include "platform/fake/fake_platform.h"
#include "platform/files.h"
#include "storage/data_folder.h"
#include "storage/folder_writer.h"
#include "temp_folder.h"

namespace fs = std::filesystem;

namespace {

using Folder_state = std::map<std::string, std::string>;  // file name -> content

Folder_state State_of(const Temp_folder& d) {
    Folder_state s;
    for (const auto& e : fs::directory_iterator(d.path)) {
        std::ifstream in(e.path(), std::ios::binary);
        s[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return s;
}

std::string Names(const Folder_state& s) {
    std::string names;
    for (const auto& [name, content] : s) names += name + "(" + std::to_string(content.size()) + ") ";
    return names;
}

// A set of files and the files it removes.
struct File_set {
    Folder_state files;
    std::vector<std::string> gone;

    std::vector<Folder_part> Parts() const {
        std::vector<Folder_part> parts;
        for (const auto& [name, content] : files) parts.push_back({name, content.data(), content.size()});
        return parts;
    }
};

// The old work has an aerial picture; the new one has none, and a file more.
const File_set Old_set{{{"base.dat", "old base"}, {"d1.dat", std::string(30, 'a')}, {"d2.dat", "old d2"},
                        {"tst.bmp", "old map"}, {"tst1.bmp", "old photo"}},
                       {}};
const File_set New_set{{{"base.dat", "new base, longer"}, {"d1.dat", std::string(50, 'b')}, {"d2.dat", ""},
                        {"tst.bmp", "new map"}, {"d3.dat", "new d3"}},
                       {"tst1.bmp"}};

struct Folder_writer_test : ::testing::Test {
    Fake_scope scope;
    void TearDown() override { Fs_install(nullptr); }

    static void Write_old(const Temp_folder& d) {
        Write_failure f;
        ASSERT_TRUE(Folder_write(d.str(), Old_set.Parts(), Old_set.gone, f)) << f.reason;
        ASSERT_EQ(State_of(d), Old_set.files);
    }
    // What a load does first: under the lock, finish or undo what was left.
    static Recovery Recover(const Temp_folder& d) {
        const Folder_lock lock(d.str(), 1000);
        EXPECT_EQ(lock.result(), Lock_taken);
        std::string why;
        const Recovery r = Folder_recover(d.str(), why);
        EXPECT_NE(r, Recovery_failed) << why;
        return r;
    }
};

TEST_F(Folder_writer_test, ANewSetReplacesTheOldOneAndLeavesNothingBehind) {
    Temp_folder d;
    Write_old(d);
    Write_failure f;
    ASSERT_TRUE(Folder_write(d.str(), New_set.Parts(), New_set.gone, f)) << f.reason;
    EXPECT_EQ(State_of(d), New_set.files);
    EXPECT_EQ(Recover(d), Recovery_none);
}

TEST_F(Folder_writer_test, AFailureAtAnyStepKeepsTheOldSetWhole) {
    for (int op = 0; op < Fault_files::Op_count; ++op) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE("operation " + std::to_string(op) + " #" + std::to_string(n));
            Temp_folder d;
            Write_old(d);
            Fault_files faults;
            faults.fail_op = op;
            faults.fail_at = n;
            Fs_install(&faults);
            Write_failure f;
            const bool ok = Folder_write(d.str(), New_set.Parts(), New_set.gone, f);
            Fs_install(nullptr);
            const bool hit = faults.counts[op] >= n;
            if (!ok) {
                // Said with the file or the folder that failed.
                EXPECT_TRUE(hit);
                EXPECT_FALSE(f.path.empty());
                EXPECT_FALSE(f.reason.empty());
                EXPECT_EQ(f.path.rfind(d.str(), 0), 0u) << f.path;
            }
            Recover(d);
            // A failure reported means the old set; success the new one. (A
            // failure in the tidying after the commit is no failure of the write.)
            EXPECT_TRUE(State_of(d) == (ok ? New_set.files : Old_set.files)) << Names(State_of(d));
            if (!hit) break;
        }
    }
}

TEST_F(Folder_writer_test, StoppedAtAnyMomentTheNextLoadFindsTheOldOrTheNewSet) {
    for (bool power_cut : {false, true}) {
        int olds = 0, news = 0;
        for (int k = 0;; ++k) {
            SCOPED_TRACE(std::string(power_cut ? "power cut" : "killed") + " after " + std::to_string(k));
            Temp_folder d;
            Write_old(d);
            Fault_files stop;
            stop.stop_after = k;
            Fs_install(&stop);
            Write_failure f;
            const bool ok = Folder_write(d.str(), New_set.Parts(), New_set.gone, f);
            Fs_install(nullptr);
            if (power_cut) stop.Power_cut();
            Recover(d);
            const Folder_state s = State_of(d);
            const bool is_old = s == Old_set.files, is_new = s == New_set.files;
            EXPECT_TRUE(is_old || is_new) << Names(s);
            olds += is_old;
            news += is_new;
            if (ok && stop.total <= k) break;  // the whole write ran before the stop
        }
        // Both outcomes occur: the sweep went through the commit.
        EXPECT_GT(olds, 5);
        EXPECT_GT(news, 0);
    }
}

TEST_F(Folder_writer_test, CommitRecordsThatAreNotWholeCountForNothing) {
    const std::vector<Commit_entry> entries = {{"base.dat", false, 12, 0x1234}, {"tst1.bmp", true, 0, 0}};
    const std::string text = Commit_text(entries);
    std::vector<Commit_entry> read;
    ASSERT_TRUE(Commit_parse(text, read));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].name, "base.dat");
    EXPECT_EQ(read[0].size, 12u);
    EXPECT_EQ(read[0].sum, 0x1234u);
    EXPECT_TRUE(read[1].gone);
    for (size_t cut = 0; cut < text.size(); ++cut) EXPECT_FALSE(Commit_parse(text.substr(0, cut), read)) << cut;
    std::string flipped = text;
    flipped[20] ^= 1;
    EXPECT_FALSE(Commit_parse(flipped, read));
    // A record must name files of its own folder only.
    for (const char* name : {"../base.dat", "a/b", "c:\\x", ".."})
        EXPECT_FALSE(Commit_parse(Commit_text({{name, false, 1, 1}}), read)) << name;
}

TEST_F(Folder_writer_test, LeftOversOfEarlierVersionsAndInterruptedWritesAreRemoved) {
    Temp_folder d;
    Write_old(d);
    for (const char* name : {"base.dat.new", "d4.dat.new", "d1.dat.tovi-new", "tovi.commit"})
        std::ofstream(d.file(name)) << "left over";
    EXPECT_EQ(Recover(d), Recovery_undone);
    EXPECT_EQ(State_of(d), Old_set.files);
}

TEST_F(Folder_writer_test, AFileInTheWayIsNamedBeforeAnythingIsTouched) {
    Temp_folder d;
    fs::create_directory(d.file("d3.dat"));
    Write_failure f;
    EXPECT_FALSE(Folder_write(d.str(), New_set.Parts(), New_set.gone, f));
    EXPECT_EQ(f.file, "d3.dat");
    EXPECT_EQ(std::distance(fs::directory_iterator(d.path), {}), 1);  // only the folder in the way
}

TEST_F(Folder_writer_test, ALoadWaitsForAWriterAndRefusesWhenItNeverEnds) {
    Temp_folder d;
    Write_old(d);
    int64_t held = -1;
    std::string why;
    ASSERT_EQ(Fs().Lock_folder(d.str(), 0, held, why), Lock_taken);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Fs().Unlock_folder(held);
    });
    // Waits for the lock, then reads: the folder is not a piece of work, but
    // the answer is about its files, not about the lock.
    const Folder_problems waited = Data_folder_check(d.str());
    release.join();
    ASSERT_FALSE(waited.empty());
    EXPECT_NE(waited[0].text, Folder_busy_text);

    ASSERT_EQ(Fs().Lock_folder(d.str(), 0, held, why), Lock_taken);
    const Folder_problems refused = Data_folder_check(d.str());
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].text, Folder_busy_text);
    Write_failure f;
    EXPECT_FALSE(Folder_write(d.str(), New_set.Parts(), New_set.gone, f));
    EXPECT_EQ(f.step, "lock");
    Fs().Unlock_folder(held);
    EXPECT_EQ(State_of(d), Old_set.files);  // and the lock file went with the lock
}

}  // namespace
