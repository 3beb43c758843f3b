#include "password_worker.h"

#include <algorithm>
#include <utility>

#include "store.h"

namespace quarnd {

CryptResult runCryptJob(const CryptJob& job) {
    CryptResult r;
    r.kind = job.kind;
    r.session = job.session;
    if (job.kind == CryptJob::Kind::Verify) {
        r.ok = verifyPassword(job.password, job.hash);
        return r;
    }
    try {
        r.hash = hashPassword(job.password, job.cost);
        r.ok = true;
    } catch (const StoreError&) {
        r.ok = false;
    }
    return r;
}

CryptWorker::CryptWorker(std::function<void()> ready)
    : ready_(std::move(ready)), thread_([this] { run(); }) {}

CryptWorker::~CryptWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void CryptWorker::submit(CryptJob job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

std::vector<CryptResult> CryptWorker::take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(results_, {});
}

void CryptWorker::finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(),
                               [](const CryptJob& j) { return j.kind == CryptJob::Kind::Verify; }),
                jobs_.end());
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void CryptWorker::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (stop_) return;
        CryptJob job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        CryptResult result = runCryptJob(job);
        lock.lock();
        results_.push_back(std::move(result));
        busy_ = false;
        if (jobs_.empty()) idle_.notify_all();
        lock.unlock();
        ready_();
        lock.lock();
    }
}

}  // namespace quarnd
