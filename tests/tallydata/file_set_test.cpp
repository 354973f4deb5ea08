// file_set_test.cpp -- an import's files change all together or not at all, one import
// at a time per data folder: two imports started together both keep their changes; a
// kill at any instant leaves the old set or the new one once the next command has run;
// a rename or a flush that fails leaves the old set; --no-wait refuses a locked folder.
// The heavy cases run in a memory file system when there is room (they test the
// program, not the disk).
#include "scratch_folder.h"

#include "file_write.h"
#include "zip_table.h"
#include "zone_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class FileSets : public ScratchFolderTest {
protected:
    fs::path base;   // the test's data lives here: in memory when there is room, else in dir

    void SetUp() override
    {
        ScratchFolderTest::SetUp();
        struct statvfs room;
        const bool memory = statvfs("/dev/shm", &room) == 0 && double(room.f_bavail) * room.f_frsize > 2e9;
        base = memory ? fs::path("/dev/shm") / dir.filename() : dir / "base";
        fs::remove_all(base);
        fs::create_directories(base / "data/ui");   // the viewer's folders, so that nothing is copied
        fs::create_directories(base / "data/maps");
    }
    void TearDown() override
    {
        fs::remove_all(base);
        ScratchFolderTest::TearDown();
    }

    ProgramRun tallydata(const std::string &arguments, const std::string &environment = "")
    {
        return shell(in_folder(base, environment + quoted(TALLYDATA_PATH) + " " + arguments));
    }

    // Starts tallydata with arguments in base, its error stream into errFile.
    pid_t start(const std::vector<std::string> &arguments, const fs::path &errFile)
    {
        std::vector<std::string> words = {TALLYDATA_PATH};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char *> argv;
        for (std::string &w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, base.c_str());
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    // Every name below base with a hash of its contents; a temporary, backup or journal
    // name anywhere makes it fail.
    std::string state() const
    {
        std::map<std::string, size_t> files;
        for (const auto &entry : fs::recursive_directory_iterator(base)) {
            const std::string name = entry.path().filename().string();
            EXPECT_FALSE(is_temporary_name(name) || name == ".tallydata-journal") << entry.path();
            files[fs::relative(entry.path(), base).string()] =
                entry.is_regular_file() ? std::hash<std::string>()(slurp(entry.path())) : 0;
        }
        std::string text;
        for (const auto &[name, hash] : files) text += name + " " + std::to_string(hash) + "\n";
        return text;
    }
};

void write_text(const fs::path &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

int wait_for(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

ZipRecord census_of(const fs::path &path)
{
    const std::string bytes = slurp(path);
    ZipRecord r{};
    decode_zone_file(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), r);
    return r;
}

}  // namespace

// Merges of different columns started together: the second waits for the first, so
// every file keeps both, pair after pair.
TEST_F(FileSets, ImportsStartedTogetherBothKeepTheirChanges)
{
    constexpr int PAIRS = 20, ZIPS = 300;
    int waited = 0;
    for (int pair = 0; pair < PAIRS; ++pair) {
        std::string population = "zip,year,population\n", households = "zip,year,households\n";
        for (int zip = 1; zip <= ZIPS; ++zip) {
            population += std::to_string(zip) + ",1990," + std::to_string(2 * pair + 1) + "\n";
            households += std::to_string(zip) + ",1990," + std::to_string(2 * pair + 2) + "\n";
        }
        write_text(base / "p.csv", population);
        write_text(base / "h.csv", households);
        const pid_t first = start({"import", "--census", "p.csv"}, dir / "p.err");
        const pid_t second = start({"import", "--census", "h.csv"}, dir / "h.err");
        ASSERT_EQ(wait_for(first), 0) << slurp(dir / "p.err");
        ASSERT_EQ(wait_for(second), 0) << slurp(dir / "h.err");
        for (const char *err : {"p.err", "h.err"})
            waited += slurp(dir / err).find("tallydata: waiting for another tallydata on ./data\n") != std::string::npos;
        int lost = 0;
        for (int zip = 1; zip <= ZIPS; ++zip) {
            const ZipRecord r = census_of(base / "data/zips" / (std::to_string(zip) + ".zc"));
            lost += r.population.census[0] != float(2 * pair + 1) || r.households.census[0] != float(2 * pair + 2);
        }
        ASSERT_EQ(lost, 0) << "pair " << pair << " lost a change in " << lost << " files";
    }
    EXPECT_GT(waited, 0) << "no import ever waited for the other: the pairs never overlapped";
}

