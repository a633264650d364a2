#include "threads/thread_starter.h"

#include <cstdlib>

namespace faultkit {
namespace {

// What a new thread runs; owned by that thread, which frees it first. The
// exit callback's block has the same shape: it becomes the start block of
// the thread that runs the callback.
struct StartBlock {
    ThreadEntry entry;
    void* argument;
};

StartBlock* NewStartBlock(ThreadEntry entry, void* argument) {
    auto* block = static_cast<StartBlock*>(std::malloc(sizeof(StartBlock)));
    if (block != nullptr) {
        *block = StartBlock{entry, argument};
    }
    return block;
}

uint32_t Trampoline(void* raw) {
    const StartBlock start = *static_cast<StartBlock*>(raw);
    std::free(raw);
    return start.entry(start.argument);
}

// Runs on the platform's wait thread, which must not be held up: the
// callback is moved to a fresh thread.
void OnThreadEnded(platform::EndCallback* registration, void* raw) {
    platform::UnregisterEndCallback(registration);
    platform::Handle thread = platform::BeginThread(0, Trampoline, raw, false);
    if (thread == nullptr) {
        std::free(raw);
        return;
    }
    platform::ReleaseHandle(thread);
}

// Registers the exit callback on a suspended thread and lets it run unless
// the caller asked to resume it itself. False when either step fails; then
// nothing stays registered.
bool ArrangeExitCallback(platform::Handle thread, ThreadEntry exit_callback, void* argument,
                         bool start_suspended) {
    StartBlock* block = NewStartBlock(exit_callback, argument);
    if (block == nullptr) {
        return false;
    }
    platform::EndCallback* registration =
        platform::RegisterEndCallback(thread, OnThreadEnded, block);
    if (registration != nullptr) {
        if (start_suspended || platform::ResumeSuspendedThread(thread)) {
            return true;
        }
        platform::UnregisterEndCallback(registration);
    }
    std::free(block);
    return false;
}

}  // namespace

platform::Handle ThreadStart(size_t stack_size, ThreadEntry entry, void* argument,
                             bool start_suspended, ThreadEntry exit_callback) {
    StartBlock* start = NewStartBlock(entry, argument);
    if (start == nullptr) {
        return nullptr;
    }
    platform::Handle thread = platform::BeginThread(stack_size, Trampoline, start,
                                                    start_suspended || exit_callback != nullptr);
    if (thread == nullptr) {
        std::free(start);
        return nullptr;
    }
    if (exit_callback == nullptr ||
        ArrangeExitCallback(thread, exit_callback, argument, start_suspended)) {
        return thread;
    }
    // The thread never ran, so its start block is still ours.
    if (platform::TerminateUnstartedThread(thread)) {
        std::free(start);
    }
    platform::ReleaseHandle(thread);
    return nullptr;
}

}  // namespace faultkit
