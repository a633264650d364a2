#include "platform/posix/thread_end_probe.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace faultkit::platform {
namespace {

// pidfd_open's flag for a pidfd of one thread rather than of a whole process
// (PIDFD_THREAD, Linux 6.9); older kernels refuse it with EINVAL.
constexpr unsigned kPidfdThread = O_EXCL;

// Longest delay between a thread's end and its signal when the thread's
// /proc entry is polled.
constexpr int kProcPollMs = 10;

// What the probe thread owns.
struct Probe {
    HandleObject* end;  // the probe's hold on the end object
    int stop;           // eventfd, written once the probe is the object's only holder
    int pidfd;          // the thread's pidfd; -1 when its /proc entry is polled
    uint32_t id;
    uint64_t start_time;  // from /proc: tells the thread from a later one with its id
};

// What a thread's /proc entry shows.
enum class Presence {
    kAlive,
    kEnding,   // the entry shows the thread exiting, or ended and not yet reaped
    kAbsent,   // no entry: no such thread in the process (or no /proc)
    kUnknown,  // the entry cannot be read (descriptors or memory short)
};

// A task's flag while it exits (PF_EXITING): set before the thread's
// joiners are woken, so a joined thread never reads as alive.
constexpr unsigned long kTaskExiting = 0x4;

// Field `number` (counted from 1 as in proc(5)) of a stat line, as a number;
// false when the line ends first or the field is not a whole number.
bool StatField(const char* after_name, int number, unsigned long long* value) {
    // Fields 3 onwards follow the name, which ends with the line's last ')'.
    const char* field = after_name;
    for (int skipped = 2; skipped < number && field != nullptr; ++skipped) {
        field = std::strchr(field + 1, ' ');
    }
    if (field == nullptr) {
        return false;
    }
    char* end = nullptr;
    *value = std::strtoull(field + 1, &end, 10);
    return end != field + 1 && *end == ' ';
}

// Reads the state and start time of the thread `id` of this process from
// its /proc entry. A group leader that ends before its process stays as a
// zombie.
Presence ReadTaskEntry(uint32_t id, uint64_t* start_time) {
    char path[48];
    std::snprintf(path, sizeof path, "/proc/self/task/%u/stat", id);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT || errno == ESRCH ? Presence::kAbsent : Presence::kUnknown;
    }
    char text[1024];
    const ssize_t size = read(fd, text, sizeof text - 1);
    const int read_error = errno;
    close(fd);
    if (size <= 0) {
        return size == 0 || read_error == ESRCH ? Presence::kAbsent : Presence::kUnknown;
    }
    text[size] = '\0';
    // "id (name) state ppid ...": the name may hold any character.
    const char* after_name = std::strrchr(text, ')');
    unsigned long long flags = 0;
    unsigned long long started = 0;
    if (after_name == nullptr || after_name[1] != ' ' || !StatField(after_name, 9, &flags) ||
        !StatField(after_name, 22, &started)) {
        return Presence::kUnknown;
    }
    *start_time = started;
    const char state = after_name[2];
    const bool ending = state == 'Z' || state == 'X' || (flags & kTaskExiting) != 0;
    return ending ? Presence::kEnding : Presence::kAlive;
}

bool Readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, 0) > 0;
}

// A pidfd of the live thread `id` of this process, or -1; `unsupported` is
// set when the kernel gives no thread pidfd for a reason other than the
// thread's absence.
int OpenThreadPidfd(uint32_t id, bool* unsupported) {
#ifdef SYS_pidfd_open
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(id), kPidfdThread));
    *unsupported = fd < 0 && errno != ESRCH;
    if (fd < 0) {
        return -1;
    }
    // The pidfd names the thread that had the id when it was opened, maybe
    // a thread of another process. Checked in this order, it is ours: the id
    // names a thread of this process (tgkill with no signal), and after that
    // the pidfd's thread still runs, so it held the id throughout.
    // A thread already on its way out (joined, say) is refused as well: it
    // may still be found by the first checks and be gone by the last.
    uint64_t start_time = 0;
    if (syscall(SYS_tgkill, getpid(), static_cast<pid_t>(id), 0) != 0 || Readable(fd) ||
        ReadTaskEntry(id, &start_time) != Presence::kAlive) {
        close(fd);
        return -1;
    }
    return fd;
