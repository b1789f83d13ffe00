// The platform layer's per-thread state: what a thread registers is cleaned up when that thread
// ends, once, the latest first, and each thread has its own instance.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/Platform.h"

namespace {

struct Journal {
    std::vector<std::string> entries;
};

struct Note {
    Journal *journal;
    std::string text;
};

void writeNote(void *p) {
    Note *note = static_cast<Note *>(p);
    note->journal->entries.push_back(note->text);
    if (note->text == "second") {
        // Registered while the thread's cleanups run: it runs too.
        tc::platform::atThreadExit(&writeNote, new Note{note->journal, "late"});
    }
    delete note;
}

struct Counted {
    static int alive;
    int uses = 0;
    Counted() { ++alive; }
    ~Counted() { --alive; }
};
int Counted::alive = 0;
struct CountedTag;
Counted &ownCounted() { return tc::platform::threadOwned<Counted, CountedTag>(); }

}  // namespace

TEST(PlatformThreadExit, CleanupsRunWhenTheThreadEndsLatestFirst) {
    Journal journal;
    std::thread([&journal] {
        tc::platform::atThreadExit(&writeNote, new Note{&journal, "first"});
        tc::platform::atThreadExit(&writeNote, new Note{&journal, "second"});
        journal.entries.push_back("thread body done");
    }).join();
    EXPECT_EQ(journal.entries, (std::vector<std::string>{"thread body done", "second", "late", "first"}));
}

TEST(PlatformThreadExit, ThreadOwnedIsOnePerThreadAndGoesWithIt) {
    Counted &mine = ownCounted();
    ++mine.uses;
    EXPECT_EQ(&ownCounted(), &mine);
    const int before = Counted::alive;
    std::thread([&mine, before] {
        Counted &theirs = ownCounted();
        EXPECT_NE(&theirs, &mine);
        EXPECT_EQ(theirs.uses, 0);
        EXPECT_EQ(Counted::alive, before + 1);
    }).join();
    EXPECT_EQ(Counted::alive, before) << "the ended thread's instance is deleted";
    EXPECT_EQ(mine.uses, 1);
}