// A lock held by another process: --no-wait refuses, a command without it waits with one
// line and goes on when the lock is given back.
TEST_F(FileSets, ALockedFolderIsWaitedForOrRefused)
{
    write_text(base / "c.csv", "zip,year,population\n77002,1990,5\n");
    ASSERT_EQ(tallydata("import --census c.csv").status, 0);
    const std::string before = state();
    // Not inherited by the programs started below, or they would hold it too.
    const int held = open((base / "data/.tallydata.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    ProgramRun refused = tallydata("import --census c.csv --replace --no-wait");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "tallydata: ./data: error: another tallydata is working on this folder (--no-wait)\n");
    EXPECT_EQ(tallydata("check --load c.csv --no-wait").status, 1);

    const pid_t waiting = start({"import", "--census", "c.csv", "--replace"}, dir / "w.err");
    std::this_thread::sleep_for(300ms);
    int status = 0;
    EXPECT_EQ(waitpid(waiting, &status, WNOHANG), 0) << "it did not wait";
    EXPECT_EQ(slurp(dir / "w.err"), "tallydata: waiting for another tallydata on ./data\n");
    EXPECT_EQ(state(), before);
    close(held);
    EXPECT_EQ(wait_for(waiting), 0) << slurp(dir / "w.err");
    EXPECT_EQ(census_of(base / "data/zips/77002.zc").population.census[0], 5.0f);

    // Under the lock, the temporary files and backups that no journal lists (a tallydata
    // killed before it wrote one, an older one) go first; a journal that is not whole
    // stops every command until someone looks.
    write_text(base / "data/zips/.77002.zc.partial-4242", "x");
    write_text(base / "data/.zips.partial-4242", "x");
    write_text(base / "data/zips/.77002.zc.backup-4242", "x");
    ProgramRun run = tallydata("import --census c.csv --dry-run");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("tallydata: ./data: warning: removed 3 temporary files that an interrupted tallydata left\n"),
              std::string::npos) << run.err;
    write_text(base / "data/.tallydata-journal", "tallydata journal 1\nprocess 12\nstate committed\ncreate 9:zips/1.zc");
    run = tallydata("import --census c.csv");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tallydata: ./data/.tallydata-journal: error: is not a whole journal of an interrupted import: "
                       "compare the folder with your tables, then remove it\n");
    fs::remove(base / "data/.tallydata-journal");
    EXPECT_EQ(state(), before);
}

// A rename that fails at any point of the set (the journal's own included) puts back
// every file already replaced; a flush that fails (a disk found full) writes nothing.
TEST_F(FileSets, AFailedRenameOrFlushLeavesTheOldSet)
{
    write_text(base / "c.csv", "zip,year,population\n77002,1990,1\n77003,1990,2\n");
    write_text(base / "z.csv", "zip,longitude,latitude\n77002,-95.36,29.75\n");
    ASSERT_EQ(tallydata("import --census c.csv --zips z.csv --study study.csv").status, 0);
    // Two census files replaced, one made, the kept counts and the study CSV replaced; the
    // journal is renamed twice first.
    write_text(base / "c2.csv", "zip,year,population\n77002,1990,7\n77003,1990,8\n77004,1990,9\n");
    write_text(base / "z2.csv", "zip,longitude,latitude,travel\n77002,-95.36,29.75,4\n");
    const std::string before = state();
    const std::string import = "import --census c2.csv --zips z2.csv --study study.csv";
    const std::string preload = "env ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 "
                                "LD_PRELOAD=" + quoted(FAIL_CALLS_PATH) + " ";
    for (int failing = 1; failing <= 7; ++failing) {
        ProgramRun run = tallydata(import, preload + "TALLYMAP_FAIL_RENAME=" + std::to_string(failing) + " ");
        EXPECT_EQ(run.status, 1) << failing;
        EXPECT_NE(run.err.find(failing <= 2 ? "cannot be written (Input/output error); nothing was changed"
                                            : "cannot be put in place (Input/output error); every file was put back"),
                  std::string::npos) << failing << ": " << run.err;
        EXPECT_EQ(state(), before) << failing;
    }
    ProgramRun run = tallydata(import, preload + "TALLYMAP_FAIL_SYNCFS=1 ");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot be flushed to the disk (No space left on device); nothing was changed"),
              std::string::npos) << run.err;
    EXPECT_EQ(state(), before);
    // Killed after its first file was renamed, the set is undone by a next command that
    // cannot rename, and finished by one that can.
    const std::string killed = preload + "TALLYMAP_KILL_AT_RENAME=4 ";
    EXPECT_EQ(tallydata(import, killed).status, 128 + SIGKILL);   // as the shell reports it
    run = tallydata("check --load study.csv", preload + "TALLYMAP_FAIL_RENAME=1 ");
    EXPECT_NE(run.err.find("tallydata: ./data: warning: undid the import that was interrupted (process "),
              std::string::npos) << run.err;
    EXPECT_NE(run.err.find(") while its files were put in place: every file is as it was\n"), std::string::npos);
    EXPECT_EQ(state(), before);
    EXPECT_EQ(tallydata(import, killed).status, 128 + SIGKILL);
    run = tallydata("check --load study.csv", preload);
    EXPECT_NE(run.err.find("while its files were put in place: its 5 files are in place\n"), std::string::npos) << run.err;
    EXPECT_EQ(census_of(base / "data/zips/77004.zc").population.census[0], 9.0f);
    EXPECT_NE(slurp(base / "study.csv").find(",4,0\n"), std::string::npos);   // travel 4
}