#else
    (void)id;
    *unsupported = true;
    return -1;
#endif
}

// Sets up the probe's view of the thread `id`; false when no live thread of
// this process has the id.
bool Attach(uint32_t id, EndProbe how, Probe* probe) {
    probe->id = id;
    probe->pidfd = -1;
    probe->start_time = 0;
    bool unsupported = true;
    if (how == EndProbe::kPidfdFirst) {
        probe->pidfd = OpenThreadPidfd(id, &unsupported);
    }
    return probe->pidfd >= 0 ||
           (unsupported && ReadTaskEntry(id, &probe->start_time) == Presence::kAlive);
}

// Polling without a pidfd: the thread has ended when its entry is gone or
// belongs to a later thread.
bool ProcEntryGone(const Probe& probe) {
    uint64_t start_time = 0;
    switch (ReadTaskEntry(probe.id, &start_time)) {
        case Presence::kEnding:
        case Presence::kAbsent: return true;
        case Presence::kAlive: return start_time != probe.start_time;
        case Presence::kUnknown: return false;
    }
    return false;
}

// Waits for the thread's end or for the stop; signals the end object when
// the thread has ended.
uint32_t RunProbe(void* raw) {
    const Probe probe = *static_cast<Probe*>(raw);
    std::free(raw);
    pollfd entries[2] = {{probe.stop, POLLIN, 0}, {probe.pidfd, POLLIN, 0}};
    const nfds_t count = probe.pidfd >= 0 ? 2 : 1;
    const int timeout = probe.pidfd >= 0 ? -1 : kProcPollMs;
    bool ended = false;
    for (;;) {
        const int ready = poll(entries, count, timeout);
        if (ready < 0 && errno != EINTR) {
            SleepMs(kProcPollMs);  // short of memory: try again later
        }
        if (ready > 0 && entries[0].revents != 0) {
            break;  // nobody else holds the end object
        }
        ended = probe.pidfd >= 0 ? ready > 0 && entries[1].revents != 0 : ProcEntryGone(probe);
        if (ended) {
            break;
        }
    }
    LockObjects();
    probe.end->probe_stop = probe.end->probe_pidfd = -1;
    if (ended) {
        SignalLocked(probe.end);
    }
    DropLocked(probe.end);
    UnlockObjects();
    close(probe.stop);
    if (probe.pidfd >= 0) {
        close(probe.pidfd);
    }
    return 0;
}

}  // namespace

HandleObject* OpenProbedThreadEnd(uint32_t id, EndProbe how) {
    if (id == 0 || id > static_cast<uint32_t>(INT_MAX)) {
        return nullptr;
    }
    // Two holders: the returned handle and the probe.
    HandleObject* end = NewObject(2, ThreadGate::kNone);
    auto* probe = static_cast<Probe*>(std::malloc(sizeof(Probe)));
    const int stop = eventfd(0, EFD_CLOEXEC);
    if (end != nullptr && probe != nullptr && stop >= 0 && Attach(id, how, probe)) {
        probe->end = end;
        probe->stop = stop;
        const int pidfd = probe->pidfd;
        LockObjects();
        end->probe_stop = stop;
        end->probe_pidfd = pidfd;
        UnlockObjects();
        Handle thread = BeginThread(0, RunProbe, probe, false);
        if (thread != nullptr) {
            LockObjects();
            end->probe_thread = thread;
            UnlockObjects();
            return end;
        }
        if (pidfd >= 0) {
            close(pidfd);
        }
    }
    if (stop >= 0) {
        close(stop);
    }
    std::free(probe);
    DiscardNewObject(end);
    return nullptr;
}

}  // namespace faultkit::platform
