// GoogleTest's signal for threads that wait to start, for a C++ library without std::mutex and
// std::condition_variable (mingw-w64's win32 thread model, which both widths build with).
// Included before everything else in GoogleTest and in the tests of such a build.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { (void)CloseHandle(event); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { (void)SetEvent(event); }
    void WaitForNotification() { (void)WaitForSingleObject(event, INFINITE); }

private:
    HANDLE event;
};

}  // namespace internal
}  // namespace testing