// SIGKILL at instants spread over a whole import of 20 000 enrollment files, half of
// them once its files are being renamed: after the next command (a check), the folder
// and the study CSV beside it are the old set or the new one, and nothing else.
TEST_F(FileSets, AKillAtAnyInstantLeavesTheOldSetOrTheNewOne)
{
    constexpr int FILES = 20000, KILLS = 10;
    for (const char *side : {"a", "b"}) {
        std::string enrollment = "zip,campus,year,students\n";
        for (int zip = 1; zip <= FILES; ++zip)
            enrollment += std::to_string(zip) + ",1,1990," + std::to_string(*side == 'a' ? zip % 997 : zip % 991 + 1) + "\n";
        write_text(base / (std::string(side) + ".csv"), enrollment);
        write_text(base / (std::string("z") + side + ".csv"),
                   "zip,longitude,latitude,travel\n1,-95.36,29.75," + std::string(*side == 'a' ? "1" : "2") + "\n");
    }
    auto import = [](const std::string &side) {
        return std::vector<std::string>{"import", "--replace", "--enrollment", side + ".csv", "--zips", "z" + side + ".csv",
                                        "--study", "study.csv"};
    };
    std::map<std::string, std::string> sets;   // state -> its side
    ASSERT_EQ(wait_for(start(import("a"), dir / "a.err")), 0) << slurp(dir / "a.err");
    sets[state()] = "a";
    const auto began = std::chrono::steady_clock::now();
    ASSERT_EQ(wait_for(start(import("b"), dir / "b.err")), 0) << slurp(dir / "b.err");
    const auto whole = std::chrono::steady_clock::now() - began;
    sets[state()] = "b";
    ASSERT_EQ(sets.size(), 2u);

    std::mt19937 random(std::random_device{}());
    std::uniform_real_distribution<double> share(0.0, 1.0);
    std::string side = "b", outcomes;
    for (int kill = 0; kill < KILLS; ++kill) {
        side = side == "a" ? "b" : "a";
        const auto started = std::chrono::steady_clock::now();
        const pid_t pid = start(import(side), dir / "kill.err");
        std::string when;
        if (kill % 2 == 0) {   // anywhere in the run, one fifth of it after another
            const auto at = whole * ((kill / 2 + share(random)) / (KILLS / 2));
            std::this_thread::sleep_until(started + at);
            when = std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(at).count()) + " ms";
        } else {   // while the renames run: after the journal says so
            const auto giveUp = started + 4 * whole;
            char head[64] = "";
            while (!std::strstr(head, "state committed") && std::chrono::steady_clock::now() < giveUp &&
                   waitpid(pid, nullptr, WNOHANG) == 0) {
                std::ifstream journal(base / "data/.tallydata-journal", std::ios::binary);
                journal.read(head, sizeof head - 1);
                head[journal.gcount()] = '\0';
            }
            const auto at = whole * (share(random) / 20);
            std::this_thread::sleep_for(at);
            when = "committed + " + std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(at).count()) + " us";
        }
        ::kill(pid, SIGKILL);
        wait_for(pid);
        ProgramRun next = tallydata("check --load study.csv");
        const std::string now = state();
        ASSERT_TRUE(sets.count(now)) << "kill " << kill << " at " << when << " left a mix:\n" << next.err;
        side = sets[now];
        outcomes += side + (next.err.find("finished the import") != std::string::npos ? "(finished) "
                            : next.err.find("undid the import") != std::string::npos ? "(undone) " : " ");
    }
    RecordProperty("outcomes", outcomes);
}
