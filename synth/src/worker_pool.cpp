#include "worker_pool.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace kestra {
namespace {

std::atomic<int32_t> thread_limit{0};

class WorkerPool {
public:
    WorkerPool() {
        // The helpers take no signals: the calling program's handlers run on its own threads, which
        // is where they expect to run. A new thread inherits the mask it is started with.
        sigset_t all;
        sigset_t previous;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous);
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned k = 1; k < cores; ++k) {
            try {
                workers_.emplace_back([this] { serve(); });
            } catch (const std::system_error&) {
                break; // fewer helpers; the caller does their share
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

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

    int32_t threads() const { return static_cast<int32_t>(workers_.size()) + 1; }

    void run(int32_t parts, void (*task)(void*, int32_t), void* context) {
        const int32_t limit = thread_limit.load();
        std::unique_lock busy(run_mutex_, std::try_to_lock);
        if (!busy.owns_lock() || workers_.empty() || limit == 1 || parts < 2) {
            for (int32_t p = 0; p < parts; ++p) {
                task(context, p);
            }
            return;
        }
        const int32_t helpers =
            std::min({static_cast<int32_t>(workers_.size()), parts - 1, limit > 1 ? limit - 1 : parts});
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
    const int32_t all = pool().threads();
    const int32_t limit = thread_limit.load();
    return limit > 0 ? std::min(limit, all) : all;
}

void limit_worker_threads(int32_t threads) {
    thread_limit.store(std::max(0, threads));
}

} // namespace kestra
