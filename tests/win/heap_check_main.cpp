// main() of every Windows test program: GoogleTest, and after each test a check on the platform's own heap
// checking, so that an overrun or a write into freed memory made by the test, the code under test or the DLL
// fails the test that made it. The check fails too when that heap checking is off for the program.
#include "host/heap_check.h"

#include <gtest/gtest.h>

namespace {

bool freesGuarded = false;

class HeapCheckListener : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override {
        EXPECT_TRUE(freesGuarded) << "msvcrt's frees could not be made to validate their blocks";
        EXPECT_TRUE(HeapCheckingOn())
            << "heap checking is off: global flags 0x" << std::hex << ProcessGlobalFlags() << ", not 0x"
            << kHeapCheckingFlags << "; the wine_start test sets GlobalFlag for each test program";
        const HeapDamage damage = CheckHeaps();
        EXPECT_FALSE(damage) << damage.invalidHeaps << " of " << damage.heaps
                             << " heaps do not validate after the test, and " << damage.damagedFrees
                             << " blocks were damaged when freed; WINEDEBUG=err+heap says why";
    }
};

}  // namespace

int main(int argc, char** argv) {
    freesGuarded = GuardHeapFrees();
    testing::InitGoogleTest(&argc, argv);
    // Listeners hear the end of a test in reverse order: appended last, this one fails the test before the
    // result printer reports it.
    testing::UnitTest::GetInstance()->listeners().Append(new HeapCheckListener);
    return RUN_ALL_TESTS();
}
