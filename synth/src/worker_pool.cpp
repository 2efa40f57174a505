#include "worker_pool.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace kestra {
namespace {

// The thread count set by the program (KESTRA_Set_Threads); 0: the default.
std::atomic<int32_t> thread_setting{0};

// Reads KESTRA_THREADS: a whole number from 1 to kMaxThreads, else 0 (not set or not usable).
int32_t threads_from_environment() {
    const char* text = std::getenv("KESTRA_THREADS");
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > kMaxThreads) {
        return 0;
    }
    return static_cast<int32_t>(value);
}

// The cores this process may run on (its affinity mask, which a container's cpuset narrows), not
// the host's count.
int32_t available_cores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return std::max(1, CPU_COUNT(&set));
    }
    return static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

class WorkerPool {
public:
    WorkerPool() : default_threads_(std::min(available_cores(), kDefaultMaxThreads)) {}

    ~WorkerPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (auto& t : workers_) {
            t.join();
        }
    }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // The threads run_parts uses: the program's setting, else KESTRA_THREADS, else the default.
    int32_t threads() const {
        const int32_t set = thread_setting.load();
        if (set > 0) {
            return set;
        }
        return environment_threads_ > 0 ? environment_threads_ : default_threads_;
    }

    void run(int32_t parts, void (*task)(void*, int32_t), void* context) {
        const int32_t wanted = threads();
        std::unique_lock busy(run_mutex_, std::try_to_lock);
        if (busy.owns_lock() && wanted > 1 && parts > 1) {
            start_workers(std::min(wanted, parts) - 1);
        }
        if (!busy.owns_lock() || workers_.empty() || wanted == 1 || parts < 2) {
            for (int32_t p = 0; p < parts; ++p) {
                task(context, p);
            }
            return;
        }
        const int32_t helpers = std::min({static_cast<int32_t>(workers_.size()), parts - 1, wanted - 1});
        {
            std::lock_guard lock(mutex_);
            task_ = task;
            context_ = context;
            parts_ = parts;
            next_part_.store(0);
            invited_ = helpers;
            pending_ = helpers;
            ++generation_;
        }
        wake_.notify_all();
        work();
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [this] { return pending_ == 0; });
    }

private:
    // Starts helpers up to count (only while holding run_mutex_, so none is at work). They are started
    // when first needed, so a program that never asks for more threads than it has never starts them.
    void start_workers(int32_t count) {
        if (static_cast<int32_t>(workers_.size()) >= count) {
            return;
        }
        // The helpers take no signals: the calling program's handlers run on its own threads, which
        // is where they expect to run. A new thread inherits the mask it is started with.
        sigset_t all;
        sigset_t previous;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous);
        while (static_cast<int32_t>(workers_.size()) < count) {
            try {
                workers_.emplace_back([this] { serve(); });
            } catch (const std::system_error&) {
                break; // fewer helpers; the caller does their share
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

    void work() {
        for (int32_t p = next_part_.fetch_add(1); p < parts_; p = next_part_.fetch_add(1)) {
            task_(context_, p);
        }
    }

    void serve() {
        uint64_t seen = 0;
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || (generation_ != seen && invited_ > 0); });
            if (stopping_) {
                return;
            }
            seen = generation_;
            --invited_;
            lock.unlock();
            work();
            lock.lock();
            if (--pending_ == 0) {
                finished_.notify_one();
            }
        }
    }

    const int32_t default_threads_;
    const int32_t environment_threads_ = threads_from_environment();
    std::vector<std::thread> workers_;
    std::mutex run_mutex_; // one export at a time uses the workers
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    bool stopping_ = false;
    uint64_t generation_ = 0;
    int32_t invited_ = 0;
    int32_t pending_ = 0;
    void (*task_)(void*, int32_t) = nullptr;
    void* context_ = nullptr;
    int32_t parts_ = 0;
    std::atomic<int32_t> next_part_{0};
};

WorkerPool& pool() {
    static WorkerPool instance;
    return instance;
}

} // namespace

void run_parts(int32_t parts, void (*task)(void* context, int32_t part), void* context) {
    pool().run(parts, task, context);
}

int32_t worker_threads() {
    return pool().threads();
}

bool set_worker_threads(int32_t threads) {
    if (threads < 0 || threads > kMaxThreads) {
        return false;
    }
    thread_setting.store(threads);
    return true;
}

void limit_worker_threads(int32_t threads) {
    set_worker_threads(std::clamp(threads, 0, kMaxThreads));
}

} // namespace kestra
